#pragma once
#include "core/state/EventWriter.h"

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
            n += e.kind == EEvent::FileFailed &&
                 (e.stage == EStage::Archive || e.stage == EStage::Mark);
        return n;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_events.clear();
    }
    std::vector<EEvent> Kinds() const
    {
        std::vector<EEvent> kinds;
        for (const CAgentEvent& e : Events()) kinds.push_back(e.kind);
        return kinds;
    }

private:
    CEventWriter m_writer;
    mutable std::mutex m_lock;
    std::vector<CAgentEvent> m_events;
};
