#include "ui/DesktopNotice.h"

#include "ui/Resources.h"

#include <QFileInfo>

#ifdef ORBIDEX_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#endif

namespace {
const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
}  // namespace

CDesktopNotices::CDesktopNotices(QObject* parent) : QObject(parent) {}

bool CDesktopNotices::ServerRuns()
{
#ifdef ORBIDEX_HAVE_DBUS
    // No session bus to find: asking for one would start Qt's bus thread and an X11 autolaunch
    // for nothing (a headless session, a bare window manager).
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(runtime + "/bus"))))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    // Asking the bus is quick; a call to a service that is not there could wait for its
    // activation, and the UI thread must not.
    if (!bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value())
        return false;
    if (!m_connected) {
        m_connected = true;
        bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                    QString::fromLatin1(kService), QStringLiteral("ActionInvoked"), this,
                    SLOT(OnAction(uint, QString)));
        bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                    QString::fromLatin1(kService), QStringLiteral("NotificationClosed"), this,
                    SLOT(OnClosed(uint, uint)));
    }
    return true;
#else
    return false;
#endif
}

namespace {
const QString kArrivalKey = QStringLiteral("arrival");
}  // namespace

void CDesktopNotices::Open(const QString& key, const QString& text, const CNoticeFix& fix)
{
    QStringList actions{QStringLiteral("default"), QStringLiteral("Open Orbidex")};
    if (fix.run) {
        m_fixes.insert(key, fix.run);
        actions << QStringLiteral("fix") << fix.label;
    } else {
        m_fixes.remove(key);
    }
    Notify(key, text, actions, QStringLiteral("dialog-warning"));
}

void CDesktopNotices::Arrived(const QString& text)
{
    Notify(kArrivalKey, text,
           // Servers that draw the default action as a button (Xfce's) would show it twice.
           {QStringLiteral("default"), QStringLiteral("Show list"), QStringLiteral("open"),
            QStringLiteral("Open")},
           QStringLiteral("document-open"));
}

void CDesktopNotices::Notify(const QString& key, const QString& text, const QStringList& actions,
                             const QString& icon)
{
    const QString title = QString::fromLatin1(kAppTitle);
    if (!ServerRuns()) {
        if (balloon)
            balloon(title, text);
        return;
    }
#ifdef ORBIDEX_HAVE_DBUS
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kService),
        QStringLiteral("Notify"));
    const uint replaces = m_ids.value(key, 0);
    call << title << replaces << icon << title << text << actions
         << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)}} << -1;
    m_pending.insert(key);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        const bool wanted = m_pending.remove(key);
        if (reply.isError())
            return;
        if (wanted)
            m_ids.insert(key, reply.value());
        else  // closed while the server was still answering
            QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
                QString::fromLatin1(kService), QString::fromLatin1(kPath),
                QString::fromLatin1(kService), QStringLiteral("CloseNotification"))
                << reply.value());
    });
#else
    Q_UNUSED(key);
    Q_UNUSED(actions);
    Q_UNUSED(icon);
#endif
}

void CDesktopNotices::Close(const QString& key)
{
    m_pending.remove(key);
    m_fixes.remove(key);
    const uint id = m_ids.take(key);
    if (id == 0)
        return;
#ifdef ORBIDEX_HAVE_DBUS
    QDBusConnection::sessionBus().send(
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kService),
                                       QStringLiteral("CloseNotification"))
        << id);
#endif
}

void CDesktopNotices::OnAction(uint id, const QString& action)
{
    const QString key = m_ids.key(id);
    if (key.isEmpty())
        return;
    std::function<void()> run;
    if (key == kArrivalKey)
        run = action == QLatin1String("open") ? onOpenArrival : onShowList;
    else if (action == QLatin1String("fix"))
        run = m_fixes.value(key);
    else if (action == QLatin1String("default"))
        run = onOpenWindow;
    if (run)
        run();
}

void CDesktopNotices::OnClosed(uint id, uint)
{
    for (auto it = m_ids.begin(); it != m_ids.end(); ++it)
        if (it.value() == id) {
            m_ids.erase(it);
            return;
        }
}
