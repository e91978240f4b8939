// A quit while the service answers, a slow but answering link, a cycle out of time.
#include "support/CycleSuite.h"

#include <map>

namespace {

using namespace orbidex::test;
using std::to_string;

// The parameter: how many FTP sessions a backlog may use.
class Promises : public CycleSuiteOf<::testing::TestWithParam<int>> {
protected:
    TransferLimits Limits() const override { return {1024, 60, GetParam()}; }
    void TearDown() override { s_emu->admin("POST", "/rtt", {{"ms", 0}}); }
};

// The notifications in flight at a quit (one, or three at once) are answered and recorded: after
// a restart each file has been announced once.
TEST_P(Promises, AQuitKeepsTheNotificationsAlreadySent)
{
    for (int i = 0; i < 8; ++i) WriteText(m_src + "f" + to_string(i) + ".wav", "x");
    s_emu->setFaults({{"http_delay", QJsonObject{{"ms", 1500}, {"path", "/nimbrel/copywav.php"}}}});
    m_auto->StartAutomation();
    ASSERT_TRUE(
        WaitFor([&] { return s_emu->state()["web_requests"].toArray().size() >= 2 + GetParam(); }));
    m_auto.reset();  // the quit: the automation stops and is gone
    ASSERT_TRUE(WaitFor([&] { return Notified().size() >= static_cast<std::size_t>(GetParam()); }));
    for (const std::string& remote : Notified()) EXPECT_TRUE(Done(remote.substr(5))) << remote;

    s_emu->clearFaults();
    m_internet = CreateInternet(s_emu->caFile(), Limits());
    m_auto = std::make_unique<CAutomation>(*m_lines, m_internet.get(), m_e, m_record);
    m_auto->SetSettleTime(0);
    RunCycle();
    std::map<std::string, int> times;
    for (const std::string& remote : Notified()) ++times[remote];
    EXPECT_EQ(times.size(), 8u);
    for (const auto& [remote, n] : times) EXPECT_EQ(n, 1) << remote;
}

// Behind a 50 ms link the backlog takes twice the cycle's bound: round trips are no silence.
// Then a silent get spends the bound: the documents not reached wait, not called missing.
TEST_P(Promises, ASlowLinkIsNotADeadLink)
{
    for (int i = 0; i < 30; ++i) {
        WriteText(m_src + "u" + to_string(i % 10) + ".wav", "x");
        s_emu->addPending("ab12", "s" + to_string(i) + ".rtf", "d");
    }
    s_emu->admin("POST", "/rtt", {{"ms", 50}});
    m_auto->SetWaitBudget(800);
    const auto start = std::chrono::steady_clock::now();
    RunCycle();
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1600));
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(Done("u" + to_string(i % 10) + ".wav") &&
                    ReadAll(m_down + "s" + to_string(i) + ".rtf") == "d")
            << i;
    EXPECT_EQ(InLog("Please inform") + InLog("too slow"), 0) << Log();

    s_emu->admin("POST", "/rtt", {{"ms", 0}});
    for (int i = 0; i < 6; ++i) s_emu->addPending("ab12", "t" + to_string(i) + ".rtf", "d");
    s_emu->setFaults({{"ftp_delay", QJsonObject{{"ms", 600000}, {"cmd", "RETR"}}}});
    m_auto->SetWaitBudget(1500);
    RunCycle();
    EXPECT_EQ(InLog("Please inform") * 10 + InLog("too slow"), 1) << Log();
}

INSTANTIATE_TEST_SUITE_P(Sessions, Promises, ::testing::Values(1, 3));

}  // namespace
