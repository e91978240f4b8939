#pragma once
#include "platform/FileSystem.h"
#include "platform/StateFolder.h"

#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// What the agent remembers of the author's files between cycles and across restarts, in its
// state folder: files delivered but not marked sent (never to be sent again while unchanged),
// files marked sent whose archive copy failed (tried again each cycle), and the temporary names
// it made. Used by the worker's sessions; each call is whole on its own, so that one session's
// record of an answer never waits behind another's archive copy and mark.
class CLocalState {
public:
    // Announced: the service took the file and its mark is not made yet; a run killed in
    // between marks it at the next start instead of sending it again.
    enum class EKind : char { Unmarked = 'm', Unarchived = 'a', Announced = 'n' };
    struct CEntry {
        EKind kind;
        std::string path;
        fsys::FileStamp stamp;
        int mode = -1;  // the file's permission bits before its mark, when known
    };

    explicit CLocalState(std::string folder = fsys::DefaultStateFolder());
    const std::string& Folder() const { return m_folder; }
    fsys::CTempRecord& Temps() { return m_temps; }

    bool Has(EKind kind, const std::string& path, const fsys::FileStamp& stamp);
    // Kept in memory for the run whatever happens; false when the state folder could not be
    // written (then WriteFailure() says why, once).
    bool Remember(EKind kind, const std::string& path, const fsys::FileStamp& stamp, int mode = -1);
    void Forget(EKind kind, const std::string& path);
    // The reason of the first failed write not yet taken; empty when none.
    std::string TakeWriteFailure()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return std::exchange(m_writeFailure, {});
    }
    std::vector<CEntry> Entries(EKind kind);

    // What the sent mark took from the file (its write bits), so that "send again" gives back
    // exactly those. Kept in a file of its own, bounded, written by appending.
    void RememberMark(const std::string& path, const fsys::FileStamp& stamp, unsigned taken);

    // Ends a pass: the records' handles close and the record of files is rewritten without
    // the entries that came and went during it.
    void EndPass();

    // True the first time `key` is asked in this run: a notice is said once, not every poll.
    bool FirstTime(const std::string& key)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_told.insert(key).second;
    }

private:
    void Load();
    // A mutex that lets the record be moved (a new start's record replaces the old one): each
    // record keeps one of its own.
    struct CLock : std::mutex {
        CLock() = default;
        CLock(CLock&&) noexcept {}
        CLock& operator=(CLock&&) noexcept { return *this; }
    };
    CLock m_lock;
    bool m_marksTrimmed = false;
    bool Save();
    bool Append(std::vector<std::string> fields);

    std::string m_folder;
    fsys::CTempRecord m_temps;
    std::vector<CEntry> m_entries;
    bool m_loaded = false;
    std::set<std::string> m_told;
    std::string m_writeFailure;
    // Between rewrites, entries are added and removed by appending to the record: two writes
    // a file sent instead of two rewrites of the whole record.
    fsys::CAppender m_out;
    fsys::CAppender m_marksOut;
    bool m_appended = false;
};

// The write bits the mark took from the file at `path`, when it was marked with this stamp
// (any thread: reads the record as it is on disk). `recorded` (when given) says whether any
// mark of that path is kept: recorded without bits, the file changed since its latest mark.
std::optional<unsigned> MarkTaken(const std::string& stateFolder, const std::string& path,
                                  const fsys::FileStamp& stamp, bool* recorded = nullptr);
