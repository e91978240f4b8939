#include "app/ExitSignals.h"
#include "core/cycle/Automation.h"
#include "core/resources/Resources.h"
#include "support/DialogAnswers.h"
#include "support/FakeNotifyArea.h"
#include "support/MemoryProfileStore.h"
#include "support/cycle_util.h"
#include "ui/MainFrame.h"

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
        m_internet = CreateInternet(m_emu.caFile());
        CFrameServices services;
        services.profile = &m_profile;
        services.notifyArea = &m_area;
        services.internet = m_internet.get();
        services.endpoints = orbidex::test::EndpointsFor(m_emu);
        services.logPath = m_tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
        services.notify = [this](const QString&, const QString& text) { m_notes << text; };
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
        const QDateTime before = m_frame->FrameStatus().lastCycleEnd;
        m_frame->OnTransferNow();
        ASSERT_TRUE(
            Until([&] { return !Busy() && m_frame->FrameStatus().lastCycleEnd != before; }));
    }
    std::string Tip() { return m_frame->TrayIcon().Record().szTip; }
    int TrayIconShown() { return m_frame->TrayIcon().Record().hIcon; }

    QStringList m_notes;
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
    m_frame->m_nTimerId = m_frame->SetTimer(1, 1500);
    m_frame->OnTimer(1);
    EXPECT_EQ(m_frame->m_nTimerPeriod, 300000u);
    EXPECT_EQ(m_frame->m_nTimerId, 1u);
    EXPECT_TRUE(Busy());
    ASSERT_TRUE(Until([&] { return !Busy(); }));
    EXPECT_EQ(m_frame->StatusText(), QStringLiteral("Auto Download is off"));
    EXPECT_TRUE(m_frame->WindowText().contains(
        QStringLiteral(" - No File to Upload\nAuto Download is off\n")));
}

TEST_F(FrameCycle, TickOfAnotherTimerSetsThePeriodButStartsNothing)
{
    m_frame->m_nTimerId = m_frame->SetTimer(1, 1500);
    m_frame->OnTimer(7);
    EXPECT_EQ(m_frame->StatusText(), QStringLiteral("Polling Started ..."));
    EXPECT_EQ(m_frame->m_nTimerPeriod, 300000u);
    EXPECT_FALSE(Busy());
}

TEST_F(FrameCycle, TickWithPollingOffDoesNothing)
{
    m_profile.ints[{"Author Details", "Poll Time"}] = 0;
    m_frame->LoadSettings();
    m_frame->m_nTimerId = m_frame->SetTimer(1, 1500);
    m_frame->m_nTimerPeriod = 1500;
    m_frame->OnTimer(1);
    EXPECT_FALSE(Busy());
    EXPECT_EQ(m_frame->m_nTimerPeriod, 1500u);
    EXPECT_EQ(m_frame->StatusText(), QStringLiteral("Nimbrel Upload Ravlet"));
}

TEST_F(FrameCycle, TickAndTransferNowDuringACycleOnlyShowBusy)
{
    SlowUploads(1500);
    // Ticks are driven by hand: a timer that fires by itself after the slow cycle (a loaded
    // machine, a sanitizer) would start a second one.
    m_frame->m_nTimerId = m_frame->SetTimer(1, 3600000);
    m_frame->m_nTimerPeriod = 1500;
    m_frame->OnTransferNow();
    ASSERT_TRUE(Until([&] { return !m_emu.records("ftp_logins").isEmpty(); }));
    m_area.Clear();
    m_frame->OnTimer(1);
    EXPECT_EQ(m_frame->m_nTimerPeriod, 1500u);  // not re-armed
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
    m_frame->m_nTimerId = m_frame->SetTimer(1, 1500);
    m_frame->OnTimer(1);
    ASSERT_TRUE(Until([&] { return !Busy(); }));
    EXPECT_EQ(m_frame->StatusText(), QStringLiteral("Invalid Author Name or Password."));
    EXPECT_EQ(m_frame->Settings().Snapshot().PollTime, 0);
    EXPECT_EQ(m_profile.ints[(std::pair<std::string, std::string>{"Author Details", "Poll Time"})],
              5);
    m_frame->OnTimer(1);
    EXPECT_FALSE(Busy());
    // "Transfer Now!!!" still runs a cycle.
    m_frame->OnTransferNow();
    EXPECT_TRUE(Busy());
    ASSERT_TRUE(Until([&] { return !Busy(); }));
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
    ASSERT_TRUE(Until([&] { return m_frame->m_bQuitting != 0; }, 5000));
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

TEST_F(FrameCycle, AttentionShowsWhileAProblemLastsAndIsAnnouncedOnce)
{
    WriteText(m_src + "a.wav", "a");
    m_emu.setFaults({{"ftp_refuse_login", true}});
    for (int i = 1; i <= 4; ++i) {
        Cycle();
        EXPECT_EQ(TrayIconShown(), IDI_TRAY_ATTENTION) << i;
        EXPECT_EQ(Tip(), "Service unreachable, 1 file(s) waiting for the next poll.");
        EXPECT_EQ(m_frame->FrameStatus().state, CFrameStatus::EState::Attention);
        EXPECT_EQ(m_notes.size(), i < 3 ? 0 : 1) << i;  // the third cycle in a row, once
    }
    m_emu.clearFaults();
    Cycle();
    EXPECT_EQ(TrayIconShown(), IDI_TRAY_IDLE);
    EXPECT_EQ(Tip(), "Nimbrel Ravlet. Right click for menu.");
    EXPECT_EQ(m_frame->FrameStatus().state, CFrameStatus::EState::Idle);
    EXPECT_TRUE(fsys::IsReadOnly(m_src + "a.wav"));

    m_profile.strings[{"Author Details", "Password"}] = "wrong";
    m_frame->LoadSettings();
    Cycle();
    Cycle();
    EXPECT_EQ(TrayIconShown(), IDI_TRAY_ATTENTION);
    EXPECT_EQ(Tip(), "Login refused. Open Configuration and check ID and password.");
    ASSERT_EQ(m_notes.size(), 2);
    EXPECT_TRUE(m_notes[1].contains(QStringLiteral("refused"))) << m_notes[1].toStdString();
}

}  // namespace
