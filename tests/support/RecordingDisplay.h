#pragma once
#include "core/display/ActivityLog.h"
#include "ui/display/DisplayCore.h"
#include "ui/display/EventWriter.h"
#include "platform/Clock.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CFixedClock final : public IClock {
public:
    explicit CFixedClock(std::time_t t = 0) : m_t(t) {}
    std::time_t Now() const override { return m_t.load(); }
    void Set(std::time_t t) { m_t = t; }

private:
    std::atomic<std::time_t> m_t;
};

// A display for tests: the real buffers and log behind a recorder of what a window shows.
// Owns a log in `logPath` and a clock (system by default).
class CRecordingDisplay final : public CDisplayCore {
public:
    explicit CRecordingDisplay(const std::string& logPath, const IClock* clock = nullptr)
        : CDisplayCore(m_logStore, clock ? *clock : m_systemClock), m_logStore(logPath)
    {
        m_logStore.SetFailureSink(
            [this](const std::string& path, int error) { ReportLogFailure(path, error); });
    }

    // Everything inserted into the text area, in order.
    std::string WindowText() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_window;
    }
    std::vector<std::string> StatusTexts() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_status;
    }
    std::string LastStatus() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_status.empty() ? std::string() : m_status.back();
    }
    std::vector<std::string> MessageBoxes() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_boxes;
    }
    // The events' lines on this display.
    IAgentEvents& Lines() { return m_lines; }
    CActivityLog& Log() { return m_logStore; }

    // Optional hook run inside each message box (e.g. to count or to block).
    std::function<void(const std::string&)> onMessageBox;

protected:
    void UiSetStatus(const std::string& text) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_status.push_back(text);
    }
    void UiInsertText(const std::string& text) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_window += text;
    }
    void UiMessageBox(const std::string& text) override
    {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_boxes.push_back(text);
        }
        if (onMessageBox)
            onMessageBox(text);
    }

private:
    CSystemClock m_systemClock;
    CActivityLog m_logStore;
    CEventWriter m_lines{*this, nullptr, {}};
    mutable std::mutex m_lock;
    std::string m_window;
    std::vector<std::string> m_status;
    std::vector<std::string> m_boxes;
};
