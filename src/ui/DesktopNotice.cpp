#include "ui/DesktopNotice.h"

#ifdef ORBIDEX_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>
#endif

bool ShowDesktopNotice(const QString& title, const QString& text)
{
#ifdef ORBIDEX_HAVE_DBUS
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    // Asking the bus is quick; a call to a service that is not there could wait for its
    // activation, and the UI thread must not.
    if (!bus.interface()->isServiceRegistered(service).value())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    call << title << 0u << QStringLiteral("dialog-warning") << title << text << QStringList()
         << QVariantMap() << -1;
    return bus.send(call);
#else
    Q_UNUSED(title);
    Q_UNUSED(text);
    return false;
#endif
}
