// The agent on real desktops: GNOME Shell (X11 and headless Wayland, its tray extension) and
// KDE Plasma (X11), each a whole session of its own. The tray icon is an item of the desktop's
// own host with the agent's menu, activating it opens the window, a notice reaches the
// desktop's notification server and clicking it opens the window, and the desktop's keyring
// keeps the password. On GNOME the tray comes after the agent: the extension is switched on
// once the agent runs without one. Run as `desktop_test --desktop=gnome|gnome-wayland|plasma`.
#include "DesktopSession.h"

#include "core/cycle/Automation.h"
#include "ui/Resources.h"
#include "core/settings/Settings.h"
#include "platform/KeychainSecretStore.h"
#include "support/DBusMenuRead.h"
#include "support/DialogAnswers.h"
#include "support/FakeService.h"
#include "support/MemoryProfileStore.h"
#include "ui/MainFrame.h"

#include <QApplication>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QFile>
#include <gtest/gtest.h>

namespace {

CDesktopSession* g_session = nullptr;
QString g_skip;

const QStringList kMenu = {"_Open", "_Configuration", "Transfer Now!!!",
                           "_Pause automatic sending", "_Recent activity",
                           "Open _download folder", "Open _log", "-",
                           "F1 _Help", "_About Orbidex...", "_Exit"};

bool Shown(const QWidget& w)
{
    return w.isVisible() && !w.isMinimized();
}

// The author's click on the agent's notice, until `done` (the window opened). GNOME: its own
// activation of the notice it holds (clicks on the screen race its other banners there);
// Plasma: a click on the popup, above the clock.
bool ClickNoticeUntil(const std::function<bool()>& done)
{
    const QString activate =
        QStringLiteral("(() => { const n = Main.messageTray.getSources().flatMap(s => s.notifications)"
                       ".reverse().find(n => n.title === '%1');"
                       " if (!n) return 'none'; n.activate(); return 'activated'; })()")
            .arg(QString::fromLatin1(kAppTitle));
    QDeadlineTimer due(40000);
    while (!done() && !due.hasExpired()) {
        if (g_session->Desktop() == EDesktop::Plasma)
            g_session->Run(QStringLiteral("xdotool"),
                           {QStringLiteral("mousemove"), QStringLiteral("1100"),
                            QStringLiteral("700"), QStringLiteral("click"), QStringLiteral("1")});
        else
            g_session->ShellEval(activate);
        PumpUntil(done, 400);
    }
    return done();
}

// The first visible window of kwalletd5 other than `not`, or nothing.
QString WalletWindow(const QString& other = QString())
{
    QProcess find;
    find.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                           QStringLiteral("--class"), QStringLiteral("kwalletd5")});
    find.waitForFinished(5000);
    for (const QString& w : QString::fromLatin1(find.readAllStandardOutput()).split('\n'))
        if (!w.isEmpty() && w != other)
            return w;
    return {};
}

// KWallet's first run, as an author goes through it: kwalletd shows the first program that
// asks a wizard for the wallet's kind (classic, not GPG, for which no key exists here), then
// the password twice.
bool MakeWallet()
{
    QDBusMessage open = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.kwalletd5"), QStringLiteral("/modules/kwalletd5"),
        QStringLiteral("org.kde.KWallet"), QStringLiteral("open"));
    open << QStringLiteral("kdewallet") << qlonglong(0) << QStringLiteral("orbidex-test");
    QDBusPendingReply<int> handle = QDBusConnection::sessionBus().asyncCall(open, 60000);
    auto xdotool = [](const QStringList& args) { g_session->Run(QStringLiteral("xdotool"), args); };
    QString wizard;
    PumpUntil([&] { return !(wizard = WalletWindow()).isEmpty() || handle.isFinished(); }, 30000);
    if (!wizard.isEmpty()) {
        PumpUntil([] { return false; }, 500);  // laid out and drawn
        for (const char* at : {"220 166", "360 334"})  // "Classic, blowfish", then Finish
            xdotool(QStringList{QStringLiteral("mousemove"), QStringLiteral("--window"), wizard} +
                    QString::fromLatin1(at).split(' ') +
                    QStringList{QStringLiteral("click"), QStringLiteral("1")});
        QString password;
        PumpUntil([&] { return !(password = WalletWindow(wizard)).isEmpty(); }, 10000);
        if (!password.isEmpty()) {
            const QStringList type = {QStringLiteral("type"), QStringLiteral("--delay"),
                                      QStringLiteral("20"), QStringLiteral("orbidex-test")};
            xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), password});
            xdotool(type);
            xdotool({QStringLiteral("key"), QStringLiteral("Tab")});
            xdotool(type);
            xdotool({QStringLiteral("key"), QStringLiteral("Return")});
        }
    }
    PumpUntil([&] { return handle.isFinished(); }, 30000);
    return handle.isValid() && handle.value() >= 0;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!g_skip.isEmpty())
            GTEST_SKIP() << g_skip.toStdString();
        // A configured agent whose cycle cannot reach the service: a problem to notify.
        QDir(tmp.path()).mkpath(QStringLiteral("src"));
        QFile wav(tmp.filePath(QStringLiteral("src/a.wav")));
        ASSERT_TRUE(wav.open(QIODevice::WriteOnly) && wav.write("RIFF") == 4);
        wav.close();
        profile.strings[{kSectionAuthor, "Author"}] = "ab12";
        profile.strings[{kSectionAuthor, "Password"}] = "secret";
        profile.strings[{kSectionSource, "Dir1"}] = tmp.filePath("src").toStdString() + "/";
        profile.strings[{kSectionSource, "Ext1"}] = "wav";
        profile.ints[{kSectionAuthor, "Show Config"}] = 0;
        net.failOpen = true;
        answers.OnMessageBox([](const QString&, const QString&) {});
        services.profile = &profile;
        services.internet = &net;
        services.logPath = tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
        frame = std::make_unique<CMainFrame>(services);  // Qt's tray, the desktop's notices
        ASSERT_TRUE(frame->LoadFrame());
        frame->show();
        ASSERT_TRUE(PumpUntil([&] { return frame->TimerPeriod() != 0; }));
    }

    QString WaitForItem()
    {
        QStringList items;
        PumpUntil([&] { return !(items = RegisteredItems(bus)).isEmpty(); }, 20000);
        return items.isEmpty() ? QString() : items.first();
    }

    // A connection of its own, as a tray host has: calls on the agent's own connection would be
    // answered inside the process, without the bus's marshalling.
    QDBusConnection bus = QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("host"));
    CDialogAnswers answers;
    QTemporaryDir tmp;
    CMemoryProfileStore profile;
    CFakeService net;
    CFrameServices services;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(Desktop, TrayMenuWindowNoticeAndKeyring)
{
    const bool gnome = g_session->Desktop() != EDesktop::Plasma;
    if (gnome) {
        // No tray yet: the window is the way in, and no item is offered to anybody.
        EXPECT_TRUE(frame->isVisible());
        EXPECT_FALSE(bus.interface()->isServiceRegistered(
            QStringLiteral("org.kde.StatusNotifierWatcher")));
        g_session->EnableTrayExtension(true);
        ASSERT_TRUE(CDesktopSession::WaitForName(QStringLiteral("org.kde.StatusNotifierWatcher")));
    }
    const QString item = WaitForItem();
    ASSERT_FALSE(item.isEmpty()) << "the icon was not registered as an item";
    QList<int> ids;
    EXPECT_EQ(MenuLabels(bus, item, &ids), kMenu);
    EXPECT_TRUE(PumpUntil([&] { return !frame->isVisible(); }))
        << "the window stays out while the tray holds the icon; minimised: "
        << frame->isMinimized();

    // A tray host's click on the icon.
    Call(bus, item, QStringLiteral("/StatusNotifierItem"), "org.kde.StatusNotifierItem",
         "Activate", {10, 10});
    EXPECT_TRUE(PumpUntil([&] { return Shown(*frame); })) << "Activate did not open the window";
    frame->hide();

    {
        frame->StartAutomation();  // fails: the service cannot be reached
        EXPECT_TRUE(ClickNoticeUntil([&] { return Shown(*frame); }))
            << "no notice to click, or clicking it did not open the window";
        ASSERT_TRUE(PumpUntil([&] { return !frame->Automation().IsBusy(); }, 30000));
    }

    if (g_session->Desktop() == EDesktop::Plasma) {
        ASSERT_TRUE(MakeWallet()) << "KWallet's first wallet was not made";
    }
    {
        CKeychainSecretStore keyring;
        ASSERT_EQ(keyring.Write("ab12", "pass word 1"), ISecretStore::Result::Ok)
            << keyring.LastError();
    }
    CKeychainSecretStore again;
    std::string secret;
    EXPECT_EQ(again.Read("ab12", secret), ISecretStore::Result::Ok) << again.LastError();
    EXPECT_EQ(secret, "pass word 1");
    frame.reset();
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    EDesktop desktop = EDesktop::GnomeX11;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--desktop=gnome-wayland")
            desktop = EDesktop::GnomeWayland;
        else if (arg == "--desktop=plasma")
            desktop = EDesktop::Plasma;
    }
    int rc = 0;
    {
        CDesktopSession session(desktop);
        g_session = &session;
        g_skip = session.Start();
        const bool missing = g_skip.contains(QLatin1String("missing"));
        if (!g_skip.isEmpty() && !missing) {
            fprintf(stderr, "the desktop did not start: %s\n%s", qPrintable(g_skip),
                    qPrintable(session.LogTails()));
            return 1;
        }
        if (missing)
            qputenv("QT_QPA_PLATFORM", "offscreen");
        else
            qputenv("QT_QPA_PLATFORM", desktop == EDesktop::GnomeWayland ? "wayland" : "xcb");
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        rc = RUN_ALL_TESTS();
    }
    return rc;
}

