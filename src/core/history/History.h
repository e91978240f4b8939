#pragma once
#include "core/state/AgentEvent.h"
#include "platform/StateFolder.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class IClock;

// What became of one file: the author's day, kept across restarts.
enum class EFlow : char { Sent = 's', Received = 'r' };
enum class EOutcome : char {
    Sent = 's',          // put and announced (archived and marked unless said otherwise)
    Archived = 'a',      // a sent file's archive copy, made at last
    NotArchived = 'A',   // sent; its copy failed
    NotMarked = 'M',     // sent; its read-only mark failed
    Failed = 'f',        // not sent
    HeldBack = 'h',      // still being written
    Downloaded = 'd',    // downloaded and confirmed
    NotConfirmed = 'c',  // downloaded; the service not told yet
    NotDownloaded = 'F',
};

struct CHistoryEntry {
    std::time_t time = 0;
    EFlow direction = EFlow::Sent;
    EOutcome outcome = EOutcome::Sent;
    std::int64_t size = -1;  // -1: not known
    std::string path;        // local path
    std::string reason;      // the technical reason, for a failure
    std::string Name() const;
    std::string Folder() const;
    bool IsFailure() const;
};

// The one place that knows the engine's events: what each means for the author's list. None
// for events about no single file. `downloadFolder` is where documents are saved (a prefix).
std::optional<CHistoryEntry> HistoryEntryFrom(const CAgentEvent& event,
                                              const std::string& downloadFolder, std::time_t now);

// The list, in the state folder (a file of its own, 0600): each entry appended as it comes,
// the file rewritten whole only to drop what is past the bounds. A damaged record is skipped.
// Any thread.
class CHistory {
public:
    static constexpr std::size_t kMaxEntries = 5000;
    static constexpr std::time_t kMaxAgeSeconds = 30 * 24 * 3600;

    CHistory(std::string stateFolder, const IClock& clock);
    CHistory(const CHistory&) = delete;
    CHistory& operator=(const CHistory&) = delete;

    void Add(CHistoryEntry entry);
    // A cycle's entries go through one open file, closed at the cycle's end.
    void EndCycle();
    std::vector<CHistoryEntry> Entries() const;  // oldest first
    // Counts every change: the view reloads when it moved.
    std::uint64_t Revision() const;
    // The first failed write's reason not yet taken; empty when none.
    std::string TakeWriteFailure();
    // After an entry was added or updated, on the adding thread, outside the lock.
    std::function<void()> onChanged;

private:
    bool MergeLocked(const CHistoryEntry& entry);
    bool TrimLocked();
    void RewriteLocked();
    void Load();

    std::string m_folder;
    const IClock& m_clock;
    mutable std::mutex m_lock;
    std::vector<CHistoryEntry> m_entries;
    std::size_t m_records = 0;  // in the file, repeats and expired ones included
    std::uint64_t m_revision = 0;
    std::string m_writeFailure;
    fsys::CAppender m_out;
};
