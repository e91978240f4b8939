// Whole cycles against the emulator where the service fails: a failing login check is not a
// refusal, every failure leaves a line with the time, and a cycle stopped at exit reports nothing.
#include "core/cycle/Automation.h"
#include "support/CycleSuite.h"
#include "support/NetTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

using FailureCycle = orbidex::test::CycleSuite;
const char* kVerify = "/nimbrel/authorverify.php";

TEST_F(FailureCycle, AFailingLoginCheckKeepsPollingOnAndTheNextCycleSends)
{
    m_record.Update([](CSettings& s) { s.PollTime = 5; });
    struct Row {
        const char* file;
        QJsonObject fault;
        long budgetMs;
        std::string reason;
    };
    const Row rows[] = {
        {"a.wav",
         {{"http_status", QJsonObject{{"status", 503}, {"body", "busy"}, {"path", kVerify}}}},
         kCycleWaitBudgetMs, "check the login (HTTP 503)"},
        {"b.wav", {{"http_delay", QJsonObject{{"ms", 6000}, {"path", kVerify}}}}, 1000,
         "check the login (the server was too slow)"},
    };
    for (const Row& row : rows) {
        WriteText(m_src + row.file, row.file);
        s_emu->setFaults(row.fault);
        m_auto->SetWaitBudget(row.budgetMs);
        RunCycle();
        EXPECT_EQ(m_record.Snapshot().PollTime, 5) << row.file;
        EXPECT_EQ(Problems(), std::vector<EProblem>{EProblem::ServiceFault}) << row.file;
        EXPECT_FALSE(fsys::IsReadOnly(m_src + row.file));
        // A server fault does not point the author at their password.
        EXPECT_EQ(m_display.LastStatus().find("The service could not check the login ("), 0u)
            << m_display.LastStatus();
        EXPECT_EQ(m_display.WindowText().find("Invalid Author"), std::string::npos);
        EXPECT_NE(Log().find(row.reason + "; it is tried again at the next poll.\r\n"),
                  std::string::npos)
            << Log();

        s_emu->clearFaults();
        m_auto->SetWaitBudget(kCycleWaitBudgetMs);
        RunCycle();
        EXPECT_TRUE(Done(row.file)) << row.file;
        EXPECT_TRUE(Problems().empty());
    }

    m_record.Update([](CSettings& s) { s.Password = "wrong"; });
    RunCycle();
    EXPECT_EQ(m_record.Snapshot().PollTime, 0);
    EXPECT_EQ(Problems(), std::vector<EProblem>{EProblem::LoginRefused});
    EXPECT_NE(Log().find("Invalid Author Name or Password.\r\n"), std::string::npos);
}

// An error page is no answer, whatever words it holds: nothing is marked sent, no list is read.
TEST_F(FailureCycle, AnErrorPageHoldingTheAnswerAcceptsNothing)
{
    const std::tuple<const char*, const char*, EProblem> rows[] = {
        {"/nimbrel/copywav.php", "<html>Username Valid!</html>", EProblem::UploadFailed},
        {"/nimbrel/orbidexdload.php", "countoffiles = 0<br>SourceDir=/d<br>", EProblem::ListFailed}};
    for (const auto& [path, body, problem] : rows) {
        WriteText(m_src + "a.wav", "a");
        s_emu->setFaults(
            {{"http_status", QJsonObject{{"status", 503}, {"body", body}, {"path", path}}}});
        RunCycle();
        const std::vector<EProblem> open = Problems();
        EXPECT_EQ(std::count(open.begin(), open.end(), problem), 1) << path;
        EXPECT_EQ(m_auto->State().Snapshot().last.sent, problem == EProblem::ListFailed) << path;
    }
}

TEST_F(FailureCycle, NoInternetAndFailedConnectLeaveATimedLine)
{
    WriteText(m_src + "a.wav", "a");
    s_emu->setFaults({{"ftp_refuse_login", true}});
    RunCycle();
    EXPECT_EQ(Problems(), std::vector<EProblem>{EProblem::FtpLoginRefused});
    // With the last attempt's reason: the server answered, it refused the login.
    const std::string failed =
        " - Failed to connect to server (Access denied: 530 - server said: 530 Login refused); "
        "the files wait for the next poll.";
    // Once for the upload; the download list is empty.
    EXPECT_NE(Log().find(failed + "\r\n"), std::string::npos) << Log();
    EXPECT_NE(m_display.WindowText().find(failed), std::string::npos);

    const CEndpoints dead = nettest::DeadEndpoints();  // held by reference: must outlive the cycle
    CAutomation offline(m_display.Lines(), m_internet.get(), dead, m_record);
    offline.StartAutomation();
    ASSERT_TRUE(WaitFor([&] { return !offline.IsBusy(); }));
    const std::string line =
        " - No Internet Access: the service did not answer; the next poll "
        "tries again.";
    EXPECT_NE(Log().find(line + "\r\n"), std::string::npos) << Log();
    EXPECT_EQ(m_display.LastStatus(), "No Internet Access");
}

// Exit while the list request hangs: the abort is no failure, and the shutdown block stays last.
TEST_F(FailureCycle, ExitDuringTheListRequestLogsNothingAfterTheShutdownBlock)
{
    s_emu->setFaults(
        {{"http_delay", QJsonObject{{"ms", 20000}, {"path", "/nimbrel/orbidexdload.php"}}}});
    m_auto->StartAutomation();
    ASSERT_TRUE(WaitFor([this] {
        return m_display.WindowText().find("Getting List of Files") != std::string::npos;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    m_auto->Cancel();
    m_display.Log().WriteShutdownBlock(std::time(nullptr));
    const auto start = std::chrono::steady_clock::now();
    m_auto->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const std::string log = Log();
    const std::string end = "* * * SHUTDOWN * * *\r\n" + std::string(80, '=') + "\r\n";
    ASSERT_GE(log.size(), end.size());
    EXPECT_EQ(log.substr(log.size() - end.size()), end) << log;
    EXPECT_EQ(log.find("network down"), std::string::npos);
}

}  // namespace
