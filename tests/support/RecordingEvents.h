#pragma once
#include "ui/display/EventWriter.h"

#include <mutex>
#include <vector>

// The events a pass reports, in order, with their lines written by the real writer.
class CRecordingEvents final : public IAgentEvents {
public:
    explicit CRecordingEvents(IDisplay& display, std::string supportEmail = {})
        : m_writer(display, nullptr, std::move(supportEmail))
    {
    }
    void Report(const CAgentEvent& event) override
    {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_events.push_back(event);
        }
        m_writer.Report(event);
    }
    std::vector<CAgentEvent> Events() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_events;
    }
    // Failures of the author's own disk so far: archive copies and sent marks.
    int LocalFailures() const
    {
        int n = 0;
        for (const CAgentEvent& e : Events())
            if (const auto* f = e.As<ev::FileFailed>())
                n += f->stage == EStage::Archive || f->stage == EStage::Mark;
        return n;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_events.clear();
    }
    // The kinds that change what the author is told, without those that only narrate.
    std::vector<EEvent> Kinds() const
    {
        std::vector<EEvent> kinds;
        for (const CAgentEvent& e : Events())
            if (!Narrates(e.Kind()))
                kinds.push_back(e.Kind());
        return kinds;
    }
    template <typename T>
    std::vector<T> Of() const
    {
        std::vector<T> found;
        for (const CAgentEvent& e : Events())
            if (const T* p = e.As<T>())
                found.push_back(*p);
        return found;
    }
    static bool Narrates(EEvent k)
    {
        switch (k) {
            case EEvent::Connecting: case EEvent::ConnectAttemptFailed: case EEvent::FtpReady:
            case EEvent::UploadPass: case EEvent::TransfersBegin: case EEvent::FileStarted:
            case EEvent::Progress: case EEvent::FileDone: case EEvent::DownloadPass:
            case EEvent::ListRequested: case EEvent::ListCounted: case EEvent::DocumentStarted:
            case EEvent::DownloadEnded: case EEvent::StillRunning:
                return true;
            default:
                return false;
        }
    }

private:
    CEventWriter m_writer;
    mutable std::mutex m_lock;
    std::vector<CAgentEvent> m_events;
};
