// A StatusNotifierItem tray sends one activation for a left click, never a double click. The
// test is that tray: a private message bus, an X server for Qt's tray code, and a minimal
// watcher that takes the icon's registration and then activates it, as a click would.
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
        g_skip = QStringLiteral("Xvfb missing (tools/setup --gui installs it)");
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
