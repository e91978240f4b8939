#include "ui/display/UiCallQueue.h"

#include <QSocketNotifier>
#include <QThread>


CUiCallQueue::CUiCallQueue(QObject* parent)
    : QObject(parent)
{
    if (m_wake.IsValid()) {
        m_notifier = new QSocketNotifier(m_wake.Handle(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &CUiCallQueue::RunPending);
    }
}

CUiCallQueue::~CUiCallQueue()
{
    Close();
    delete m_notifier;
}

bool CUiCallQueue::PushLocked(Item item)
{
    // Without a wake-up the owner would never run it: drop it rather than wait for ever.
    if (m_closed || !m_wake.IsValid())
        return false;
    m_items.push_back(std::move(item));
    // Every push signals, even onto a waiting queue: a modal loop inside a running call
    // must still see the calls queued behind it.
    if (!m_wake.Raise()) {
        m_items.pop_back();
        return false;
    }
    return true;
}

void CUiCallQueue::Call(const std::function<void()>& fn)
{
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    bool done = false;
    std::unique_lock<std::mutex> g(m_lock);
    if (!PushLocked({fn, &done}))
        return;
    m_cv.wait(g, [&] { return done; });
}

bool CUiCallQueue::Post(std::function<void()> fn)
{
    std::lock_guard<std::mutex> g(m_lock);
    return PushLocked({std::move(fn), nullptr});
}

void CUiCallQueue::RunPending()
{
    m_wake.Reset();
    for (;;) {
        Item item;
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_items.empty())
                return;
            item = std::move(m_items.front());
            m_items.pop_front();
        }
        // Outside the lock: a message box runs its own loop, which may come back here.
        item.fn();
        if (item.done) {
            std::lock_guard<std::mutex> g(m_lock);
            *item.done = true;
            m_cv.notify_all();
        }
    }
}

void CUiCallQueue::Close()
{
    std::deque<Item> dropped;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_closed = true;
        for (Item& item : m_items)
            if (item.done)
                *item.done = true;
        dropped.swap(m_items);
        m_cv.notify_all();
    }
    // Posted calls are destroyed outside the lock: what they hold may take locks of its own.
}
