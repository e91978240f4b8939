#include "ui/Resources.h"
#include "support/DialogAnswers.h"
#include "support/MemoryProfileStore.h"
#include "ui/Icons.h"
#include "core/cycle/Automation.h"
#include "ui/MainFrame.h"
#include "ui/QtNotifyArea.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <thread>

// The offscreen platform has no notification area: the agent must stay reachable through its
// window, which then carries the tray state. A tray that comes later is stood in for by the
// area's availability probe.

namespace {
const QString kBusyTitle = QStringLiteral("Nimbrel Ravlet - Orbidex - Connected. Pease Wait...");

QImage IconImage(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage();
}

class NoTray : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        // Complete settings and polling on (Poll Time 0 is a state of its own), but the poll
        // is stopped at start: no dialog, no cycle.
        profile.strings[{"Author Details", "Author"}] = "ab12";
        profile.strings[{"Author Details", "Password"}] = "pw";
        profile.ints[{"Author Details", "Show Config"}] = 0;
        profile.ints[{"Author Details", "Poll Time"}] = 1000;
    }
    void Start(const CEndpoints& endpoints = BuildEndpoints())
    {
        CFrameServices services;
        services.settleMs = 0;
        services.endpoints = endpoints;
        services.profile = &profile;
        services.notifyArea = &area;
        services.logPath = tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
        frame = std::make_unique<CMainFrame>(services);
        ASSERT_TRUE(frame->LoadFrame());
        frame->show();
        frame->OnFirstPaint();
        frame->KillTimer(1);
    }
    bool WindowIconIs(int id) const
    {
        return IconImage(frame->windowIcon()) == IconImage(LoadResIcon(id));
    }
    bool Reachable() const { return frame->isVisible() && frame->isMinimized(); }
    // Reports as a cycle's worker would; the window shows it once the UI thread has looked.
    void Report(const CAgentEvent& e) { frame->Automation().State().Report(e); }
    bool Shows(int icon, const QString& title)
    {
        return QTest::qWaitFor([&] { return frame->windowTitle() == title && WindowIconIs(icon); },
                               5000);
    }
    QStringList VisibleBar() const
    {
        QStringList bar;
        for (QAction* a : frame->menuBar()->actions())
            if (a->isVisible())
                bar << a->text();
        return bar;
    }

    CDialogAnswers answers;
    QTemporaryDir tmp;
    CMemoryProfileStore profile;
    CQtNotifyArea area;
    std::unique_ptr<CMainFrame> frame;
};
}  // namespace

TEST_F(NoTray, TheWindowStaysMinimisedWithItsMenuAndTheIdleIcon)
{
    ASSERT_FALSE(IconImage(LoadResIcon(IDI_TRAY_IDLE)).isNull());
    ASSERT_NE(IconImage(LoadResIcon(IDI_TRAY_IDLE)), IconImage(LoadResIcon(IDR_MAINFRAME)));
    Start();
    EXPECT_TRUE(Reachable());
    EXPECT_FALSE(area.IsShown());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Nimbrel Ravlet"));
    EXPECT_TRUE(WindowIconIs(IDI_TRAY_IDLE));
    EXPECT_EQ(VisibleBar(), (QStringList{"&Configuration", "Transfer Now!!!", "&Pause automatic sending",
                                         "&Recent activity", "&Help", "&Exit"}));
    // The state stays where the window can show it: the tray record has no icon to modify.
    EXPECT_EQ(frame->TrayIcon().Record().hIcon, 0);
}

TEST_F(NoTray, TheWindowMenusExitEndsTheAgentAsTheTraysDoes)
{
    Start();
    QAction* exit = nullptr;
    for (QAction* a : frame->menuBar()->actions())
        if (a->text() == QStringLiteral("&Exit"))
            exit = a;
    ASSERT_NE(exit, nullptr);
    exit->trigger();
    EXPECT_TRUE(frame->Quitting());
    EXPECT_FALSE(frame->isVisible());
    QFile log(tmp.filePath(QStringLiteral("Orbidex.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("* * * SHUTDOWN * * *"));
}

TEST_F(NoTray, TheCloseBoxMinimisesInsteadOfHiding)
{
    Start();
    frame->OnOpenWindow();
    ASSERT_TRUE(frame->isVisible());
    ASSERT_FALSE(frame->isMinimized());
    frame->close();
    EXPECT_TRUE(Reachable());
    frame->close();  // again, from minimised
    EXPECT_TRUE(Reachable());
}

TEST_F(NoTray, TitleAndIconFollowTheStateFromEitherThread)
{
    Start();
    Report(ev::CycleStarted{});
    EXPECT_TRUE(Shows(IDI_TRAY_BUSY, kBusyTitle));
    Report(ev::CycleEnded{});
    EXPECT_TRUE(Shows(IDI_TRAY_IDLE, QStringLiteral("Nimbrel Ravlet")));
    // The worker's report returns at once; the UI thread shows it when it looks.
    std::thread worker([&] { Report(ev::CycleStarted{}); });
    worker.join();
    EXPECT_TRUE(Shows(IDI_TRAY_BUSY, kBusyTitle));
}

TEST_F(NoTray, TitleAndIconCarryTheAttentionStateToo)
{
    const QString src = tmp.filePath(QStringLiteral("src/"));
    ASSERT_TRUE(QDir().mkpath(src));
    QFile wav(src + "a.wav");
    ASSERT_TRUE(wav.open(QIODevice::WriteOnly) && wav.write("a") == 1);
    wav.close();
    profile.strings[{"Source Directories", "Dir1"}] = src.toStdString();
    profile.strings[{"Source Directories", "Ext1"}] = "wav";
    CEndpoints nowhere;  // nothing listens on port 1: the service is unreachable at once
    nowhere.httpOrigin = nowhere.httpsOrigin = nowhere.httpBareOrigin = "http://127.0.0.1:1";
    nowhere.ftpHost = "127.0.0.1:1";
    Start(nowhere);
    frame->OnTransferNow();
    const QString title =
        QStringLiteral("Nimbrel Ravlet - Service not answering; files wait for it.");
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->windowTitle() == title; }, 10000))
        << frame->windowTitle().toStdString();
    EXPECT_TRUE(WindowIconIs(IDI_TRAY_ATTENTION));
}

TEST_F(NoTray, StateChangesOfBothThreadsAtOnceNeverDeadlock)
{
    Start();
    // A tick during a cycle shows the state on the UI thread while the worker reports.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 3000; ++i)
            Report(i % 2 ? CAgentEvent(ev::CycleEnded{}) : CAgentEvent(ev::CycleStarted{}));
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 60000) {
        frame->OnCommand(ID_CHANGE_TRAY_ICON);
        QCoreApplication::processEvents();
    }
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_TRUE(Shows(IDI_TRAY_IDLE, QStringLiteral("Nimbrel Ravlet")));  // the last report
}

TEST_F(NoTray, ATrayThatAppearsLaterTakesOverAndOneThatGoesGivesTheWindowBack)
{
    std::atomic<bool> trayUp{false};
    area.availabilityProbe = [&] { return trayUp.load(); };
    Start();
    Report(ev::CycleStarted{});
    ASSERT_TRUE(Shows(IDI_TRAY_BUSY, kBusyTitle));
    ASSERT_TRUE(Reachable());

    trayUp = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->isVisible(); }, 8000));
    EXPECT_TRUE(area.IsShown());
    EXPECT_FALSE(VisibleBar().contains(QStringLiteral("&Exit")));  // the tray menu has it
    EXPECT_EQ(frame->TrayIcon().Record().hIcon, IDI_TRAY_BUSY);    // the state at once, no wait
    EXPECT_STREQ(frame->TrayIcon().Record().szTip, "Orbidex - Connected. Pease Wait...");
    // The title is plain again; the icon in the task bar still says what the tray says.
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Nimbrel Ravlet"));
    EXPECT_TRUE(WindowIconIs(IDI_TRAY_BUSY));
    frame->close();
    EXPECT_FALSE(frame->isVisible());  // with a tray, the close box hides as it always did

    trayUp = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->isVisible(); }, 8000));
    EXPECT_TRUE(Reachable());
    EXPECT_TRUE(VisibleBar().contains(QStringLiteral("&Exit")));
    EXPECT_EQ(frame->windowTitle(), kBusyTitle);
    EXPECT_TRUE(WindowIconIs(IDI_TRAY_BUSY));
}

TEST_F(NoTray, AWindowTheUserOpenedStaysOpenWhenATrayAppears)
{
    std::atomic<bool> trayUp{false};
    area.availabilityProbe = [&] { return trayUp.load(); };
    Start();
    frame->OnOpenWindow();
    trayUp = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return area.IsShown(); }, 8000));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Nimbrel Ravlet"));
}

TEST_F(NoTray, WithATrayFromTheStartOnlyTheWindowsIconFollowsTheState)
{
    area.availabilityProbe = [] { return true; };
    Start();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(area.IsShown());
    EXPECT_EQ(VisibleBar(), (QStringList{"&Configuration", "Transfer Now!!!", "&Pause automatic sending",
                                         "&Recent activity", "&Help"}));
    Report(ev::CycleStarted{});
    EXPECT_TRUE(Shows(IDI_TRAY_BUSY, QStringLiteral("Nimbrel Ravlet")));
    EXPECT_EQ(frame->TrayIcon().Record().hIcon, IDI_TRAY_BUSY);
    frame->OnOpenWindow();
    frame->close();
    EXPECT_FALSE(frame->isVisible());
}

namespace {
struct EventCount : QObject {
    std::map<QEvent::Type, int> seen;
    bool eventFilter(QObject*, QEvent* e) override
    {
        ++seen[e->type()];
        return false;
    }
};
}  // namespace

TEST_F(NoTray, AChangeOfStateRepaintsNothingAndSetsTheIconOnlyWhenItDiffers)
{
    Start();
    QCoreApplication::processEvents();
    EventCount count;
    frame->installEventFilter(&count);
    for (int i = 0; i < 10; ++i) {
        Report(i % 2 ? CAgentEvent(ev::CycleEnded{}) : CAgentEvent(ev::CycleStarted{}));
        ASSERT_TRUE(Shows(i % 2 ? IDI_TRAY_IDLE : IDI_TRAY_BUSY,
                          i % 2 ? QStringLiteral("Nimbrel Ravlet") : kBusyTitle));
    }
    Report(ev::ServiceDown{});
    ASSERT_TRUE(Shows(IDI_TRAY_ATTENTION,
                      QStringLiteral("Nimbrel Ravlet - Service not answering; files wait for it.")));
    Report(ev::LoginRefused{});  // a second problem: another tip, the same icon
    EXPECT_TRUE(Shows(IDI_TRAY_ATTENTION,
                      QStringLiteral("Nimbrel Ravlet - 2 problems. Service not answering; files "
                                     "wait for it.")));
    EXPECT_EQ(count.seen[QEvent::Paint], 0);  // the window manager draws the title here
    EXPECT_EQ(count.seen[QEvent::WindowIconChange], 11);
}

TEST_F(NoTray, TheTrayWatchLooksOftenForAMinuteOnlyWithoutATrayAtStartOrAfterAChange)
{
    std::atomic<bool> trayUp{false};
    area.availabilityProbe = [&] { return trayUp.load(); };
    Start();
    auto* watch = frame->findChild<QTimer*>(QStringLiteral("trayWatch"));
    ASSERT_NE(watch, nullptr);
    const auto look = [&] { QMetaObject::invokeMethod(watch, "timeout"); };
    for (int i = 1; i < 20; ++i) look();
    EXPECT_EQ(watch->interval(), 3000);
    look();
    EXPECT_EQ(watch->interval(), 60000);
    trayUp = true;
    look();
    EXPECT_TRUE(area.IsShown());
    EXPECT_EQ(watch->interval(), 3000);  // a panel that has just come may go again

    // With a tray from the start the watch only looks seldom.
    frame.reset();
    Start();
    EXPECT_EQ(frame->findChild<QTimer*>(QStringLiteral("trayWatch"))->interval(), 60000);
}
