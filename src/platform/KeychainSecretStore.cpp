#include "platform/KeychainSecretStore.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

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
    if (job.error() == QKeychain::EntryNotFound)
        return Result::NotFound;
    m_lastError = job.errorString().toStdString();
    return Result::Unavailable;
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
    m_lastError = job.errorString().toStdString();
    return Result::Unavailable;
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
    m_lastError = job.errorString().toStdString();
    return Result::Unavailable;
}
