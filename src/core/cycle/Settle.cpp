#include "core/cycle/Settle.h"

#include <algorithm>
#include <chrono>

std::int64_t SteadyNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CSettleTracker::BeginScan()
{
    m_nextDue = 0;
    for (auto& [path, e] : m_files) e.seen = false;
}

void CSettleTracker::EndScan()
{
    for (auto it = m_files.begin(); it != m_files.end();)
        it = it->second.seen ? std::next(it) : m_files.erase(it);
}

ESettle CSettleTracker::Look(const std::string& path, const fsys::FileStamp& stamp,
                             fsys::EWriters writers, std::int64_t nowMs, std::int64_t wallNs)
{
    auto [it, added] = m_files.try_emplace(path);
    Entry& e = it->second;
    const bool changed = !added && e.stamp != stamp;
    if (added || changed) {
        e.stamp = stamp;
        e.since = nowMs;
    }
    e.seen = true;
    if (m_settleMs == 0 && writers != fsys::EWriters::Some)
        return ESettle::Ready;

    // A time in whole seconds may hide up to kCoarseTimeMs of writing after it.
    const bool coarse = stamp.mtimeNs % 1000000000 == 0;
    const std::int64_t ageMs = (wallNs - stamp.mtimeNs) / 1000000;
    const std::int64_t needMs = m_settleMs + (coarse ? kCoarseTimeMs : 0);
    // Only where the kernel vouches that nobody writes is the file's own time trusted: a
    // network share's times come from another machine's clock.
    const bool quietByTime = writers == fsys::EWriters::None && ageMs >= needMs;
    const bool quietSeen = nowMs - e.since >= m_settleMs;
    if (writers != fsys::EWriters::Some && (quietByTime || quietSeen))
        return ESettle::Ready;

    // A file still open is looked at again when its writer closes it (the folder's events
    // or listing tell), not by the clock: a long dictation would otherwise cost a cycle every
    // few seconds.
    if (writers != fsys::EWriters::Some) {
        std::int64_t due = e.since + m_settleMs;
        if (writers == fsys::EWriters::None && ageMs >= 0 && ageMs < needMs)
            due = std::min(due, nowMs + (needMs - ageMs));
        due = std::max(due, nowMs + 1);
        if (m_nextDue == 0 || due < m_nextDue)
            m_nextDue = due;
    }
    // Said to the author only when it is plain: a file closed a moment ago waits quietly.
    const bool beingWritten = writers == fsys::EWriters::Some || changed;
    return beingWritten ? ESettle::Held : ESettle::Watching;
}

bool CSettleTracker::ReadyUnlessWritten(const std::string& path, const fsys::FileStamp& stamp,
                                        std::int64_t nowMs, std::int64_t wallNs) const
{
    if (m_settleMs == 0)
        return true;
    const auto it = m_files.find(path);
    if (it != m_files.end() && it->second.stamp == stamp && nowMs - it->second.since >= m_settleMs)
        return true;
    const bool coarse = stamp.mtimeNs % 1000000000 == 0;
    const std::int64_t ageMs = (wallNs - stamp.mtimeNs) / 1000000;
    return ageMs >= m_settleMs + (coarse ? kCoarseTimeMs : 0);
}

bool CSettleTracker::FirstTold(const std::string& path)
{
    auto it = m_files.find(path);
    if (it == m_files.end() || it->second.told)
        return false;
    it->second.told = true;
    return true;
}
