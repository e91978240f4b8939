#include "core/cycle/Automation.h"
#include "ui/Resources.h"
#include "core/settings/Settings.h"
#include "platform/QtProfileStore.h"
#include "support/EmulatorSuite.h"
#include "support/Files.h"
#include "support/wav_util.h"
#include "ui/MainFrame.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/SourceDir.h"
#include "ui/wayland/Weston.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>
#include <optional>

// The agent's window and Configuration dialog on a real Wayland compositor with no seat, the
// kind of session in which Qt 6.4 crashed painting the dialog's first box.

using orbidex::test::ServiceEmulator;

namespace {
std::string g_skip;     // weston or the plugin is missing
std::string g_failure;  // weston is there but did not start

class WaylandAgent : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!g_skip.empty())
            GTEST_SKIP() << g_skip;
        ASSERT_TRUE(g_failure.empty()) << g_failure;
        ASSERT_TRUE(tmp.isValid());
        emu.emplace();
        emu->addAuthor("ab12", "secret");
        src = tmp.filePath(QStringLiteral("src")).toStdString() + "/";
        QDir().mkpath(QString::fromStdString(src));
        WriteText(src + "letter.rtf", "{\\rtf1 Dear Sir}");
        profile = std::make_unique<CQtProfileStore>(tmp.filePath(QStringLiteral("p.conf")));
        internet = CreateInternet(emu->caFile());
    }
    void Start()
    {
        CFrameServices services;
        services.settleMs = 0;
        services.profile = profile.get();
        services.internet = internet.get();
        services.endpoints = orbidex::test::EndpointsFor(*emu);
        services.logPath = LogPath();
        frame = std::make_unique<CMainFrame>(services);
        ASSERT_TRUE(frame->LoadFrame());
        frame->show();
    }
    // Leaves through Exit once the cycle is over; the log ends with the shutdown block.
    void Exit()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->Automation().IsBusy(); }, 10000));
        frame->OnExit();
        frame.reset();
        EXPECT_NE(ReadAll(LogPath()).find("* * * SHUTDOWN * * *"), std::string::npos);
    }
    bool Notified() const { return !emu->records("notifications").isEmpty(); }
    std::string LogPath() const
    {
        return tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
    }

    QTemporaryDir tmp;
    std::optional<ServiceEmulator> emu;
    std::string src;
    std::unique_ptr<CQtProfileStore> profile;
    std::unique_ptr<IInternet> internet;
    std::unique_ptr<CMainFrame> frame;
};

SourceDir* OpenConfiguration()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<SourceDir*>(w); d && d->isVisible())
            return d;
    return nullptr;
}

TEST_F(WaylandAgent, FirstStartShowsConfigurationStaysUpAndSavesIntoACycle)
{
    Start();
    // The dialog runs its own loop: watch it from a timer inside that loop, give it two seconds
    // on screen, then fill it in and Save as a user would.
    SourceDir* dlg = nullptr;
    QElapsedTimer exposed;
    bool saved = false;
    bool focusOnFolder1 = false;
    std::string logWhileOpen;
    QTimer probe;
    probe.setInterval(50);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (saved || !(dlg = OpenConfiguration()) || !dlg->windowHandle()->isExposed())
            return;
        if (!exposed.isValid())
            exposed.start();
        if (exposed.elapsed() < 2000)
            return;
        logWhileOpen = ReadAll(LogPath());
        focusOnFolder1 = dlg->focusWidget() == dlg->Edit(1012);
        dlg->Edit(1012)->setText(QString::fromStdString(src));
        dlg->Edit(1013)->setText(QStringLiteral("rtf"));
        dlg->Edit(1021)->setText(QStringLiteral("ab12"));
        dlg->Edit(1034)->setText(QStringLiteral("secret"));
        dlg->Edit(1024)->setText(QStringLiteral("1"));
        dlg->Check(1033)->setChecked(false);
        saved = true;
        static_cast<QPushButton*>(dlg->GetDlgItem(IDOK))->click();
    });
    probe.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved && Notified(); }, 20000))
        << (dlg ? "the dialog showed but was not saved" : "no Configuration dialog showed");
    EXPECT_NE(logWhileOpen.find("Tolvane's Orbidex Log Initialized"), std::string::npos);
    EXPECT_TRUE(focusOnFolder1);
    const CSettings stored = LoadSettings(*profile);
    EXPECT_EQ(stored.Author, "ab12");
    EXPECT_EQ(stored.Dir[0], src);
    Exit();
}

TEST_F(WaylandAgent, ConfiguredStartRunsACycleInAWindowThatStaysReachable)
{
    CSettings s;
    s.Dir[0] = src;
    s.Ext[0] = "rtf";
    s.Author = "ab12";
    s.Password = "secret";
    s.PollTime = 1;
    SaveSettings(*profile, s);
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Notified(); }, 15000));
    EXPECT_EQ(OpenConfiguration(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->WindowText().contains("letter.rtf"); }, 5000));
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // No tray here: the window is the only way in. Wayland gives no way to restore a
        // minimised window, so neither the start nor the close box may minimise it.
        EXPECT_TRUE(frame->isVisible() && !frame->isMinimized());
        frame->close();
        QTest::qWait(100);
        EXPECT_TRUE(frame->isVisible() && !frame->isMinimized());
    }
    Exit();
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    CWeston weston;
    g_skip = CWeston::Missing();
    if (g_skip.empty())
        g_failure = weston.Start();
    std::optional<QApplication> app;
    if (g_skip.empty() && g_failure.empty()) {
        // Only this compositor: no X display to fall back on, no tray host of the caller's
        // session, and the text-input protocol left to Qt's choice (the crash needed it).
        qputenv("QT_QPA_PLATFORM", "wayland");
        qputenv("WAYLAND_DISPLAY", QByteArray::fromStdString(weston.Socket()));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(weston.RuntimeDir()));
        for (const char* name : {"DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                 "QT_WAYLAND_TEXT_INPUT_PROTOCOL", "QT_WAYLAND_SHELL_INTEGRATION"})
            qunsetenv(name);
        app.emplace(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    const int rc = RUN_ALL_TESTS();
    app.reset();
    weston.Stop();
    return rc;
}
