#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

QString PrivateRuntimeFolder(QString* why)
{
    const char* env = std::getenv("XDG_RUNTIME_DIR");
    const bool fromEnv = env && *env;
    QByteArray dir = fromEnv ? QByteArray(env) : QByteArray();
    int made = 0;
    if (!fromEnv) {
        const char* tmp = std::getenv("TMPDIR");
        dir = (tmp && *tmp == '/' ? QByteArray(tmp) : QByteArray("/tmp")) + "/orbidex-" +
              QByteArray::number(static_cast<qulonglong>(geteuid()));
        // As tmux and ssh-agent do: make it, then check whatever is there.
        if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
            made = errno;
    }
    const QString shown = QString::fromLocal8Bit(dir);
    const QString fix =
        fromEnv ? QStringLiteral("Set XDG_RUNTIME_DIR to a folder of yours with mode 0700.")
                : QStringLiteral(
                      "Remove it, or set XDG_RUNTIME_DIR to a folder of "
                      "yours with mode 0700.");
    struct stat st {};
    QString problem;
    if (::lstat(dir.constData(), &st) != 0)
        problem = QString::fromLocal8Bit(std::strerror(made ? made : errno));
    else if (!S_ISDIR(st.st_mode))
        problem = QStringLiteral("it is not a folder");
    else if (st.st_uid != geteuid())
        problem = QStringLiteral("it belongs to another user");
    else if ((st.st_mode & 077) != 0)
        problem = QStringLiteral("other users may open it (mode %1)")
                      .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
    if (problem.isEmpty())
        return shown;
    if (why)
        *why = QStringLiteral("Orbidex cannot use its runtime folder %1: %2. %3")
                   .arg(shown, problem, fix);
    return {};
}

namespace {
// Anything but a plain file at the lock's name (a link, a folder) would let the lock be taken
// elsewhere, or not at all, and a second agent start: refused, with what to do.
QString NotAPlainFile(const QString& path)
{
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if (path.isEmpty() || ::lstat(name.constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return QStringLiteral("Orbidex cannot use its lock %1: it is not a plain file (%2). "
                          "Remove it.")
        .arg(path, S_ISLNK(st.st_mode) ? QStringLiteral("a symbolic link") : QStringLiteral("not a file"));
}
}  // namespace

CSingleInstance::CSingleInstance(const QString& name)
{
    const QString dir = PrivateRuntimeFolder(&m_error);
    // A refused folder gets no lock at all: Acquire then refuses the start.
    m_path = dir.isEmpty() ? QString() : QDir(dir).filePath(name + QStringLiteral(".lock"));
    if (m_error.isEmpty())
        m_error = NotAPlainFile(m_path);
    m_lock = std::make_unique<QLockFile>(m_path);
    // A holder that stopped answering is still a holder: never break a live lock on age.
    m_lock->setStaleLockTime(0);
}

CSingleInstance::~CSingleInstance() = default;


bool CSingleInstance::Acquire()
{
    if (!m_error.isEmpty())
        return false;
    // tryLock removes a lock whose process no longer exists (QLockFile checks the PID).
    if (m_lock->tryLock(0))
        return true;
    // Only a live holder refuses the start. A lock that cannot be made at all (no runtime
    // folder, no permission) must not keep the agent from running.
    return m_lock->error() != QLockFile::LockFailedError;
}

bool CSingleInstance::IsHeld() const
{
    if (!m_error.isEmpty())
        return false;
    qint64 pid = 0;
    QString host;
    QString app;
    if (!m_lock->getLockInfo(&pid, &host, &app))
        return false;
    // A lock left by a process that died is no holder (the next start takes it over).
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}
