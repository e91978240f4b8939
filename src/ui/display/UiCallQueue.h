#pragma once
#include "platform/WakeEvent.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

// Runs calls of worker threads on the thread that created it, in the order they were made:
// posted calls without the caller waiting, and calls whose caller waits until they have run.
// Built on a std::mutex and a wake event that the owner's event loop watches, not on Qt's
// cross-thread events: the system's Qt is not instrumented for ThreadSanitizer, which would
// take every hand-off through it for a race.
class CUiCallQueue final : public QObject {
public:
    explicit CUiCallQueue(QObject* parent = nullptr);
    ~CUiCallQueue() override;
    CUiCallQueue(const CUiCallQueue&) = delete;
    CUiCallQueue& operator=(const CUiCallQueue&) = delete;

    // Any thread: runs `fn` on the owner's thread and returns once it has run, or at once
    // (without running it) when the queue is closed. From the owner's thread, runs it directly.
    void Call(const std::function<void()>& fn);
    // Any thread: queues `fn` for the owner's thread and returns at once. False, and `fn`
    // dropped, when the queue is closed.
    bool Post(std::function<void()> fn);
    // Owner's thread: runs the calls waiting now.
    void RunPending();
    // From now on calls are dropped, those waiting included: their callers return.
    void Close();

private:
    struct Item {
        std::function<void()> fn;
        bool* done = nullptr;  // the waiting caller's flag; none for a posted call
    };
    bool PushLocked(Item item);

    std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<Item> m_items;
    bool m_closed = false;
    CWakeEvent m_wake;
    QSocketNotifier* m_notifier = nullptr;
};
