// StatusNotifierItem trays. A left click is one activation, never a double click: a minimal
// watcher on a private message bus takes the icon's registration and activates it, as a click
// would. The menu: Xfce's panel, a real tray host, on a bus of its own, shows the agent's menu
// over DBusMenu; the test reads it as the panel does and chooses Exit.
#include "support/AgentProcess.h"
#include "support/ChildProcess.h"
#include "support/DBusMenuRead.h"
#include "support/DialogAnswers.h"
#include "support/FakeService.h"
#include "ui/MainFrame.h"
#include "platform/QtProfileStore.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QMutex>
#include <QProcess>
#include <QThread>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString g_busAddress;
QString g_skip;  // why the test cannot run here

class CTestWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
    Q_PROPERTY(int ProtocolVersion READ Protocol)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ Items)
public:
    bool HostRegistered() const { return true; }
    int Protocol() const { return 0; }
    QStringList Items() const
    {
        QMutexLocker hold(&m_lock);
        return m_items;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service)
    {
        // An item gives its bus name (Qt does), or only an object path on the sender's name.
        QMutexLocker hold(&m_lock);
        m_items << (service.startsWith(QLatin1Char('/')) ? message().service() : service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    mutable QMutex m_lock;
    QStringList m_items;
};

TEST(StatusNotifierTray, ALeftClickOpensTheWindow)
{
    if (!g_skip.isEmpty())
        GTEST_SKIP() << g_skip.toStdString();
    QDBusConnection bus = QDBusConnection::connectToBus(g_busAddress, QStringLiteral("watcher"));
    ASSERT_TRUE(bus.isConnected());
    // Qt asks the watcher synchronously from the UI thread: it answers from its own thread.
    QThread watcherThread;
    CTestWatcher watcher;
    watcher.moveToThread(&watcherThread);
    watcherThread.start();
    struct Join {
        QThread& t;
        ~Join()
        {
            t.quit();
            t.wait();
        }
    } join{watcherThread};
    ASSERT_TRUE(
        bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

    CDialogAnswers answers;  // the first start's Configuration dialog is cancelled
    answers.OnMessageBox([](const QString&, const QString&) {});
    QTemporaryDir tmp;
    CQtProfileStore profile(tmp.filePath(QStringLiteral("p.conf")));
    CFakeService net;
    net.failOpen = true;
    CFrameServices services;
    services.settleMs = 0;
    services.profile = &profile;
    services.internet = &net;
    services.logPath = tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
    CMainFrame frame(services);  // the desktop's own notification area: Qt's, on this bus
    ASSERT_TRUE(frame.LoadFrame());
    frame.show();
    ASSERT_TRUE(PumpUntil([&] { return frame.TimerPeriod() != 0; }));
    ASSERT_TRUE(PumpUntil([&] { return !watcher.Items().isEmpty(); })) << "no item registered";
    EXPECT_FALSE(frame.isVisible());  // a tray is there: the window went to it

    QDBusMessage click = QDBusMessage::createMethodCall(
        watcher.Items().first(), QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    click << 10 << 10;
    bus.asyncCall(click);
    EXPECT_TRUE(PumpUntil([&] { return frame.isVisible() && !frame.isMinimized(); }));
    bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

TEST(StatusNotifierTray, XfcePanelShowsTheMenuAndItsExitEndsTheAgent)
{
    if (!g_skip.isEmpty())
        GTEST_SKIP() << g_skip.toStdString();
    const QString panelProgram = QStandardPaths::findExecutable(QStringLiteral("xfce4-panel"));
    if (panelProgram.isEmpty())
        GTEST_SKIP() << "xfce4-panel missing (tools/setup installs it)";
    QProcess dbus;  // a QProcess kills its process when it goes, should an assertion fail
    QProcess panel;
    const QString address = StartSessionBus(dbus);
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("panel"));
    ASSERT_TRUE(bus.isConnected());
    CAgentHome home;  // a fresh home: the panel starts with its default layout and tray
    home.SetEnv("DBUS_SESSION_BUS_ADDRESS", address);
    home.SetEnv("DISPLAY", qEnvironmentVariable("DISPLAY"));
    home.SetEnv("QT_QPA_PLATFORM", QStringLiteral("xcb"));
    panel.setProcessEnvironment(home.Env());
    panel.setStandardErrorFile(QProcess::nullDevice());  // warnings of a session it lacks
    panel.start(panelProgram, {QStringLiteral("--disable-wm-check")});
    // Qt takes an XEmbed tray when the watcher is not there yet.
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    ASSERT_TRUE(PumpUntil([&] { return bus.interface()->isServiceRegistered(watcher); }, 20000));

    home.SaveConfiguration();
    QProcess* agent = home.Start(QStringLiteral(ORBIDEX_AGENT), {});
    QStringList items;
    ASSERT_TRUE(PumpUntil([&] {
        items = Property(bus, watcher, QStringLiteral("/StatusNotifierWatcher"),
                         "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
                    .toStringList();
        return !items.isEmpty();
    })) << "the agent's icon did not reach the panel";
    const QString item = items.first().section(QLatin1Char('/'), 0, 0);
    const QString menu = qvariant_cast<QDBusObjectPath>(
                             Property(bus, item, QStringLiteral("/StatusNotifierItem"),
                                      "org.kde.StatusNotifierItem", "Menu"))
                             .path();
    ASSERT_NE(menu.toStdString(), "/NO_DBUSMENU");
    const QVariantList layout =
        Call(bus, item, menu, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
    ASSERT_EQ(layout.size(), 2);
    QStringList labels;
    QList<int> ids;
    ReadLayout(qvariant_cast<QDBusArgument>(layout[1]), labels, ids);
    // The panel draws "_" as the underlined mnemonic.
    ASSERT_EQ(labels, (QStringList{"_Open", "_Configuration", "Transfer Now!!!",
                                   "_Pause automatic sending", "_Recent activity",
                                   "Open _download folder", "Open _log", "-", "F1 _Help",
                                   "_About Orbidex...", "_Exit"}));

    Call(bus, item, menu, "com.canonical.dbusmenu", "Event",
         {ids.back(), QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    const CRun end = CAgentHome::Wait(agent);
    EXPECT_EQ(end.code, 0) << end.err.toStdString();
    QFile log(home.Path("Orbidex.log"));
    EXPECT_TRUE(log.open(QIODevice::ReadOnly) && log.readAll().contains("* * * SHUTDOWN * * *"));
    Stop(panel);
    Stop(dbus);
}

// The desktop's notification server as far as the agent uses it.
class CTestNotifier : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    uint Notify(const QString&, uint, const QString&, const QString&, const QString&,
                const QStringList& actions, const QVariantMap&, int)
    {
        lastActions = actions;
        return ++shown;
    }
    void CloseNotification(uint) {}

public:
    QStringList lastActions;
    uint shown = 0;
};

TEST(Notices, AnArrivalNoticeCarriesItsActionsAndEachRunsItsOwn)
{
    if (!g_skip.isEmpty())
        GTEST_SKIP() << g_skip.toStdString();
    QDBusConnection bus = QDBusConnection::connectToBus(g_busAddress, QStringLiteral("notifier"));
    CTestNotifier server;
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    const QString path = QStringLiteral("/org/freedesktop/Notifications");
    ASSERT_TRUE(bus.registerObject(path, &server, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService(name));
    CDesktopNotices notices;
    int opened = 0, listed = 0, window = 0;
    notices.onOpenArrival = [&] { ++opened; };
    notices.onShowList = [&] { ++listed; };
    notices.onOpenWindow = [&] { ++window; };
    notices.Arrived(QStringLiteral("2 documents arrived: a.rtf, b.rtf"));
    ASSERT_TRUE(PumpUntil([&] { return server.shown == 1; }));
    EXPECT_EQ(server.lastActions, (QStringList{"default", "Show list", "open", "Open"}));
    // Each action as the server reports it; another application's notice is none of ours.
    for (const auto& [id, action] : {std::pair{1u, "open"}, {1u, "default"}, {7u, "open"}})
        bus.send(QDBusMessage::createSignal(path, name, QStringLiteral("ActionInvoked"))
                 << id << QString::fromLatin1(action));
    EXPECT_TRUE(PumpUntil([&] { return opened + listed >= 2; }));
    QThread::msleep(200);
    QCoreApplication::processEvents();
    EXPECT_EQ(std::tuple(opened, listed, window), std::tuple(1, 1, 0));
    bus.unregisterService(name);
}

// Starts `program args`, returning the first line it prints, or nothing.
}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Before the application exists: Qt reads the display and the bus address once.
    QProcess dbus;
    QProcess xvfb;
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    const QString xserver = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (daemon.isEmpty()) {
        g_skip = QStringLiteral("dbus-daemon missing (tools/setup installs it)");
    } else if (xserver.isEmpty()) {
        g_skip = QStringLiteral("Xvfb missing (tools/setup installs it)");
    } else {
        g_busAddress = StartSessionBus(dbus);
        const QString display = StartXvfb(xvfb);
        if (g_busAddress.isEmpty() || display.isEmpty()) {
            g_skip = QStringLiteral("could not start a private bus and X server");
        } else {
            qputenv("DBUS_SESSION_BUS_ADDRESS", g_busAddress.toLocal8Bit());
            qputenv("DISPLAY", display.toLocal8Bit());
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
    }
    int rc = 0;
    {
        // Without the X server, the test skips; the application still needs a platform.
        if (!g_skip.isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        rc = RUN_ALL_TESTS();
    }
    Stop(xvfb);
    Stop(dbus);
    return rc;
}

#include "sni_test.moc"
