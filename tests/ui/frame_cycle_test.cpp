#include "app/ExitSignals.h"
#include "core/cycle/Automation.h"
#include "ui/Resources.h"
#include "core/settings/KeyringProfile.h"
#include "support/DialogAnswers.h"
#include "support/FakeNotices.h"
#include "support/FakeNotifyArea.h"
#include "support/MemoryProfileStore.h"
#include "support/cycle_util.h"
#include "ui/MainFrame.h"
#include "ui/SourceWatch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>

// The window's side of the cycle: the poll timer's re-arming, the guard, and exit while a
// transfer runs.
using orbidex::test::ServiceEmulator;

namespace {

class FrameCycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_emu.addAuthor("ab12", "secret");
        m_src = m_tmp.path().toStdString() + "/src/";
        QDir().mkpath(QString::fromStdString(m_src));
        m_profile.strings[{"Author Details", "Author"}] = "ab12";
        m_profile.strings[{"Author Details", "Password"}] = "secret";
        m_profile.ints[{"Author Details", "Poll Time"}] = 5;
        m_profile.ints[{"Author Details", "PASV"}] = 1;
        m_profile.strings[{"Source Directories", "Dir1"}] = m_src;
        m_profile.strings[{"Source Directories", "Ext1"}] = "wav";
        MakeFrame(m_profile);
    }
    // A new window on `profile`, with an internet layer of its own (a closed window's exit
    // cancels the one it had).
    void MakeFrame(IProfileStore& profile)
    {
        m_frame.reset();
        m_internet = CreateInternet(m_emu.caFile());
        CFrameServices services;
        services.settleMs = 0;
        services.profile = &profile;
        services.notifyArea = &m_area;
        services.internet = m_internet.get();
        services.endpoints = orbidex::test::EndpointsFor(m_emu);
        services.logPath = m_tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
        services.notices = &m_notices;
        m_frame = std::make_unique<CMainFrame>(services);
        ASSERT_TRUE(m_frame->LoadFrame());
        m_frame->LoadSettings();
    }
    // Runs the UI loop until `done` or the bound.
    bool Until(const std::function<bool()>& done, int ms = 30000)
    {
        return QTest::qWaitFor(done, ms);
    }
    bool Busy() { return m_frame->Automation().IsBusy(); }
    void SlowUploads(int ms)
    {
        WriteText(m_src + "slow.wav", "1");
        m_emu.setFaults({{"ftp_delay", QJsonObject{{"ms", ms}, {"cmd", "STOR"}}}});
    }

    // An 8 MiB upload whose data stops after 64 KiB, well under way.
    void StartStalledUpload()
    {
        WriteText(m_src + "big.wav", std::string(8 << 20, 'b'));
        m_emu.setFaults(
            {{"ftp_cut", QJsonObject{{"after", 65536}, {"cmd", "STOR"}, {"mode", "stall"}}}});
        m_frame->OnTransferNow();
        ASSERT_TRUE(Until([&] { return !m_emu.records("ftp_logins").isEmpty(); }));
        QTest::qWait(300);
    }

    std::string Log() const { return ReadAll(m_tmp.filePath("Orbidex.log").toStdString()); }
    // The log's last 3 lines are the shutdown block's.
    void ExpectShutdownBlockLast()
    {
        const std::string log = Log();
        const std::string sep(80, '=');
        const std::string end = "] * * * SHUTDOWN * * *\r\n" + sep + "\r\n";
        const std::size_t at = log.rfind(end);
        ASSERT_NE(at, std::string::npos) << log;
        EXPECT_EQ(at + end.size(), log.size()) << log;
    }

    // Transfer Now, then the UI loop until the cycle's end has been taken in.
    void Cycle()
    {
        const unsigned before = m_frame->CyclesShown();
        m_frame->OnTransferNow();
        ASSERT_TRUE(Until([&] { return m_frame->CyclesShown() != before; }));
    }
    std::string Tip() { return m_frame->TrayIcon().Record().szTip; }
    int TrayIconShown() { return m_frame->TrayIcon().Record().hIcon; }

    CFakeNotices m_notices;
    ServiceEmulator m_emu;
    QTemporaryDir m_tmp;
    std::string m_src;
    CMemoryProfileStore m_profile;
    CFakeNotifyArea m_area;
    std::unique_ptr<IInternet> m_internet;
    std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(FrameCycle, TickRearmsWithThePollPeriodAndStartsACycle)
{
    m_frame->ArmPollTimer(1500);
    m_frame->OnTimer(1);
    EXPECT_EQ(m_frame->TimerPeriod(), 300000u);
    EXPECT_EQ(m_frame->TimerId(), 1u);
    EXPECT_TRUE(Busy());
    ASSERT_TRUE(Until([&] { return !Busy(); }));
    EXPECT_EQ(m_frame->StatusText(), QStringLiteral("Auto Download is off"));
    EXPECT_TRUE(m_frame->WindowText().contains(
        QStringLiteral(" - No File to Upload\nAuto Download is off\n")));
}

TEST_F(FrameCycle, TickOfAnotherTimerSetsThePeriodButStartsNothing)
{
    m_frame->ArmPollTimer(1500);
    m_frame->OnTimer(7);
    EXPECT_EQ(m_frame->StatusText(), QStringLiteral("Polling Started ..."));
    EXPECT_EQ(m_frame->TimerPeriod(), 300000u);
    EXPECT_FALSE(Busy());
}

TEST_F(FrameCycle, TickWithPollingOffDoesNothing)
{
    m_profile.ints[{"Author Details", "Poll Time"}] = 0;
    m_frame->LoadSettings();
    m_frame->ArmPollTimer(1500);
    m_frame->OnTimer(1);
    EXPECT_FALSE(Busy());
    EXPECT_EQ(m_frame->TimerPeriod(), 1500u);
    EXPECT_EQ(m_frame->StatusText(), QStringLiteral("Nimbrel Upload Ravlet"));
}

TEST_F(FrameCycle, TickAndTransferNowDuringACycleOnlyShowBusy)
{
    SlowUploads(1500);
    // Ticks are driven by hand: a timer that fires by itself after the slow cycle (a loaded
    // machine, a sanitizer) would start a second one.
    m_frame->ArmPollTimer(3600000);
    m_frame->OnTransferNow();
    ASSERT_TRUE(Until([&] { return !m_emu.records("ftp_logins").isEmpty(); }));
    m_area.Clear();
    m_frame->OnTimer(1);
    EXPECT_EQ(m_frame->TimerPeriod(), 3600000u);  // not re-armed
    EXPECT_EQ(m_area.States(), std::vector<int>{IDI_TRAY_BUSY});
    m_frame->OnCommand(ID_TRANSFER_NOW);
    EXPECT_EQ(m_frame->StatusText(), QStringLiteral("Nimbrel Upload Ravlet"));
    ASSERT_TRUE(Until([&] { return !Busy(); }));
    EXPECT_EQ(m_emu.records("uploads").size(), 1);
    int probes = 0;
    for (const QJsonObject& r : Objects(m_emu.records("web_requests")))
        probes += r["path"].toString().startsWith(QStringLiteral("/nimbrel/authorverify"));
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(m_area.States().back(), IDI_TRAY_IDLE);
}

TEST_F(FrameCycle, RefusedLoginStopsLaterTicksUntilReload)
{
    m_profile.strings[{"Author Details", "Password"}] = "wrong";
    m_frame->LoadSettings();
    m_frame->ArmPollTimer(1500);
    m_frame->OnTimer(1);
    ASSERT_TRUE(Until([&] { return !Busy(); }));
    EXPECT_TRUE(m_frame->StatusText().startsWith(QStringLiteral("Attention: login refused")))
        << m_frame->StatusText().toStdString();
    EXPECT_EQ(m_frame->Settings().Snapshot().PollTime, 0);
    EXPECT_EQ(m_profile.ints[(std::pair<std::string, std::string>{"Author Details", "Poll Time"})],
              5);
    m_frame->OnTimer(1);
    EXPECT_FALSE(Busy());
    // Nor does a finished file in a watched folder.
    m_frame->Automation().SetSettleTime(100);
    m_frame->SourceWatch().Watch(m_frame->Settings().Snapshot(), 100);
    WriteText(m_src + "a.wav", "a");
    QTest::qWait(1000);
    EXPECT_FALSE(Busy());
    EXPECT_EQ(m_frame->CyclesShown(), 1u);
    // "Transfer Now!!!" still runs a cycle.
    m_frame->OnTransferNow();
    EXPECT_TRUE(Busy());
    ASSERT_TRUE(Until([&] { return !Busy(); }));
}

// A cycle of the folder watch is given the names that changed; when the kernel lost events
// (its queue overflowed), everything.
TEST_F(FrameCycle, TheWatchNamesWhatChangedAndEverythingWhenEventsWereLost)
{
    CSourceWatch watch;
    int cycles = 0;
    watch.onCycle = [&] { ++cycles; };
    watch.Watch(m_frame->Settings().Snapshot(), 50);
    EXPECT_TRUE(watch.TakeScope().all) << "a folder watched anew is looked at whole";
    WriteText(m_src + "a.wav", "a");
    WriteText(m_src + "a.txt", "a");
    ASSERT_TRUE(Until([&] { return cycles == 1; }));
    CScanScope scope = watch.TakeScope();
    EXPECT_FALSE(scope.all);
    EXPECT_EQ(scope.names, (std::map<std::string, std::set<std::string>>{{m_src, {"a.wav"}}}));

    for (int i = 0; i < 17000; ++i)  // more than the kernel queues (16384 here)
        WriteText(m_src + "o" + std::to_string(i) + ".wav", "");
    ASSERT_TRUE(Until([&] { return cycles == 2; }));
    EXPECT_TRUE(watch.TakeScope().all);
}

TEST_F(FrameCycle, ExitDuringALongTransferEndsPromptly)
{
    ASSERT_NO_FATAL_FAILURE(StartStalledUpload());
    QElapsedTimer t;
    t.start();
    m_frame->OnExit();
    m_frame.reset();
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_FALSE(fsys::IsReadOnly(m_src + "big.wav"));
    ExpectShutdownBlockLast();
}

// A logout or a service manager ends the agent with SIGTERM: the same way as Exit.
TEST_F(FrameCycle, TermSignalDuringAnUploadEndsItAsExitDoes)
{
    CExitSignals exitSignals([this] { m_frame->OnExit(); });
    ASSERT_TRUE(exitSignals.Install());
    ASSERT_NO_FATAL_FAILURE(StartStalledUpload());
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_TRUE(Until([&] { return m_frame->Quitting(); }, 5000));
    EXPECT_FALSE(Busy());
    EXPECT_FALSE(fsys::IsReadOnly(m_src + "big.wav"));
    ExpectShutdownBlockLast();
}

// Ctrl+C and a closed terminal end the agent as SIGTERM does (a default action would kill it).
TEST(ExitSignals, InterruptAndHangUpRunTheExitCommandToo)
{
    for (int sig : {SIGINT, SIGHUP}) {
        int exits = 0;
        CExitSignals handler([&exits] { ++exits; });
        ASSERT_TRUE(handler.Install());
        ASSERT_EQ(std::raise(sig), 0);
        EXPECT_TRUE(QTest::qWaitFor([&exits] { return exits == 1; }, 5000)) << sig;
    }
}

// Every fault shows the same everywhere: the tray's icon and tooltip, the status bar, one
// notice and the status report; and all of it goes back to idle once the fault is gone.
TEST_F(FrameCycle, EachFaultAsksForAttentionOnceAndClosesOnRecovery)
{
    const std::string down = m_tmp.filePath(QStringLiteral("down")).toStdString() + "/";
    QDir().mkpath(QString::fromStdString(down));
    m_profile.ints[{"Author Details", "AutoDownLoad"}] = 1;
    m_profile.strings[{"Source Directories", "TDir"}] = down;
    struct Row {
        const char* what;
        QJsonObject fault;
        const char* pending;  // a document waiting on the service
        const char* tip;
        const char* report;   // in the status report's problem line
    };
    const QJsonObject cut{{"after", 3}, {"cmd", "RETR"}};
    const Row rows[] = {
        {"download cut", {{"ftp_cut", cut}}, "cut.rtf", "Download failed: cut.rtf",
         "download failed: cut.rtf"},
        {"list 503",
         {{"http_status", QJsonObject{{"status", 503}, {"path", "/nimbrel/orbidexdload.php"}}}},
         nullptr, "Download list failed", "download list failed (HTTP 503)"},
        {"confirmation 500",
         {{"http_status", QJsonObject{{"status", 500}, {"path", "/nimbrel/nbdlsuccess.php"}}}},
         "conf.rtf", "Downloaded, not confirmed: conf.rtf", "not confirmed: conf.rtf"},
        {"FTP login refused", {{"ftp_refuse_login", true}}, "refused.rtf",
         "File server refused the download login", "file server refused the agent's download login"},
        {"login check 503",
         {{"http_status", QJsonObject{{"status", 503}, {"path", "/nimbrel/authorverify.php"}}}},
         nullptr, "Service fault", "service fault while checking the login (HTTP 503)"},
        {"upload refused", {{"ftp_fail_stor", QJsonObject{{"code", 553}}}}, nullptr,
         "Upload failed: up.wav", "upload failed: "},
    };
    m_frame->LoadSettings();
    for (const Row& row : rows) {
        if (row.pending)
            m_emu.addPending("ab12", row.pending, "document");
        if (QString(row.what).startsWith(QStringLiteral("upload")))
            WriteText(m_src + "up.wav", "up");
        m_emu.setFaults(row.fault);
        Cycle();
        EXPECT_EQ(TrayIconShown(), IDI_TRAY_ATTENTION) << row.what;
        EXPECT_EQ(Tip().rfind(row.tip, 0), 0u) << row.what << ": " << Tip();
        const std::string report = m_frame->StatusReport();
        EXPECT_EQ(report.rfind("attention\n", 0), 0u) << row.what << ": " << report;
        EXPECT_NE(report.find(row.report), std::string::npos) << row.what << ": " << report;
        EXPECT_TRUE(m_frame->StatusText().startsWith(QStringLiteral("Attention: ")))
            << row.what << ": " << m_frame->StatusText().toStdString();
        EXPECT_EQ(m_notices.shown.size(), 1) << row.what;
        // Still failing: the same notice stays, none is added.
        Cycle();
        EXPECT_EQ(m_notices.opened.size(), 1) << row.what;

        m_emu.clearFaults();
        Cycle();
        EXPECT_EQ(TrayIconShown(), IDI_TRAY_IDLE) << row.what << ": " << Tip();
        EXPECT_EQ(m_frame->StatusReport().rfind("idle\n", 0), 0u) << row.what;
        EXPECT_TRUE(m_notices.shown.isEmpty()) << row.what;
        m_notices.opened.clear();
    }
    // What the rows left to fetch and send went through once the faults were gone.
    for (const char* name : {"cut.rtf", "conf.rtf", "refused.rtf"})
        EXPECT_EQ(ReadAll(down + name), "document") << name;
    EXPECT_TRUE(fsys::IsReadOnly(m_src + "up.wav"));
}

// A keyring that keeps the password locked: asked once at the load, once more when the author
// acts, never a request that would carry an empty password, and attention until it opens.
TEST_F(FrameCycle, ALockedKeyringIsSaidAndNothingIsSentWithoutThePassword)
{
    struct CLockedKeyring final : ISecretStore {
        bool locked = true;
        int reads = 0;
        Result Read(const std::string&, std::string& secret) override
        {
            ++reads;
            secret = "secret";
            return locked ? Result::Locked : Result::Ok;
        }
        Result Write(const std::string&, const std::string&) override { return Result::Locked; }
        Result Remove(const std::string&) override { return Result::Locked; }
        std::string LastError() const override { return "Cancelled"; }
    };
    auto* keyring = new CLockedKeyring;
    auto file = std::make_unique<CMemoryProfileStore>(m_profile);
    file->strings.erase({"Author Details", "Password"});
    CKeyringProfileStore profile(std::move(file), std::unique_ptr<ISecretStore>(keyring));
    WriteText(m_src + "memo.wav", "dictated");
    MakeFrame(profile);
    m_frame->LoadSettings();
    EXPECT_EQ(keyring->reads, 1);
    Cycle();  // Transfer Now: asked once more
    EXPECT_EQ(keyring->reads, 2);
    EXPECT_EQ(TrayIconShown(), IDI_TRAY_ATTENTION);
    EXPECT_EQ(Tip().rfind("The keyring is locked", 0), 0u) << Tip();
    EXPECT_EQ(m_frame->StatusReport().rfind("attention\n", 0), 0u);
    EXPECT_TRUE(m_emu.records("web_requests").isEmpty());
    EXPECT_FALSE(fsys::IsReadOnly(m_src + "memo.wav"));
    ASSERT_EQ(m_notices.opened.size(), 1);
    EXPECT_FALSE(m_notices.opened[0].contains(QStringLiteral("refused")));

    keyring->locked = false;
    Cycle();
    EXPECT_EQ(TrayIconShown(), IDI_TRAY_IDLE) << Tip();
    EXPECT_TRUE(fsys::IsReadOnly(m_src + "memo.wav"));
    QStringList passwords;
    for (const QJsonValue& r : m_emu.records("web_requests")) {
        const QJsonObject q = r.toObject()["query"].toObject();
        if (q.contains(QStringLiteral("wp")))
            passwords << q["wp"].toString();
    }
    EXPECT_FALSE(passwords.isEmpty());
    EXPECT_EQ(passwords.count(QStringLiteral("secret")), passwords.size()) << passwords.join(',').toStdString();
}

// Cancelling the first start's Configuration with nothing saved is not a refused login.
TEST_F(FrameCycle, NoLoginIdIsNotConfiguredNotRefused)
{
    m_profile.strings.erase({"Author Details", "Author"});
    m_frame->LoadSettings();
    Cycle();
    EXPECT_EQ(TrayIconShown(), IDI_TRAY_ATTENTION);
    EXPECT_EQ(Tip(), "Not set up yet. Open Configuration.");
    ASSERT_EQ(m_notices.opened.size(), 1);
    EXPECT_FALSE(m_notices.opened[0].contains(QStringLiteral("refused")));
    EXPECT_TRUE(m_emu.records("web_requests").size() == 1);  // the probe alone
}

}  // namespace

// With the poll five minutes away, files dropped after a cycle are sent when they are
// finished: twenty copied at once go in one cycle.
TEST_F(FrameCycle, FinishedFilesGoLongBeforeTheNextPollInOneCycle)
{
    m_frame->Automation().SetSettleTime(1000);
    m_frame->ArmPollTimer(1500);
    m_frame->ApplyPolling(true);
    ASSERT_EQ(m_frame->TimerPeriod(), 300000u);
    ASSERT_EQ(m_frame->SourceWatch().Watched(), std::vector<std::string>{m_src});
    Cycle();
    const unsigned before = m_frame->CyclesShown();
    for (int i = 0; i < 20; ++i)
        WriteText(m_src + "r" + std::to_string(i) + ".wav", std::string(100 + i, 'r'));
    // A third of the poll period: a bound on the behaviour, not a measure of its speed.
    ASSERT_TRUE(Until([&] { return m_emu.records("notifications").size() == 20; }, 100000));
    QTest::qWait(1500);
    EXPECT_EQ(m_frame->CyclesShown(), before + 1);
}

// Polling Time 0 turns automatic sending off, says so, and sends nothing by itself; what is
// saved in Configuration takes effect at once.
TEST_F(FrameCycle, PollingTimeSavedTakesEffectAtOnceAndZeroIsAStateOfItsOwn)
{
    CDialogAnswers answers;  // the dialog is cancelled: the reload takes what was saved
    m_frame->Automation().SetSettleTime(100);
    m_frame->ArmPollTimer(1500);
    m_profile.ints[{"Author Details", "Poll Time"}] = 0;
    m_frame->OnConfiguration();
    ASSERT_TRUE(Until([&] { return m_frame->CyclesShown() == 1; }));
    const std::string off = "automatic sending is off: Polling Time is 0";
    EXPECT_EQ(m_frame->TimerId(), 0u);
    EXPECT_EQ(Tip(), off);
    EXPECT_EQ(m_frame->StatusText().toStdString(), off);
    EXPECT_EQ(m_frame->StatusReport().substr(0, 4), "off\n");
    EXPECT_NE(m_frame->StatusReport().find(off), std::string::npos);
    WriteText(m_src + "a.wav", "a");
    QTest::qWait(1500);
    EXPECT_EQ(m_frame->CyclesShown(), 1u);
    EXPECT_TRUE(m_emu.records("uploads").isEmpty());

    m_profile.ints[{"Author Details", "Poll Time"}] = 1;
    m_frame->OnConfiguration();
    EXPECT_EQ(m_frame->TimerId(), 1u);
    EXPECT_EQ(m_frame->TimerPeriod(), 60000u);
    EXPECT_NE(Tip(), off);
    ASSERT_TRUE(Until([&] { return m_frame->CyclesShown() == 2; }));
    EXPECT_EQ(m_frame->StatusReport().substr(0, 5), "idle\n");
    // Watched from now on: a file dropped is sent without Transfer Now or a poll.
    WriteText(m_src + "b.wav", "b");
    ASSERT_TRUE(Until([&] { return m_emu.records("notifications").size() == 2; }, 20000));
}

// A folder missing when the watch starts is looked at every few seconds; once it is made
// again it is watched, and what it holds is sent.
TEST_F(FrameCycle, AFolderMadeAgainIsWatchedAndItsFilesSent)
{
    QDir(QString::fromStdString(m_src)).removeRecursively();
    m_frame->Automation().SetSettleTime(100);
    m_frame->ArmPollTimer(1500);
    m_frame->ApplyPolling(true);
    EXPECT_EQ(m_frame->SourceWatch().Listed(), std::vector<std::string>{m_src});
    QDir().mkpath(QString::fromStdString(m_src));
    WriteText(m_src + "a.wav", "a");
    ASSERT_TRUE(Until([&] { return m_emu.records("notifications").size() == 1; }, 20000));
    EXPECT_EQ(m_frame->SourceWatch().Watched(), std::vector<std::string>{m_src});
}
