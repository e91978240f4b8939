// The author's list: what each event leaves in it, and the file that keeps it across restarts.
#include "core/history/History.h"
#include "platform/Clock.h"
#include "platform/StateFolder.h"

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <random>
#include <thread>

namespace {

class CFixedClock final : public IClock {
public:
    std::time_t Now() const override { return now; }
    std::time_t now = 1'700'000'000;
};

CHistoryEntry Sent(std::string path, std::time_t when, EOutcome outcome = EOutcome::Sent,
                   std::string reason = {})
{
    return {when, EFlow::Sent, outcome, 10, std::move(path), std::move(reason)};
}

}  // namespace

TEST(History, EachFileEventBecomesOneEntry)
{
    struct {
        CAgentEvent event;
        std::optional<EOutcome> outcome;
        EFlow direction;
        std::string path;
    } const cases[] = {
        {ev::FileSent{"/in/a.wav"}, EOutcome::Sent, EFlow::Sent, "/in/a.wav"},
        {ev::SentBeforeStop{"/in/a.wav"}, EOutcome::Sent, EFlow::Sent, "/in/a.wav"},
        {ev::FileArchived{"/in/a.wav"}, EOutcome::Archived, EFlow::Sent, "/in/a.wav"},
        {ev::FileFailed{"/in/a.wav", EStage::Put}, EOutcome::Failed, EFlow::Sent, "/in/a.wav"},
        {ev::FileFailed{"/in/a.wav", EStage::Archive}, EOutcome::NotArchived, EFlow::Sent,
         "/in/a.wav"},
        {ev::FileFailed{"/in/a.wav", EStage::Mark}, EOutcome::NotMarked, EFlow::Sent,
         "/in/a.wav"},
        {ev::FileHeldBack{"/in/a.wav"}, EOutcome::HeldBack, EFlow::Sent, "/in/a.wav"},
        {ev::LocalSkipped{"/st", ev::ESkip::StateFolder}, std::nullopt, EFlow::Sent, ""},
        {ev::DocumentFetched{"l.rtf"}, EOutcome::Downloaded, EFlow::Received, "/dl/l.rtf"},
        {ev::DocumentFailed{"l.rtf", EStage::Confirm}, EOutcome::NotConfirmed, EFlow::Received,
         "/dl/l.rtf"},
        {ev::DocumentFailed{"l.rtf", EStage::Fetch}, EOutcome::NotDownloaded, EFlow::Received,
         "/dl/l.rtf"},
        {ev::CycleEnded{}, std::nullopt, EFlow::Sent, ""},
        {ev::ListRead{}, std::nullopt, EFlow::Sent, ""},
    };
    for (const auto& c : cases) {
        const std::optional<CHistoryEntry> e = HistoryEntryFrom(c.event, "/dl/", 5);
        ASSERT_EQ(e.has_value(), c.outcome.has_value()) << static_cast<int>(c.event.Kind());
        if (!e)
            continue;
        EXPECT_EQ(e->outcome, *c.outcome);
        EXPECT_EQ(e->direction, c.direction);
        EXPECT_EQ(e->path, c.path);
        EXPECT_EQ(e->time, 5);
    }
}

TEST(History, KeptAcrossRestartsWithinItsBoundsAndDespiteDamage)
{
    QTemporaryDir tmp;
    const std::string folder = tmp.path().toStdString() + "/state";
    CFixedClock clock;
    {
        CHistory h(folder, clock);
        h.Add(Sent("/in/old.wav", clock.now - CHistory::kMaxAgeSeconds - 1));
        h.Add(Sent("/in/a.wav", clock.now - 60));
        // A failure said at every poll is one entry, at its last time.
        h.Add(Sent("/in/b.wav", clock.now - 50, EOutcome::Failed, "530"));
        h.Add(Sent("/in/b.wav", clock.now - 40, EOutcome::Failed, "530"));
        EXPECT_EQ(h.Entries().size(), 3u);
    }
    struct stat st {};
    ASSERT_EQ(stat((folder + "/history").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A stray byte in the middle and a record cut at the end cost only those records.
    {
        std::vector<std::string> f = fsys::ReadFields(folder, "history");
        f.insert(f.begin() + 6, "garbage");
        f.insert(f.end(), {"h1", "17"});
        ASSERT_TRUE(fsys::WriteFields(folder, "history", f));
    }
    CHistory again(folder, clock);
    const std::vector<CHistoryEntry> kept = again.Entries();
    ASSERT_EQ(kept.size(), 2u);  // the one past 30 days is gone
    EXPECT_EQ(kept[0].path, "/in/a.wav");
    EXPECT_EQ(kept[1].path, "/in/b.wav");
    EXPECT_EQ(kept[1].time, clock.now - 40);
    EXPECT_EQ(kept[1].reason, "530");

    for (std::size_t i = 0; i < CHistory::kMaxEntries + 600; ++i)
        again.Add(Sent("/in/" + std::to_string(i), clock.now));
    EXPECT_LE(again.Entries().size(), CHistory::kMaxEntries + 500);
    const std::vector<CHistoryEntry> reread = CHistory(folder, clock).Entries();
    EXPECT_EQ(reread.size(), CHistory::kMaxEntries);
    EXPECT_EQ(reread.back().path, "/in/" + std::to_string(CHistory::kMaxEntries + 599));
}

// Entries come from the worker's events while the window reads the list.
TEST(History, AddedOnTheWorkerWhileTheWindowReads)
{
    QTemporaryDir dir;
    CFixedClock clock;
    CHistory history(dir.path().toStdString(), clock);
    std::atomic<int> changes{0};
    std::atomic<bool> done{false};
    history.onChanged = [&] { ++changes; };
    std::thread worker([&] {
        for (int i = 0; i < 300; ++i) history.Add(Sent("/in/" + std::to_string(i) + ".wav", clock.now));
        done = true;
    });
    std::uint64_t seen = 0;
    std::size_t rows = 0;
    while (!done) {
        if (const std::uint64_t r = history.Revision(); r != seen) {
            seen = r;
            const std::size_t now = history.Entries().size();
            EXPECT_GE(now, rows);
            rows = now;
        }
    }
    worker.join();
    EXPECT_EQ(history.Entries().size(), 300u);
    EXPECT_EQ(changes.load(), 300);
    EXPECT_EQ(CHistory(dir.path().toStdString(), clock).Entries().size(), 300u);  // all kept
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::chrono::seconds kLongLoad{40};  // instrumented builds run many times slower
#else
constexpr std::chrono::seconds kLongLoad{5};
#endif

// A file restored from a backup may hold far more than the bound: it loads at once, keeps the
// newest, and merges as one entry at a time against all before it did (`Add` still does).
TEST(History, ALongFileLoadsFastAndMergesAsBefore)
{
    CFixedClock clock;
    std::mt19937 rng(7);
    const auto text = [](const std::vector<CHistoryEntry>& entries) {
        std::string out;
        for (const CHistoryEntry& e : entries)
            out += std::to_string(e.time) + char(e.outcome) + char(e.direction) + e.path +
                   e.reason + "\n";
        return out;
    };
    for (const std::size_t n : {std::size_t{12'000}, std::size_t{400'000}}) {
        // The small file: few files failing again and again, written as time goes, its first
        // quarter past its age. The long one: each file once.
        const bool small = n < 100'000;
        QTemporaryDir dir, added;
        CHistory oneByOne(added.path().toStdString(), clock);
        std::vector<std::string> fields;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t age = small ? (n - i) * CHistory::kMaxAgeSeconds * 4 / 3 / n : n - i;
            const bool failed = rng() % 3;
            CHistoryEntry e = Sent("/in/" + std::to_string(small ? rng() % 6000 : i),
                                   clock.now - static_cast<std::time_t>(age),
                                   failed ? EOutcome::Failed : EOutcome::Sent,
                                   failed ? std::to_string(rng() % 2) : "");
            e.direction = rng() % 5 ? EFlow::Sent : EFlow::Received;
            const std::string kinds{char(e.direction), char(e.outcome)};
            fields.insert(fields.end(),
                          {"h1", std::to_string(e.time), kinds, "10", e.path, e.reason});
            if (n - i <= CHistory::kMaxEntries || small)
                oneByOne.Add(e);
        }
        ASSERT_TRUE(fsys::WriteFields(dir.path().toStdString(), "history", fields));
        const auto start = std::chrono::steady_clock::now();
        const std::vector<CHistoryEntry> loaded =
            CHistory(dir.path().toStdString(), clock).Entries();
        EXPECT_LT(std::chrono::steady_clock::now() - start, kLongLoad) << n;
        std::vector<CHistoryEntry> kept = oneByOne.Entries();
        std::erase_if(kept, [&](const CHistoryEntry& e) {
            return e.time < clock.now - CHistory::kMaxAgeSeconds;
        });
        kept.erase(kept.begin(), kept.end() - CHistory::kMaxEntries);
        EXPECT_EQ(text(loaded), text(kept)) << n;
        EXPECT_EQ(loaded.size(), CHistory::kMaxEntries) << n;
    }
}
