#include "platform/KeychainSecretStore.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

#ifdef ORBIDEX_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#endif

namespace {
// Runs a job to its end. User input waits meanwhile: a click must not open a second dialog
// while the keyring still has the first one's password.
void RunToEnd(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Whether a keyring service is on the session bus, running or startable: without one a failure
// means "no keyring", with one it means "not answered yet".
bool KeyringReachable()
{
#ifdef ORBIDEX_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QStringList startable = bus.interface()->activatableServiceNames().value();
    for (const char* name : {"org.freedesktop.secrets", "org.kde.kwalletd5", "org.kde.kwalletd6"}) {
        const QString service = QString::fromLatin1(name);
        if (bus.interface()->isServiceRegistered(service).value() || startable.contains(service))
            return true;
    }
    return false;
#else
    return true;
#endif
}

// A missing back end, or no keyring service at all, means there is no keyring. Anything else (a
// dismissed unlock prompt, a denial, KWallet's NoReply while its first-run wizard is open) is
// a keyring that has not answered yet.
ISecretStore::Result Failed(const QKeychain::Job& job, std::string& lastError)
{
    lastError = job.errorString().toStdString();
    const bool none = job.error() == QKeychain::NoBackendAvailable ||
                      job.error() == QKeychain::NotImplemented || !KeyringReachable();
    return none ? ISecretStore::Result::Unavailable : ISecretStore::Result::Locked;
}

// libsecret answers "not found" for an entry it could not unlock (the prompt dismissed, or no
// prompt could be shown): the Secret Service itself says whether a matching entry is there but
// locked. Entries are filed under the attributes the keychain library gives them.
bool LockedAway(const QString& service, const QString& account)
{
#ifdef ORBIDEX_HAVE_DBUS
    using Attributes = QMap<QString, QString>;
    static const QMetaType registered = qDBusRegisterMetaType<Attributes>();
    (void)registered;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    call << QVariant::fromValue(
        Attributes{{QStringLiteral("server"), service}, {QStringLiteral("user"), account}});
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return false;
    return !qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(1)).isEmpty();
#else
    (void)service;
    (void)account;
    return false;
#endif
}
}  // namespace

CKeychainSecretStore::CKeychainSecretStore(QString service) : m_service(std::move(service)) {}

ISecretStore::Result CKeychainSecretStore::Read(const std::string& account, std::string& secret)
{
    QKeychain::ReadPasswordJob job(m_service);
    job.setKey(QString::fromStdString(account));
    RunToEnd(job);
    if (job.error() == QKeychain::NoError) {
        secret = job.textData().toStdString();
        return Result::Ok;
    }
    if (job.error() == QKeychain::EntryNotFound) {
        if (!LockedAway(m_service, QString::fromStdString(account)))
            return Result::NotFound;
        m_lastError = "the keyring is locked";
        return Result::Locked;
    }
    return Failed(job, m_lastError);
}

ISecretStore::Result CKeychainSecretStore::Write(const std::string& account,
                                                 const std::string& secret)
{
    QKeychain::WritePasswordJob job(m_service);
    job.setKey(QString::fromStdString(account));
    job.setTextData(QString::fromStdString(secret));
    RunToEnd(job);
    if (job.error() == QKeychain::NoError)
        return Result::Ok;
    return Failed(job, m_lastError);
}

ISecretStore::Result CKeychainSecretStore::Remove(const std::string& account)
{
    QKeychain::DeletePasswordJob job(m_service);
    job.setKey(QString::fromStdString(account));
    RunToEnd(job);
    if (job.error() == QKeychain::NoError)
        return Result::Ok;
    if (job.error() == QKeychain::EntryNotFound)
        return Result::NotFound;
    return Failed(job, m_lastError);
}
