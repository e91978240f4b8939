#include "core/history/History.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/StateFolder.h"

#include <algorithm>
#include <deque>
#include <list>
#include <unordered_map>
#include <utility>

namespace {
constexpr const char* kFile = "history";
constexpr const char* kMark = "h1";            // starts each record: a reader finds its feet
constexpr std::size_t kFields = 6;             // mark, time, kinds, size, path, reason
constexpr std::size_t kSlack = 500;            // records past the bound before a rewrite

constexpr char kOutcomes[] = "saAMfhdcF";

std::vector<std::string> Fields(const CHistoryEntry& e)
{
    return {kMark,
            std::to_string(static_cast<long long>(e.time)),
            std::string{static_cast<char>(e.direction), static_cast<char>(e.outcome)},
            std::to_string(e.size),
            e.path,
            e.reason};
}

std::optional<CHistoryEntry> Parse(const std::deque<std::string>& f)
{
    constexpr std::size_t at = 0;
    const std::string& kinds = f[at + 2];
    if (f[at] != kMark || kinds.size() != 2 || (kinds[0] != 's' && kinds[0] != 'r') ||
        std::string(kOutcomes).find(kinds[1]) == std::string::npos || f[at + 4].empty())
        return std::nullopt;
    try {
        CHistoryEntry e;
        e.time = static_cast<std::time_t>(std::stoll(f[at + 1]));
        e.direction = static_cast<EFlow>(kinds[0]);
        e.outcome = static_cast<EOutcome>(kinds[1]);
        e.size = std::stoll(f[at + 3]);
        e.path = f[at + 4];
        e.reason = f[at + 5];
        return e;
    } catch (...) {
        return std::nullopt;
    }
}

// A failure said again at every poll is one line, brought up to its last time: `next` takes
// the place of `latest`, the latest entry of its file and direction.
bool Repeats(const CHistoryEntry& latest, const CHistoryEntry& next)
{
    return next.IsFailure() && latest.outcome == next.outcome && latest.reason == next.reason;
}

// A long file's entries merged and bounded as they are read: each is merged against the latest
// of its file and direction alone, and the oldest go as soon as the bound is passed (a later
// repeat takes the place of the one it repeats, so the newest entries stay the same).
class CBoundedMerge {
public:
    explicit CBoundedMerge(std::time_t oldest) : m_oldest(oldest) {}

    void Add(CHistoryEntry&& e)
    {
        std::string key = static_cast<char>(e.direction) + e.path;
        if (const auto it = m_latest.find(key); it != m_latest.end()) {
            const bool repeat = Repeats(*it->second, e);
            if (repeat)
                m_kept.erase(it->second);
            // Past its age it is dropped: nothing before it can be merged any more.
            if (repeat || e.time < m_oldest)
                m_latest.erase(it);
        }
        if (e.time < m_oldest)
            return;
        m_kept.push_back(std::move(e));
        m_latest[std::move(key)] = std::prev(m_kept.end());
        if (m_kept.size() <= CHistory::kMaxEntries)
            return;
        const CHistoryEntry& first = m_kept.front();
        if (const auto it = m_latest.find(static_cast<char>(first.direction) + first.path);
            it != m_latest.end() && it->second == m_kept.begin())
            m_latest.erase(it);
        m_kept.pop_front();
    }
    std::vector<CHistoryEntry> Take()
    {
        return {std::make_move_iterator(m_kept.begin()), std::make_move_iterator(m_kept.end())};
    }

private:
    std::time_t m_oldest;
    std::list<CHistoryEntry> m_kept;
    std::unordered_map<std::string, std::list<CHistoryEntry>::iterator> m_latest;
};

CHistoryEntry Entry(EFlow d, EOutcome o, std::string path, const std::string& reason,
                    std::time_t now)
{
    CHistoryEntry e{now, d, o, -1, std::move(path), reason};
    if (const std::optional<fsys::FileStamp> stamp = fsys::GetFileStamp(e.path))
        e.size = static_cast<std::int64_t>(stamp->size);
    return e;
}

}  // namespace

std::string CHistoryEntry::Name() const
{
    return path.substr(path.rfind('/') + 1);
}

std::string CHistoryEntry::Folder() const
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : slash == 0 ? "/" : path.substr(0, slash);
}

bool CHistoryEntry::IsFailure() const
{
    return outcome != EOutcome::Sent && outcome != EOutcome::Archived &&
           outcome != EOutcome::Downloaded;
}

std::optional<CHistoryEntry> HistoryEntryFrom(const CAgentEvent& e,
                                              const std::string& downloadFolder, std::time_t now)
{
    const auto sent = [&](const std::string& path, EOutcome o, const std::string& why = {}) {
        return Entry(EFlow::Sent, o, path, why, now);
    };
    const auto received = [&](const std::string& name, EOutcome o, const std::string& why = {}) {
        return Entry(EFlow::Received, o, downloadFolder + name, why, now);
    };
    if (const auto* f = e.As<ev::FileSent>())
        return sent(f->path, EOutcome::Sent);
    if (const auto* f = e.As<ev::SentBeforeStop>())
        return sent(f->path, EOutcome::Sent);
    if (const auto* f = e.As<ev::FileArchived>())
        return sent(f->path, EOutcome::Archived);
    if (const auto* f = e.As<ev::FileFailed>())
        return sent(f->path,
                    f->stage == EStage::Archive ? EOutcome::NotArchived
                    : f->stage == EStage::Mark  ? EOutcome::NotMarked
                                                : EOutcome::Failed,
                    f->reason);
    if (const auto* f = e.As<ev::LocalSkipped>(); f && f->why != ev::ESkip::StateFolder)
        return sent(f->path, EOutcome::Failed, f->reason);
    if (const auto* f = e.As<ev::FileHeldBack>())
        return sent(f->path, EOutcome::HeldBack);
    if (const auto* d = e.As<ev::DocumentFetched>())
        return received(d->name, EOutcome::Downloaded);
    if (const auto* d = e.As<ev::DocumentFailed>())
        return received(d->name,
                        d->stage == EStage::Confirm ? EOutcome::NotConfirmed
                                                    : EOutcome::NotDownloaded,
                        d->reason);
    return std::nullopt;
}

CHistory::CHistory(std::string stateFolder, const IClock& clock)
    : m_folder(std::move(stateFolder)), m_clock(clock), m_out(m_folder, kFile)
{
    Load();
}

void CHistory::Load()
{
    std::lock_guard<std::mutex> guard(m_lock);
    CBoundedMerge merge(m_clock.Now() - kMaxAgeSeconds);
    std::deque<std::string> f;  // the fields read and not yet taken: fewer than a record's
    bool damaged = false;
    const bool whole = fsys::ReadEachField(m_folder, kFile, [&](std::string&& field) {
        f.push_back(std::move(field));
        if (f.size() < kFields)
            return;
        if (std::optional<CHistoryEntry> e = Parse(f)) {
            merge.Add(std::move(*e));
            ++m_records;
            f.clear();
        } else {
            damaged = true;
            f.pop_front();  // on to the next record's mark
        }
    });
    m_entries = merge.Take();
    if (TrimLocked() || damaged || !whole || !f.empty() || m_records > m_entries.size())
        RewriteLocked();
}

bool CHistory::MergeLocked(const CHistoryEntry& entry)
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->path != entry.path || it->direction != entry.direction)
            continue;
        if (Repeats(*it, entry))
            m_entries.erase(std::next(it).base());
        break;
    }
    m_entries.push_back(entry);
    return true;
}

bool CHistory::TrimLocked()
{
    const std::time_t oldest = m_clock.Now() - kMaxAgeSeconds;
    const std::size_t before = m_entries.size();
    std::erase_if(m_entries, [oldest](const CHistoryEntry& e) { return e.time < oldest; });
    if (m_entries.size() > kMaxEntries)
        m_entries.erase(m_entries.begin(),
                        m_entries.begin() + static_cast<long>(m_entries.size() - kMaxEntries));
    return m_entries.size() != before;
}

void CHistory::RewriteLocked()
{
    std::vector<std::string> f;
    f.reserve(m_entries.size() * kFields);
    for (const CHistoryEntry& e : m_entries) {
        const std::vector<std::string> one = Fields(e);
        f.insert(f.end(), one.begin(), one.end());
    }
    std::string why;
    m_out.Close();  // the rewrite replaces the file it holds
    if (fsys::WriteFields(m_folder, kFile, f, &why))
        m_records = m_entries.size();
    else if (m_writeFailure.empty())
        m_writeFailure = why;
}

void CHistory::Add(CHistoryEntry entry)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        MergeLocked(entry);
        ++m_revision;
        std::string why;
        if (m_out.Append(Fields(entry), &why))
            ++m_records;
        else if (m_writeFailure.empty())
            m_writeFailure = why;
        if (m_records > kMaxEntries + kSlack || m_entries.size() > kMaxEntries + kSlack) {
            TrimLocked();
            RewriteLocked();
        }
    }
    if (onChanged)
        onChanged();
}

void CHistory::EndCycle()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_out.Close();
}

std::vector<CHistoryEntry> CHistory::Entries() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_entries;
}

std::uint64_t CHistory::Revision() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_revision;
}

std::string CHistory::TakeWriteFailure()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_writeFailure, {});
}
