#include "core/display/UiCallQueue.h"

#include <QSocketNotifier>
#include <QThread>

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CUiCallQueue::CUiCallQueue(QObject* parent)
    : QObject(parent), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_wakeFd >= 0) {
        m_notifier = new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &CUiCallQueue::RunPending);
    }
}

CUiCallQueue::~CUiCallQueue()
{
    Close();
    delete m_notifier;
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void CUiCallQueue::Call(const std::function<void()>& fn)
{
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    Item item{&fn};
    std::unique_lock<std::mutex> g(m_lock);
    // Without a wake-up the owner would never run it: drop it rather than wait for ever.
    if (m_closed || m_wakeFd < 0)
        return;
    m_items.push_back(&item);
    const std::uint64_t one = 1;
    if (::write(m_wakeFd, &one, sizeof one) != sizeof one) {
        m_items.pop_back();
        return;
    }
    m_cv.wait(g, [&] { return item.done; });
}

void CUiCallQueue::RunPending()
{
    std::uint64_t count = 0;
    if (m_wakeFd >= 0 && ::read(m_wakeFd, &count, sizeof count) < 0)
        count = 0;  // nothing signalled since the last run: EAGAIN
    for (;;) {
        Item* item = nullptr;
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_items.empty())
                return;
            item = m_items.front();
            m_items.pop_front();
        }
        // Outside the lock: a message box runs its own loop, which may come back here.
        (*item->fn)();
        Finish(item);
    }
}

void CUiCallQueue::Close()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_closed = true;
    for (Item* item : m_items) item->done = true;
    m_items.clear();
    m_cv.notify_all();
}

void CUiCallQueue::Finish(Item* item)
{
    std::lock_guard<std::mutex> g(m_lock);
    item->done = true;
    m_cv.notify_all();
}
