// StatusNotifierItem trays. A left click is one activation, never a double click: a minimal
// watcher on a private message bus takes the icon's registration and activates it, as a click
// would. The menu: Xfce's panel, a real tray host, on a bus of its own, shows the agent's menu
// over DBusMenu; the test reads it as the panel does and chooses Exit.
#include "support/AgentProcess.h"
#include "support/DialogAnswers.h"
#include "support/FakeService.h"
#include "ui/MainFrame.h"
#include "platform/QtProfileStore.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
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

QString StartAndReadLine(QProcess& p, const QString& program, const QStringList& args);
void Stop(QProcess& p);

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
    services.profile = &profile;
    services.internet = &net;
    services.logPath = tmp.filePath(QStringLiteral("Orbidex.log")).toStdString();
    CMainFrame frame(services);  // the desktop's own notification area: Qt's, on this bus
    ASSERT_TRUE(frame.LoadFrame());
    frame.show();
    ASSERT_TRUE(PumpUntil([&] { return frame.m_nTimerPeriod != 0; }));
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

// One entry of a DBusMenu layout: its label ("-" for a separator) and its id.
struct CMenuEntry {
    QString label;
    int id;
};

void ReadLayout(const QDBusArgument& node, std::vector<CMenuEntry>& out, bool root)
{
    int id = 0;
    QVariantMap props;
    node.beginStructure();
    node >> id >> props;
    if (!root && props.value(QStringLiteral("visible"), true).toBool())
        out.push_back({props.value(QStringLiteral("type")) == QStringLiteral("separator")
                           ? QStringLiteral("-")
                           : props.value(QStringLiteral("label")).toString(),
                       id});
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        ReadLayout(qvariant_cast<QDBusArgument>(child.variant()), out, false);
    }
    node.endArray();
    node.endStructure();
}

QVariant Property(QDBusConnection& bus, const QString& service, const QString& path,
                  const QString& iface, const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << iface << name;
    const QDBusMessage reply = bus.call(get);
    return reply.arguments().isEmpty()
               ? QVariant()
               : qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
}

TEST(StatusNotifierTray, XfcePanelShowsTheMenuAndItsExitEndsTheAgent)
{
    if (!g_skip.isEmpty())
        GTEST_SKIP() << g_skip.toStdString();
    const QString panelProgram = QStandardPaths::findExecutable(QStringLiteral("xfce4-panel"));
    if (panelProgram.isEmpty())
        GTEST_SKIP() << "xfce4-panel missing (tools/setup installs it)";
    QProcess dbus;
    QProcess panel;
    struct StopAll {
        QProcess& a;
        QProcess& b;
        ~StopAll()
        {
            Stop(a);
            Stop(b);
        }
    } stop{panel, dbus};
    const QString address = StartAndReadLine(
        dbus, QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")),
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    ASSERT_FALSE(address.isEmpty());
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("panel"));
    ASSERT_TRUE(bus.isConnected());

    CAgentHome home;  // a fresh home: the panel starts with its default layout and tray
    home.SetEnv("DBUS_SESSION_BUS_ADDRESS", address);
    home.SetEnv("DISPLAY", qEnvironmentVariable("DISPLAY"));
    home.SetEnv("QT_QPA_PLATFORM", QStringLiteral("xcb"));
    panel.setProcessEnvironment(home.Env());
    panel.setStandardOutputFile(QProcess::nullDevice());
    panel.setStandardErrorFile(QProcess::nullDevice());  // warnings of a session it lacks
    panel.start(panelProgram, {QStringLiteral("--disable-wm-check")});
    // Qt takes an XEmbed tray when the watcher is not there yet.
    ASSERT_TRUE(PumpUntil(
        [&] { return bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")); },
        20000)) << "the panel's tray did not come up";

    home.SaveConfiguration();
    QProcess* agent = home.Start(QStringLiteral(ORBIDEX_AGENT), {});
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QStringList items;
    ASSERT_TRUE(PumpUntil([&] {
        items = Property(bus, watcher, QStringLiteral("/StatusNotifierWatcher"), watcher,
                         QStringLiteral("RegisteredStatusNotifierItems"))
                    .toStringList();
        return !items.isEmpty();
    })) << "the agent's icon did not reach the panel";
    // "name" or "name/path", as the item registered itself.
    const QString item = items.first().section(QLatin1Char('/'), 0, 0);
    const QString itemPath = items.first().contains(QLatin1Char('/'))
                                 ? QLatin1Char('/') + items.first().section(QLatin1Char('/'), 1)
                                 : QStringLiteral("/StatusNotifierItem");
    const QString menuPath = qvariant_cast<QDBusObjectPath>(
                                 Property(bus, item, itemPath,
                                          QStringLiteral("org.kde.StatusNotifierItem"),
                                          QStringLiteral("Menu")))
                                 .path();
    ASSERT_FALSE(menuPath.isEmpty());
    ASSERT_NE(menuPath, QStringLiteral("/NO_DBUSMENU"));

    const QString dbusmenu = QStringLiteral("com.canonical.dbusmenu");
    QDBusMessage get =
        QDBusMessage::createMethodCall(item, menuPath, dbusmenu, QStringLiteral("GetLayout"));
    get << 0 << -1 << QStringList();
    const QDBusMessage layout = bus.call(get);
    ASSERT_EQ(layout.arguments().size(), 2) << layout.errorMessage().toStdString();
    std::vector<CMenuEntry> entries;
    ReadLayout(qvariant_cast<QDBusArgument>(layout.arguments().at(1)), entries, true);
    QStringList labels;
    for (const CMenuEntry& e : entries) labels << e.label;
    // The panel draws "_" as the underlined mnemonic.
    ASSERT_EQ(labels, (QStringList{"_Open", "_Configuration", "Transfer Now!!!", "-", "F1 _Help",
                                   "_About Orbidex...", "_Exit"}));

    QDBusMessage click =
        QDBusMessage::createMethodCall(item, menuPath, dbusmenu, QStringLiteral("Event"));
    click << entries.back().id << QStringLiteral("clicked")
          << QVariant::fromValue(QDBusVariant(QString())) << 0u;
    bus.call(click);
    const CRun end = CAgentHome::Wait(agent);
    EXPECT_EQ(end.code, 0) << end.err.toStdString();
    QFile log(home.Path("Orbidex.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("* * * SHUTDOWN * * *"));
}

// Starts `program args`, returning the first line it prints, or nothing.
QString StartAndReadLine(QProcess& p, const QString& program, const QStringList& args)
{
    p.start(program, args);
    QDeadlineTimer due(10000);
    while (!p.canReadLine() && !due.hasExpired())
        if (!p.waitForReadyRead(100) && p.state() == QProcess::NotRunning)
            break;
    return QString::fromUtf8(p.readLine()).trimmed();
}

void Stop(QProcess& p)
{
    if (p.state() != QProcess::NotRunning) {
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(3000);
        }
    }
}

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
        g_busAddress = StartAndReadLine(dbus, daemon,
                                        {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                         QStringLiteral("--print-address")});
        const QString display =
            StartAndReadLine(xvfb, xserver,
                             {QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (g_busAddress.isEmpty() || display.isEmpty()) {
            g_skip = QStringLiteral("could not start a private bus and X server");
        } else {
            qputenv("DBUS_SESSION_BUS_ADDRESS", g_busAddress.toLocal8Bit());
            qputenv("DISPLAY", ":" + display.toLocal8Bit());
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
