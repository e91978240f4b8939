#pragma once
#include "platform/FileSystem.h"
#include "platform/FolderWatch.h"

#include <cstdint>
#include <map>
#include <string>

// How long a recording's size and time must stay the same, nobody writing it, before it is
// sent. A recorder's appends come 0.25-1.15 s apart (the slower at 8 kHz mu-law, where an
// 8 KiB buffer fills in a second), and one that closes and reopens the file between appends
// leaves the same gaps; three seconds is well past them and still feels immediate.
inline constexpr long kSettleMs = 3000;
// Where the file system keeps times in whole seconds (or two, on a memory card), the time read
// back can be up to that much older than the last write.
inline constexpr long kCoarseTimeMs = 2000;

// The steady clock the tracker's times are taken from.
std::int64_t SteadyNowMs();

enum class ESettle {
    Ready,     // finished: send it
    Held,      // being written: say so once
    Watching,  // nothing says it is being written, but it must be seen still once more
};

// Decides, look by look, when a file in a source folder is finished. Plain data: the caller
// gives the times (a steady clock in milliseconds, the wall clock for file times).
class CSettleTracker {
public:
    void SetSettleMs(long ms) { m_settleMs = ms < 0 ? 0 : ms; }
    long SettleMs() const { return m_settleMs; }

    // Starts a scan: files not looked at again before EndScan are forgotten.
    void BeginScan();
    void EndScan();

    // One look at a matching, writable file.
    ESettle Look(const std::string& path, const fsys::FileStamp& stamp, fsys::EWriters writers,
                 std::int64_t nowMs, std::int64_t wallNs);
    // Whether a look would find the file finished were nobody writing it; changes nothing.
    bool ReadyUnlessWritten(const std::string& path, const fsys::FileStamp& stamp,
                            std::int64_t nowMs, std::int64_t wallNs) const;
    // True once per file held back (until it is forgotten): the one time to say why.
    bool FirstTold(const std::string& path);
    // When the earliest file held at the last scan may be finished (steady ms), 0 when none.
    std::int64_t NextDueMs() const { return m_nextDue; }

private:
    struct Entry {
        fsys::FileStamp stamp;
        std::int64_t since = 0;  // steady ms the stamp was first seen
        bool told = false;
        bool seen = false;  // in the current scan
    };
    std::map<std::string, Entry> m_files;
    long m_settleMs = 0;  // the cycle sets its own; a pass run alone waits for no time
    std::int64_t m_nextDue = 0;
};
