// The edges of a working day against the emulator: a quit while the service is answering, a
// slow but answering link, a download list that does not move.
#include "core/cycle/DownloadList.h"
#include "support/CycleSuite.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

namespace {

using namespace orbidex::test;

// The parameter: how many FTP sessions a backlog may use.
class Promises : public CycleSuiteOf<::testing::TestWithParam<int>> {
protected:
    TransferLimits Limits() const override
    {
        TransferLimits limits;
        limits.mostFtpSessions = GetParam();
        return limits;
    }
    void TearDown() override { s_emu->admin("POST", "/rtt", {{"ms", 0}}); }
    int NoticesSent() const
    {
        int n = 0;
        for (const QJsonObject& r : Objects(s_emu->records("web_requests")))
            n += r["path"].toString() == "/nimbrel/copywav.php";
        return n;
    }
    // A new run: a new automation on a new internet layer (a stop ends the old one for good).
    void Restart()
    {
        m_auto.reset();
        m_internet = CreateInternet(s_emu->caFile(), Limits());
        m_auto = std::make_unique<CAutomation>(*m_lines, m_internet.get(), m_e, m_record);
        m_auto->SetSettleTime(0);
    }
};

// Notifications in flight at a quit are answered and recorded: after a restart no file is
// announced twice, with one session and with three notifications in flight at once.
TEST_P(Promises, AQuitKeepsTheNotificationsAlreadySent)
{
    const int files = 8;
    for (int i = 0; i < files; ++i) WriteText(m_src + "f" + std::to_string(i) + ".wav", "x");
    s_emu->setFaults(
        {{"http_delay", QJsonObject{{"ms", 1500}, {"path", "/nimbrel/copywav.php"}}}});
    m_auto->StartAutomation();
    ASSERT_TRUE(WaitFor([&] { return NoticesSent() >= GetParam(); }, 20000));
    const auto start = std::chrono::steady_clock::now();
    m_auto->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(kStopGraceMs + 1500));
    const int inFlight = NoticesSent();
    ASSERT_GE(inFlight, GetParam());
    ASSERT_TRUE(WaitFor([&] { return static_cast<int>(Notified().size()) >= inFlight; }));
    for (const std::string& remote : Notified())
        EXPECT_TRUE(Done(remote.substr(5))) << remote << " announced but not marked";

    s_emu->clearFaults();
    Restart();
    RunCycle();
    std::map<std::string, int> times;
    for (const std::string& remote : Notified()) ++times[remote];
    EXPECT_EQ(times.size(), static_cast<std::size_t>(files));
    for (const auto& [remote, n] : times) EXPECT_EQ(n, 1) << remote;
    for (int i = 0; i < files; ++i) EXPECT_TRUE(Done("f" + std::to_string(i) + ".wav")) << i;
}

// Behind a 50 ms link a backlog takes several times the cycle's bound: round trips are no
// silence, so every file goes and every document comes, with no failure line.
TEST_P(Promises, ASlowLinkIsNotADeadLink)
{
    for (int i = 0; i < 10; ++i) WriteText(m_src + "u" + std::to_string(i) + ".wav", "x");
    for (int i = 0; i < 30; ++i) s_emu->addPending("ab12", "s" + std::to_string(i) + ".rtf", "d");
    s_emu->admin("POST", "/rtt", {{"ms", 50}});
    m_auto->SetWaitBudget(800);
    const auto start = std::chrono::steady_clock::now();
    RunCycle();
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1600));
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(Done("u" + std::to_string(i) + ".wav")) << i;
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(ReadAll(m_down + "s" + std::to_string(i) + ".rtf"), "d") << i;
    EXPECT_EQ(InLog("Please inform"), 0) << Log();
    EXPECT_EQ(InLog("too slow"), 0) << Log();
}

// A cycle whose bound is spent on a silent get leaves the documents it did not reach for a
// later cycle, without calling them missing.
TEST_P(Promises, DocumentsNotReachedAreNotFetchedThisTime)
{
    for (int i = 0; i < 6; ++i) s_emu->addPending("ab12", "s" + std::to_string(i) + ".rtf", "d");
    s_emu->setFaults({{"ftp_delay", QJsonObject{{"ms", 600000}, {"cmd", "RETR"}}}});
    m_auto->SetWaitBudget(1500);
    RunCycle();
    EXPECT_EQ(InLog("not found on Server"), 0) << Log();
    EXPECT_EQ(InLog("Download Failed"), 0) << Log();
    EXPECT_EQ(InLog("too slow"), 1) << Log();

    s_emu->clearFaults();
    m_auto->SetWaitBudget(kCycleWaitBudgetMs);
    RunCycle();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(ReadAll(m_down + "s" + std::to_string(i) + ".rtf"), "d") << i;
}

// A long list asks for the next cycle at once only while it moves: documents the server lacks,
// or the same documents named again after they came, wait for the poll.
TEST_P(Promises, AListThatDoesNotMoveWaitsForThePoll)
{
    s_emu->putFile("/downloads/ab12/a.rtf", "a");
    struct Row {
        const char* what;
        const char* name;        // of every document listed
        std::vector<bool> more;  // after each cycle
    } const rows[] = {
        {"lacking", "gone.rtf", {false}},
        {"named again", "a.rtf", {true, false}},
    };
    for (const Row& row : rows) {
        std::string list = "countoffiles = 50000<br>\r\nSourceDir=/downloads/ab12<br>\r\n";
        for (int i = 1; i <= kMaxListItems; ++i)
            list += "file_" + std::to_string(i) + " = \"" + row.name + "\"<br>\r\nfileid_" +
                    std::to_string(i) + " = " + std::to_string(i) + "<br>\r\n";
        s_emu->setFaults({{"list_body", QString::fromStdString(list)}});
        Restart();
        for (bool more : row.more) {
            s_emu->clearRecords();
            RunCycle();
            EXPECT_EQ(m_auto->MoreListed(), more) << row.what;
            int asked = 0;  // the documents were looked for
            for (const QJsonObject& c : Objects(s_emu->records("ftp_commands")))
                asked += c["arg"].toString().endsWith(QLatin1String(row.name));
            EXPECT_GT(asked, 0) << row.what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sessions, Promises, ::testing::Values(1, 3));

}  // namespace
