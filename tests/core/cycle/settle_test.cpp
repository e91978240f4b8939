// When a file in a source folder counts as finished: the writers the kernel reports, its own
// time, and how long it has been seen unchanged.
#include "core/cycle/Settle.h"

#include <gtest/gtest.h>

namespace {

using fsys::EWriters;
constexpr std::int64_t kSec = 1000000000;  // ns
constexpr std::int64_t kWall = 1700000000 * kSec + 123456789;

fsys::FileStamp Stamp(std::uint64_t size, std::int64_t mtimeNs) { return {size, mtimeNs}; }

TEST(Settle, FirstLookDecidesByWritersAndFileTime)
{
    struct Row {
        const char* what;
        long settleMs;
        std::int64_t mtimeNs;
        EWriters writers;
        ESettle want;
        std::int64_t dueMs;  // after the look at steady 10000; 0: none
    };
    const Row rows[] = {
        {"no settle, nobody writing", 0, kWall, EWriters::None, ESettle::Ready, 0},
        {"no settle, still open", 0, kWall, EWriters::Some, ESettle::Held, 0},
        {"old, nobody writing", 3000, kWall - 60 * kSec, EWriters::None, ESettle::Ready, 0},
        {"old, still open", 3000, kWall - 60 * kSec, EWriters::Some, ESettle::Held, 0},
        // Another machine's clock: the file's time proves nothing.
        {"old, writers unknown", 3000, kWall - 60 * kSec, EWriters::Unknown, ESettle::Watching,
         13000},
        {"closed 1 s ago", 3000, kWall - 1 * kSec, EWriters::None, ESettle::Watching, 12000},
        {"time from the future", 3000, kWall + 60 * kSec, EWriters::None, ESettle::Watching,
         13000},
        // Whole seconds may hide two more seconds of writing.
        {"coarse time, 4 s ago", 3000, (kWall / kSec - 4) * kSec, EWriters::None,
         ESettle::Watching, 0},
        {"coarse time, 6 s ago", 3000, (kWall / kSec - 6) * kSec, EWriters::None, ESettle::Ready,
         0},
    };
    for (const Row& r : rows) {
        CSettleTracker t;
        t.SetSettleMs(r.settleMs);
        t.BeginScan();
        EXPECT_EQ(t.Look("/a.wav", Stamp(10, r.mtimeNs), r.writers, 10000, kWall), r.want)
            << r.what;
        if (r.dueMs != 0 || r.want != ESettle::Watching) {
            EXPECT_EQ(t.NextDueMs(), r.dueMs) << r.what;
        }
    }
}

TEST(Settle, AFileMustStayUnchangedForTheSettleTime)
{
    CSettleTracker t;
    t.SetSettleMs(3000);
    const std::int64_t mtime = kWall - 60 * kSec;  // trusted only with the kernel's word
    EXPECT_EQ(t.Look("/a.wav", Stamp(10, mtime), EWriters::Unknown, 0, kWall), ESettle::Watching);
    EXPECT_EQ(t.Look("/a.wav", Stamp(10, mtime), EWriters::Unknown, 2999, kWall),
              ESettle::Watching);
    // It grew: being written, and the settle time starts again.
    EXPECT_EQ(t.Look("/a.wav", Stamp(20, mtime), EWriters::Unknown, 2999, kWall), ESettle::Held);
    EXPECT_EQ(t.Look("/a.wav", Stamp(20, mtime), EWriters::Unknown, 5998, kWall),
              ESettle::Watching);
    EXPECT_EQ(t.Look("/a.wav", Stamp(20, mtime), EWriters::Unknown, 5999, kWall), ESettle::Ready);
    // A writer that opened it again holds it whatever the time says.
    EXPECT_EQ(t.Look("/a.wav", Stamp(20, mtime), EWriters::Some, 99999, kWall), ESettle::Held);
}

TEST(Settle, HeldBackIsToldOnceUntilTheFileIsGone)
{
    CSettleTracker t;
    t.SetSettleMs(3000);
    t.BeginScan();
    t.Look("/a.wav", Stamp(1, kWall), EWriters::Some, 0, kWall);
    t.EndScan();
    EXPECT_TRUE(t.FirstTold("/a.wav"));
    EXPECT_FALSE(t.FirstTold("/a.wav"));
    EXPECT_FALSE(t.FirstTold("/never-seen.wav"));
    t.BeginScan();  // a scan that no longer finds it forgets it
    t.EndScan();
    t.BeginScan();
    t.Look("/a.wav", Stamp(1, kWall), EWriters::Some, 10, kWall);
    t.EndScan();
    EXPECT_TRUE(t.FirstTold("/a.wav"));
}

}  // namespace
