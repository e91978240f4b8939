#include "core/cycle/Automation.h"
#include "support/NetTestSupport.h"
#include "support/CycleSuite.h"

#include <map>
#include <gtest/gtest.h>

// Whole cycles against the service emulator: what reaches the server, what the service is
// told, what the author sees, and what is left on disk.
using nettest::ClosedPort;

namespace {

class Cycle : public orbidex::test::ModeCycleSuite {
protected:
    // One session, whatever the count: these cases pin the order of one session's files
    // (a cut put ends the pass); several sessions have their own cases.
    TransferLimits Limits() const override
    {
        TransferLimits oneSession;
        oneSession.mostFtpSessions = 1;
        return oneSession;
    }
    void Configure(CSettings& s) override
    {
        ModeCycleSuite::Configure(s);
        s.PollTime = 5;
        s.Dir[1] = m_src;
        s.Ext[1] = "rtf";
        s.Dir[2] = m_src;  // no extension: pair skipped
        s.AutoDownLoad = 0;
    }
    std::vector<std::pair<std::string, std::string>> Lengths() const
    {
        std::vector<std::pair<std::string, std::string>> out;
        for (const QJsonObject& n : Objects(s_emu->records("notifications")))
            out.emplace_back(n["file"].toString().toStdString(),
                             n["length"].toString().toStdString());
        return out;
    }
};

TEST_P(Cycle, UploadsAnnouncesArchivesAndEndsIdle)
{
    ASSERT_TRUE(WriteWav(m_src + "memo.wav", 489600));  // 61.2 s
    WriteText(m_src + "letter.rtf", std::string(70000, 'r'));
    WriteText(m_src + "old.wav", "sent long ago");
    chmod((m_src + "old.wav").c_str(), 0444);
    WriteText(m_src + "notes.txt", "no pair for this");
    RunCycle();

    EXPECT_EQ(Uploaded("ab12_memo.wav"), ReadAll(m_src + "memo.wav"));
    EXPECT_EQ(Uploaded("ab12_letter.rtf"), ReadAll(m_src + "letter.rtf"));
    EXPECT_EQ(Lengths(), (std::vector<std::pair<std::string, std::string>>{
                              {"ab12_memo.wav", "61"}, {"ab12_letter.rtf", "0"}}));
    EXPECT_TRUE(Archived("memo.wav"));
    EXPECT_TRUE(Archived("letter.rtf"));
    EXPECT_EQ(s_emu->records("uploads").size(), 2);
    const std::string w = m_display.WindowText();
    EXPECT_EQ(w.rfind("Starting Upload Process\r\n", 0), 0u) << w;
    EXPECT_NE(w.find(" - 1 of 2 Uploading memo.wav\r\n"), std::string::npos);
    EXPECT_NE(w.find(" - 2 of 2 Uploading letter.rtf\r\n"), std::string::npos);
    EXPECT_NE(w.find(" - .. Done.\r\n\r\nAuto Download is off\r\n"), std::string::npos);
    EXPECT_EQ(m_display.LastStatus(), "Auto Download is off");
    EXPECT_NE(Log().find("UPLOADing 2 files\r\n"), std::string::npos);
    EXPECT_NE(Log().find("] - memo.wav Transferred\r\n"), std::string::npos);
    const CAgentState::CSnapshot state = m_auto->State().Snapshot();
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.last.sent, 2);
    EXPECT_FALSE(state.Attention());

    // Everything is done: the next cycle finds nothing and sends nothing again.
    s_emu->clearRecords();
    RunCycle();
    EXPECT_TRUE(s_emu->records("uploads").isEmpty());
    EXPECT_NE(m_display.WindowText().find(" - No File to Upload\r\nAuto Download is off\r\n"),
              std::string::npos);
}

TEST_P(Cycle, RefusedNotificationForTheFirstFileOnly)
{
    WriteText(m_src + "a.rtf", "first");
    WriteText(m_src + "b.wav", "second, not audio");
    s_emu->setFaults({{"notify_refuse", QJsonArray{"ab12_a.rtf"}}});
    RunCycle();
    EXPECT_EQ(Uploaded("ab12_a.rtf"), "first");
    EXPECT_TRUE(Waiting("a.rtf"));
    EXPECT_TRUE(Archived("b.wav"));
    // Sent and announced again next time, and kept once accepted.
    s_emu->clearFaults();
    RunCycle();
    EXPECT_TRUE(Archived("a.rtf"));
}

TEST_P(Cycle, SecondOfFivePutsCut)
{
    std::vector<std::string> order;
    for (int i = 1; i <= 5; ++i)
        WriteText(m_src + "g" + std::to_string(i) + ".rtf", std::string(40000, 'x'));
    for (const auto& e : fsys::FindFiles(m_src, "*.rtf")) order.push_back(e.name);
    ASSERT_EQ(order.size(), 5u);
    s_emu->setFaults(
        {{"ftp_cut", QJsonObject{{"after", 1000},
                                 {"cmd", "STOR"},
                                 {"file", QString::fromStdString("ab12_" + order[1])}}}});
    RunCycle();
    EXPECT_TRUE(Archived(order[0]));
    for (int i = 1; i < 5; ++i) EXPECT_TRUE(Waiting(order[i])) << order[i];
    EXPECT_EQ(Notified().size(), 1u);
    EXPECT_NE(m_display.WindowText().find(" - 2 of 5 Uploading " + order[1] + "\r\n"),
              std::string::npos);
    EXPECT_NE(m_display.WindowText().find(" - .. Upload Fail, will attempt later.\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(Log().find(" - .. Upload Fail, will attempt later.\r\n\r\n\r\n"), std::string::npos);
    EXPECT_EQ(m_display.LastStatus(), "Auto Download is off");
    s_emu->clearFaults();
    RunCycle();
    for (const std::string& name : order) EXPECT_TRUE(Archived(name)) << name;
    EXPECT_EQ(Notified().size(), 5u);
}

// A duplicate dictation at the service is worse than a row the author set up twice.
TEST_P(Cycle, PairsOnOneFolderSendEachFileOnce)
{
    WriteText(m_src + "x.wav", "once");
    CSettings s = m_record.Snapshot();
    s.Dir[5] = s.Dir[7] = m_src;
    s.Ext[5] = "WAV";
    s.Ext[7] = "wav";
    m_record.Replace(s);
    RunCycle();
    EXPECT_EQ(Notified().size(), 1u);
    EXPECT_EQ(s_emu->records("uploads").size(), 1);
    EXPECT_TRUE(Archived("x.wav"));
}

// One logged-in session per pass, and on it only what each file needs: a CWD on the
// transfer's own libcurl transfer before its data connection (which also keeps libcurl's EPSV
// stall away on a kept connection), and the size check after a put. The server keeps the
// binary type for the session: it is set once, with the first transfer.
TEST_P(Cycle, APassKeepsOneSessionAndSendsTheSameCommandsForEachFile)
{
    for (const char* name : {"a.rtf", "b.rtf", "c.rtf"}) WriteText(m_src + name, name);
    s_emu->addPending("ab12", "r1.rtf", "{\\rtf1 one}");
    s_emu->addPending("ab12", "r2.rtf", "{\\rtf1 two}");
    CSettings s = m_record.Snapshot();
    s.AutoDownLoad = 1;
    m_record.Replace(s);
    QDir().mkpath(QString::fromStdString(s.TDir));
    RunCycle();
    for (const char* name : {"a.rtf", "b.rtf", "c.rtf"}) ASSERT_TRUE(Archived(name)) << name;
    ASSERT_EQ(ReadAll(s.TDir + "r2.rtf"), "{\\rtf1 two}");

    std::map<int, std::vector<std::string>> sessions;
    for (const QJsonObject& c : Objects(s_emu->records("ftp_commands")))
        sessions[c["session"].toInt()].push_back(c["cmd"].toString().toStdString());
    const std::string data = GetParam() ? "EPSV" : "EPRT";
    using Seq = std::vector<std::string>;
    const Seq login{"USER", "PASS", "PWD"};
    const Seq put{data, "STOR", "SIZE"};
    const Seq get{data, "SIZE", "RETR"};
    Seq up = login, down = login;
    for (int i = 0; i < 3; ++i) up.insert(up.end(), put.begin(), put.end());
    for (int i = 0; i < 2; ++i) down.insert(down.end(), get.begin(), get.end());
    up.insert(up.begin() + 4, "TYPE");
    down.insert(down.begin() + 4, "TYPE");
    up.push_back("QUIT");
    down.push_back("QUIT");
    EXPECT_EQ(sessions, (std::map<int, Seq>{{sessions.begin()->first, up},
                                            {sessions.rbegin()->first, down}}));

    // The probe, three notifications and two confirmations share one connection, the author
    // check and the list another.
    std::map<std::string, int> connections;
    for (const QJsonObject& c : Objects(s_emu->records("web_connections")))
        ++connections[c["scheme"].toString().toStdString()];
    EXPECT_EQ(connections, (std::map<std::string, int>{{"http", 1}, {"https", 1}}));
    EXPECT_EQ(s_emu->records("web_requests").size(), 8);
}

INSTANTIATE_TEST_SUITE_P(PassiveAndActive, Cycle, ::testing::Values(1, 0),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

class CycleSteps : public Cycle {};

TEST_P(CycleSteps, FiveFailedConnectsAndTheDownloadStepStillRuns)
{
    WriteText(m_src + "a.wav", "1");
    m_e.ftpHost = "127.0.0.1:" + std::to_string(ClosedPort());
    CSettings s = m_record.Snapshot();
    s.AutoDownLoad = 1;
    m_record.Replace(s);
    RunCycle();
    std::vector<std::string> attempts;
    for (const std::string& t : m_display.StatusTexts())
        if (t.rfind("Connecting to ", 0) == 0)
            attempts.push_back(t);
    ASSERT_EQ(attempts.size(), 5u);
    EXPECT_EQ(attempts[4], "Connecting to " + m_e.ftpHost + " (Attempt 5 of 5)");
    const auto st = m_display.StatusTexts();
    EXPECT_NE(std::find(st.begin(), st.end(), "Failed to connect to server"), st.end());
    EXPECT_TRUE(Waiting("a.wav"));
    EXPECT_NE(m_display.WindowText().find("Starting Auto-Download Process\r\n"), std::string::npos);
}

TEST_P(CycleSteps, ASessionTheServerClosesIsOpenedAgainForTheNextFile)
{
    WriteText(m_src + "a.wav", "first");
    WriteText(m_src + "b.wav", "second");
    s_emu->setFaults({{"ftp_hangup", QJsonObject{{"cmd", "SIZE"}}}});
    RunCycle();
    EXPECT_TRUE(Archived("a.wav"));
    EXPECT_TRUE(Archived("b.wav"));
    EXPECT_EQ(s_emu->records("uploads").size(), 2);
    EXPECT_EQ(Notified().size(), 2u);
    EXPECT_EQ(s_emu->records("ftp_logins").size(), 2);
    const auto st = m_display.StatusTexts();
    EXPECT_EQ(std::count(st.begin(), st.end(),
                         "Connecting to " + m_e.ftpHost + " (Attempt 1 of 5)"),
              2);
    EXPECT_EQ(m_display.WindowText().find("Upload Fail"), std::string::npos);

    // A 421 before the put, on a new session, is the server closing it, never a time-out.
    WriteText(m_src + "c.wav", "third");
    s_emu->setFaults({{"ftp_hangup", QJsonObject{{"cmd", "EPSV"}}}});
    RunCycle();
    EXPECT_FALSE(fsys::IsReadOnly(m_src + "c.wav"));
    EXPECT_NE(Log().find("Sending c.wav failed: the server closed the connection."),
              std::string::npos)
        << Log();
    EXPECT_EQ(Log().find("timed out"), std::string::npos);
}

TEST_P(CycleSteps, RefusedLoginSwitchesPollingOffInMemory)
{
    WriteText(m_src + "a.wav", "1");
    m_record.Update([](CSettings& s) { s.Password = "wrong"; });
    RunCycle();
    // The cycle ends there: the one problem, nothing sent, polling off until a save.
    const auto problems = m_auto->State().Snapshot().problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, EProblem::LoginRefused);
    EXPECT_EQ(m_record.Snapshot().PollTime, 0);
    EXPECT_TRUE(Waiting("a.wav"));
    EXPECT_TRUE(s_emu->records("ftp_logins").isEmpty());
}

TEST_P(CycleSteps, NoInternetEndsTheCycleWithOneLine)
{
    m_e.httpOrigin = "http://127.0.0.1:" + std::to_string(ClosedPort());
    RunCycle();
    EXPECT_EQ(m_display.LastStatus(), "No Internet Access");
    const std::string line =
        " - No Internet Access: the service did not answer; the next poll "
        "tries again.\r\n";
    EXPECT_EQ(m_display.WindowText().substr(24), line);
    EXPECT_EQ(Log().substr(24), line);
    ASSERT_EQ(m_auto->State().Snapshot().problems.size(), 1u);
    EXPECT_EQ(m_auto->State().Snapshot().problems[0].kind, EProblem::ServiceDown);
}

TEST_P(CycleSteps, AutoDownloadFetchesWhatWaits)
{
    s_emu->addPending("ab12", "reply.rtf", "{\\rtf1 answer}");
    CSettings s = m_record.Snapshot();
    s.AutoDownLoad = 1;
    m_record.Replace(s);
    QDir().mkpath(QString::fromStdString(s.TDir));
    RunCycle();
    const std::string w = m_display.WindowText();
    EXPECT_NE(w.find(" - No File to Upload\r\nStarting Auto-Download Process\r\n"),
              std::string::npos)
        << w;
    EXPECT_EQ(ReadAll(s.TDir + "reply.rtf"), "{\\rtf1 answer}") << w;
    EXPECT_EQ(s_emu->records("confirmations").size(), 1);
    const auto st = m_display.StatusTexts();
    ASSERT_GE(st.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(st.begin(), st.begin() + 4),
              (std::vector<std::string>{"UserName Validation =*= OK =*=", "No File to Upload",
                                        "Starting Auto Download", "Starting Download Process"}));
    EXPECT_EQ(st.back(), "Orbidex - Idle");
}

TEST_P(CycleSteps, QuietCycleSaysSoInTheWindowAndTheStatusBarOnly)
{
    RunCycle();
    // The clock runs: the 24-character time text is checked by its length only.
    const std::string w = m_display.WindowText();
    ASSERT_GT(w.size(), 24u) << w;
    EXPECT_EQ(w.substr(24), " - No File to Upload\r\nAuto Download is off\r\n");
    EXPECT_EQ(m_display.StatusTexts(),
              (std::vector<std::string>{"UserName Validation =*= OK =*=", "No File to Upload",
                                        "Auto Download is off"}));
    EXPECT_EQ(Log(), "");
    EXPECT_FALSE(m_auto->State().Snapshot().Attention());
}

TEST_P(CycleSteps, GuardShowsBusyAndStartsNoSecondWorker)
{
    WriteText(m_src + "slow.wav", "1");
    s_emu->setFaults({{"ftp_delay", QJsonObject{{"ms", 1500}, {"cmd", "STOR"}}}});
    m_auto->StartAutomation();
    ASSERT_TRUE(WaitFor([this] { return !s_emu->records("ftp_logins").isEmpty(); }));
    m_auto->StartAutomation();
    EXPECT_EQ(m_display.LastStatus(), "Nimbrel Upload Ravlet");
    EXPECT_TRUE(m_auto->State().Snapshot().busy) << "the tray shows the state's busy";
    ASSERT_TRUE(WaitFor([this] { return !m_auto->IsBusy(); }));
    int probes = 0;
    for (const QJsonObject& r : Objects(s_emu->records("web_requests")))
        probes += r["path"].toString() == "//" || r["path"].toString() == "/";
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(s_emu->records("uploads").size(), 1);
}

TEST_P(CycleSteps, StopDuringALongTransferReturnsPromptly)
{
    WriteText(m_src + "big.wav", std::string(8 << 20, 'b'));
    s_emu->setFaults(
        {{"ftp_cut", QJsonObject{{"after", 65536}, {"cmd", "STOR"}, {"mode", "stall"}}}});
    m_auto->StartAutomation();
    ASSERT_TRUE(WaitFor([this] { return !s_emu->records("ftp_logins").isEmpty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto t0 = std::chrono::steady_clock::now();
    m_auto.reset();
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_TRUE(Waiting("big.wav"));
    // An abort at exit is not a failure to tell the author about.
    EXPECT_EQ(m_display.WindowText().find("Upload Fail"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Passive, CycleSteps, ::testing::Values(1));

}  // namespace
