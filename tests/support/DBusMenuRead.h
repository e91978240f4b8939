#pragma once
// Reading a StatusNotifierItem and its DBusMenu menu as a tray host does.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

inline QVariantList Call(QDBusConnection& bus, const QString& service, const QString& path,
                  const char* iface, const char* method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, QLatin1String(iface),
                                                       QLatin1String(method));
    call.setArguments(args);
    // Events turn meanwhile: the item may live in this very process (its thread answers).
    return bus.call(call, QDBus::BlockWithGui).arguments();
}

inline QVariant Property(QDBusConnection& bus, const QString& service, const QString& path,
                  const char* iface, const char* name)
{
    const QVariantList reply = Call(bus, service, path, "org.freedesktop.DBus.Properties", "Get",
                                    {QLatin1String(iface), QLatin1String(name)});
    return reply.isEmpty() ? QVariant() : qvariant_cast<QDBusVariant>(reply[0]).variant();
}

// The labels ("-" for a separator) and ids of a DBusMenu layout's items, depth first.
inline void ReadLayout(const QDBusArgument& node, QStringList& labels, QList<int>& ids)
{
    int id = 0;
    QVariantMap props;
    node.beginStructure();
    node >> id >> props;
    if (id != 0 && props.value(QStringLiteral("visible"), true).toBool()) {
        const bool separator = props.value(QStringLiteral("type")) == QStringLiteral("separator");
        labels << (separator ? QStringLiteral("-") : props.value(QStringLiteral("label")).toString());
        ids << id;
    }
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        ReadLayout(qvariant_cast<QDBusArgument>(child.variant()), labels, ids);
    }
    node.endArray();
    node.endStructure();
}

// The items registered with the bus's StatusNotifierWatcher: their bus names.
inline QStringList RegisteredItems(QDBusConnection& bus)
{
    QStringList names;
    for (const QString& item :
         Property(bus, QStringLiteral("org.kde.StatusNotifierWatcher"),
                  QStringLiteral("/StatusNotifierWatcher"), "org.kde.StatusNotifierWatcher",
                  "RegisteredStatusNotifierItems")
             .toStringList())
        // "name/path" (Plasma, Xfce) or "name@/path" (GNOME's extension), or a bare name.
        names << item.section(QLatin1Char('/'), 0, 0).section(QLatin1Char('@'), 0, 0);
    return names;
}

// The menu of `item` as labels ("-" for a separator), with their ids; empty without one.
inline QStringList MenuLabels(QDBusConnection& bus, const QString& item, QList<int>* ids = nullptr)
{
    const QString menu = qvariant_cast<QDBusObjectPath>(
                             Property(bus, item, QStringLiteral("/StatusNotifierItem"),
                                      "org.kde.StatusNotifierItem", "Menu"))
                             .path();
    if (menu.isEmpty() || menu == QLatin1String("/NO_DBUSMENU"))
        return {};
    const QVariantList layout =
        Call(bus, item, menu, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
    QStringList labels;
    QList<int> found;
    if (layout.size() == 2)
        ReadLayout(qvariant_cast<QDBusArgument>(layout[1]), labels, found);
    if (ids)
        *ids = found;
    return labels;
}
