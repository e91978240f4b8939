// A long transfer's progress: paced in the engine, worded once, and told by a real transfer.
#include "core/cycle/TransferProgress.h"
#include "core/state/ProblemTexts.h"
#include "core/state/ProgressText.h"
#include "support/CycleSuite.h"

#include <QString>
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>
#include <tuple>

using namespace std::chrono_literals;

namespace {

using Clock = CProgressPacer::Clock;

// Quiet for two seconds, then at most one event a quarter second; the rate is that of the last
// four seconds, so a link that stops shows it within them.
TEST(ProgressPacer, QuietWhileYoungThenAFewASecondAtTheRecentRate)
{
    const Clock::time_point t0 = Clock::time_point{} + 1h;
    CProgressPacer pacer(EDirection::Up, "big.wav", t0);
    int events = 0;
    std::optional<ev::Progress> last;
    // 1 MB a second for ten seconds, asked every 10 ms as libcurl does, then nothing moves.
    for (auto at = 0ms; at <= 16000ms; at += 10ms) {
        const std::uint64_t done = std::min<std::uint64_t>(at.count(), 10000) * 1000;
        const auto p = pacer.Moved(done, 20'000'000, t0 + at);
        if (!p)
            continue;
        ++events;
        EXPECT_GE(at, 2000ms);
        if (last) {
            EXPECT_GE(p->done, last->done);
        }
        EXPECT_EQ(p->total, 20'000'000u);
        EXPECT_EQ(p->name, "big.wav");
        if (at == 2000ms || at == 9000ms) {
            EXPECT_NEAR(p->rate, 1e6, 1e4) << at.count();
        } else if (at == 12000ms) {  // 8 s to 12 s: 2 MB moved
            EXPECT_NEAR(p->rate, 0.5e6, 1e4);
        } else if (at >= 14250ms) {
            EXPECT_EQ(p->rate, 0) << at.count();
        }
        last = p;
    }
    EXPECT_EQ(events, 57);  // at 2 s, then every 250 ms to 16 s
}

// The words are fixed here, once; the amounts never claim more than is done.
TEST(ProgressText, LinesForTheStatusBarAndReport)
{
    const struct {
        ev::Progress p;
        const char* line;
    } rows[] = {
        {{EDirection::Up, "big-0901.wav", 48'300'000, 101'000'000, 2'100'000},
         "Sending big-0901.wav: 48 of 101 MB, 2.1 MB/s, about 25 s left"},
        {{EDirection::Down, "letter.rtf", 350'000, 900'000, 120'000},
         "Receiving letter.rtf: 350 of 900 kB, 120 kB/s, about 5 s left"},
        {{EDirection::Up, "a.wav", 1'290'000'000, 4'700'000'000, 35'000'000},
         "Sending a.wav: 1.2 of 4.7 GB, 35 MB/s, about 2 min left"},
        {{EDirection::Down, "d.rtf", 500'000'000, 2'000'000'000, 200'000},
         "Receiving d.rtf: 0.5 of 2.0 GB, 200 kB/s, about 2 h 5 min left"},
        {{EDirection::Up, "x.wav", 5'000'000, 0, 1'000'000}, "Sending x.wav: 5.0 MB, 1.0 MB/s"},
        {{EDirection::Up, "x.wav", 48'000'000, 101'000'000, 0},
         "Sending x.wav: 48 of 101 MB, waiting for the server"},
        {{EDirection::Up, "x.wav", 101'000'000, 101'000'000, 2'100'000},
         "Sending x.wav: 101 of 101 MB, 2.1 MB/s"},
        {{EDirection::Up, "a\nb.wav", 600, 900, 100}, "Sending a\\x0Ab.wav: 600 of 900 bytes, 0.1 kB/s, about 3 s left"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ProgressLine(r.p), r.line);
        EXPECT_EQ(ProgressTip(r.p, kTipMax), r.line);  // short enough for the tooltip as it is
    }
}

// A long name loses its middle in the tooltip; the numbers and both ends of the name stay, and
// no character is cut in two.
TEST(ProgressText, TheTipKeepsTheNumbersWithinItsRoom)
{
    const ev::Progress base{EDirection::Up, "", 48'300'000, 101'000'000, 2'100'000};
    const std::string numbers = ": 48 of 101 MB, 2.1 MB/s, about 25 s left";
    for (const std::string& name : {std::string("dictation-for-the-whole-of-march-2026-part-2.wav"),
                                   std::string("Überweisung-März-Übersicht-Ärztekammer.wav")}) {
        ev::Progress p = base;
        p.name = name;
        const std::string tip = ProgressTip(p, kTipMax);
        EXPECT_LE(tip.size(), kTipMax);
        EXPECT_EQ(tip.rfind("Sending " + name.substr(0, 3), 0), 0u) << tip;
        EXPECT_NE(tip.find("...") , std::string::npos) << tip;
        EXPECT_EQ(tip.substr(tip.size() - numbers.size() - 4), ".wav" + numbers) << tip;
        EXPECT_EQ(QString::fromUtf8(tip.c_str()).toUtf8().toStdString(), tip);
    }
}

}  // namespace

namespace orbidex::test {

// A paced link: the upload and the download of one cycle tell their progress while they run,
// and only then; the state shows the transfer and forgets it when it ends.
class Progress : public CycleSuite {};

TEST_F(Progress, ALongTransferToldWhileItRunsAndForgottenAfter)
{
    WriteText(m_src + "long.wav", std::string(800'000, 's'));
    s_emu->addPending("ab12", "long.rtf", QByteArray(700'000, 'r'));
    s_emu->setFaults({{"ftp_cut", QJsonObject{{"after", 0}, {"cmd", "*"}, {"mode", "pace"},
                                               {"bytes_per_s", 200'000}}}});
    std::mutex lock;
    std::map<std::string, std::vector<ev::Progress>> told;  // by name
    std::set<std::string> shown;  // the state's running transfer at each change
    CAgentState& state = m_auto->State();
    state.onEvent = [&](const CAgentEvent& e) {
        std::lock_guard<std::mutex> g(lock);
        if (const auto* p = e.As<ev::Progress>())
            told[p->name].push_back(*p);
    };
    state.onChanged = [&] {
        const auto s = state.Snapshot();
        std::lock_guard<std::mutex> g(lock);
        if (s.transfer)
            shown.insert(s.transfer->name);
    };
    RunCycle();
    EXPECT_TRUE(Done("long.wav"));
    std::lock_guard<std::mutex> g(lock);
    EXPECT_EQ(shown, (std::set<std::string>{"long.rtf", "long.wav"}));
    for (const auto& [name, total, d] : {std::tuple{"long.wav", 800'000u, EDirection::Up},
                                         std::tuple{"long.rtf", 700'000u, EDirection::Down}}) {
        // About four seconds each: told after two, a few times a second.
        const std::vector<ev::Progress>& mine = told[name];
        EXPECT_TRUE(!mine.empty() && mine.size() <= 10u) << name << " " << mine.size();
        for (const ev::Progress& p : mine)
            EXPECT_TRUE(p.direction == d && p.total == total && p.done <= total && p.rate > 0);
    }
    EXPECT_FALSE(state.Snapshot().transfer);
    EXPECT_EQ(m_display.WindowText().find("Sending"), std::string::npos);  // no new lines
}

}  // namespace orbidex::test
