#include "platform/SingleInstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

CSingleInstance::CSingleInstance(const QString& name)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    m_path = QDir(dir).filePath(name + QStringLiteral(".lock"));
    m_lock = std::make_unique<QLockFile>(m_path);
    // A holder that stopped answering is still a holder: never break a live lock on age.
    m_lock->setStaleLockTime(0);
}

CSingleInstance::~CSingleInstance() = default;

bool CSingleInstance::Acquire()
{
    // tryLock removes a lock whose process no longer exists (QLockFile checks the PID).
    if (m_lock->tryLock(0))
        return true;
    // Only a live holder refuses the start. A lock that cannot be made at all (no runtime
    // folder, no permission) must not keep the agent from running.
    return m_lock->error() != QLockFile::LockFailedError;
}

bool CSingleInstance::IsHeld() const
{
    qint64 pid = 0;
    QString host;
    QString app;
    if (!m_lock->getLockInfo(&pid, &host, &app))
        return false;
#ifdef Q_OS_UNIX
    // A lock left by a process that died is no holder (the next start takes it over).
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
#else
    return pid > 0;
#endif
}
