#include "core/history/History.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/StateFolder.h"

#include <algorithm>
#include <utility>

namespace {
constexpr const char* kFile = "history";
constexpr const char* kMark = "h1";            // starts each record: a reader finds its feet
constexpr std::size_t kFields = 6;             // mark, time, kinds, size, path, reason
constexpr std::size_t kSlack = 500;            // records past the bound before a rewrite
constexpr std::size_t kMaxBytes = 32u << 20;  // 5,000 entries with long paths and reasons

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

std::optional<CHistoryEntry> Parse(const std::vector<std::string>& f, std::size_t at)
{
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
    const std::vector<std::string> f = fsys::ReadFields(m_folder, kFile, kMaxBytes);
    bool damaged = false;
    for (std::size_t at = 0; at + kFields <= f.size();) {
        if (const std::optional<CHistoryEntry> e = Parse(f, at)) {
            MergeLocked(*e);
            ++m_records;
            at += kFields;
        } else {
            damaged = true;
            ++at;  // on to the next record's mark
        }
    }
    if (TrimLocked() || damaged || m_records > m_entries.size())
        RewriteLocked();
}

bool CHistory::MergeLocked(const CHistoryEntry& entry)
{
    // A failure said again at every poll is one line, brought up to its last time.
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->path != entry.path || it->direction != entry.direction)
            continue;
        const bool repeat = entry.IsFailure() && it->outcome == entry.outcome &&
                            it->reason == entry.reason;
        if (repeat)
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
