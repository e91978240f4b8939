#pragma once
#include <QTimer>

#include <functional>
#include <mutex>
#include <optional>
#include <string>

class CUiCallQueue;

// The window's share of a worker's progress, handed to the UI thread without the worker
// waiting: window lines in their exact order, gathered into one insertion while the UI thread
// is busy; the status text as its latest value only, since one overtaken before it was shown
// would only flicker past. A call from the UI thread itself applies at once, after whatever
// the worker had sent before it, so an older text never lands on top of a newer one.
// After each showing, what the worker sends for the next 50 ms waits and goes in one piece:
// a burst of transfers wakes the UI thread a few times a second, not at every line.
class CUiUpdates {
public:
    using Apply = std::function<void(const std::string&)>;
    CUiUpdates(CUiCallQueue& queue, Apply showStatus, Apply appendLines);
    CUiUpdates(const CUiUpdates&) = delete;
    CUiUpdates& operator=(const CUiUpdates&) = delete;

    void SetStatus(const std::string& text);
    void AddLines(const std::string& text);
    // UI thread: applies what waits now.
    void Flush();

private:
    void Changed(std::unique_lock<std::mutex>& held);
    void PostLocked();
    void GapEnded();

    CUiCallQueue& m_queue;
    Apply m_showStatus;
    Apply m_appendLines;
    std::mutex m_lock;
    std::optional<std::string> m_status;
    std::string m_lines;
    bool m_posted = false;  // a Flush waits in the queue, or the gap after one runs
    QTimer m_gap;           // UI thread
};
