#include "ui/display/UiUpdates.h"

#include "ui/display/UiCallQueue.h"

#include <QThread>

namespace {
constexpr int kGapMs = 50;
}

CUiUpdates::CUiUpdates(CUiCallQueue& queue, Apply showStatus, Apply appendLines)
    : m_queue(queue), m_showStatus(std::move(showStatus)), m_appendLines(std::move(appendLines))
{
    m_gap.setSingleShot(true);
    m_gap.setInterval(kGapMs);
    QObject::connect(&m_gap, &QTimer::timeout, [this] { GapEnded(); });
}

void CUiUpdates::SetStatus(const std::string& text)
{
    std::unique_lock<std::mutex> held(m_lock);
    m_status = text;
    Changed(held);
}

void CUiUpdates::AddLines(const std::string& text)
{
    std::unique_lock<std::mutex> held(m_lock);
    m_lines += text;
    Changed(held);
}

void CUiUpdates::Changed(std::unique_lock<std::mutex>& held)
{
    if (QThread::currentThread() == m_queue.thread()) {
        held.unlock();
        Flush();
        return;
    }
    if (!m_posted)
        PostLocked();
}

void CUiUpdates::PostLocked()
{
    // A closed queue (the window is going) takes nothing more: nothing is kept for it either.
    m_posted = m_queue.Post([this] { Flush(); });
    if (!m_posted) {
        m_status.reset();
        m_lines.clear();
    }
}

void CUiUpdates::GapEnded()
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_status || !m_lines.empty())
        PostLocked();  // through the queue: after whatever the worker queued meanwhile
    else
        m_posted = false;
}

void CUiUpdates::Flush()
{
    std::optional<std::string> status;
    std::string lines;
    {
        std::lock_guard<std::mutex> g(m_lock);
        status.swap(m_status);
        lines.swap(m_lines);
        // Something shown: the worker's next changes wait for the gap's end.
        m_posted = status || !lines.empty();
    }
    if (!lines.empty())
        m_appendLines(lines);
    if (status)
        m_showStatus(*status);
    if ((status || !lines.empty()) && !m_gap.isActive())
        m_gap.start();
}
