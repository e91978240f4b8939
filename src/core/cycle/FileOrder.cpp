#include "core/cycle/FileOrder.h"

void CFileOrder::Report(int index, const CAgentEvent& event)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (index == m_head) {
        // Under the lock: the files after this one must not overtake its lines.
        m_out.Report(event);
        return;
    }
    std::vector<CAgentEvent>& held = m_held[index];
    // A waiting file's progress matters only as its last figure.
    if (event.Kind() == EEvent::Progress && !held.empty() && held.back().Kind() == EEvent::Progress)
        held.back() = event;
    else
        held.push_back(event);
}

void CFileOrder::Done(int index)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_done.insert(index);
    Flush();
}

void CFileOrder::Flush()
{
    while (m_done.erase(m_head) > 0) {
        ++m_head;
        const auto next = m_held.find(m_head);
        if (next == m_held.end())
            continue;
        for (const CAgentEvent& event : next->second) m_out.Report(event);
        m_held.erase(next);
    }
}

void CFileOrder::Finish()
{
    std::lock_guard<std::mutex> guard(m_lock);
    Flush();
    for (const auto& [index, events] : m_held)
        for (const CAgentEvent& event : events) m_out.Report(event);
    m_held.clear();
}
