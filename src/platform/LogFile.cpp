#include "platform/LogFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr std::size_t kBurstKept = 4u << 20;  // a cycle of thousands of files writes far less
}  // namespace

CLogFile::~CLogFile()
{
    int error = 0;
    if (m_holding)
        EndBurst(&error);  // a quit in the middle of a cycle
    Close();
}

void CLogFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_locked = false;
    m_checked = false;
    m_burst.clear();
}

CLogFile::EResult CLogFile::HoldBetweenLines(bool hold, int* error)
{
    *error = 0;
    const EResult result = m_holding ? EndBurst(error) : EResult::Written;
    m_holding = hold;
    return result;
}

CLogFile::EResult CLogFile::EndBurst(int* error)
{
    if (m_locked) {
        ::flock(m_fd, LOCK_UN);
        m_locked = false;
    }
    m_checked = false;
    std::string lines = std::move(m_burst);
    m_burst.clear();
    struct stat st {};
    if (m_fd < 0 || StillAtPath())
        return EResult::Written;
    // Moved away, the burst's lines are in the moved file; deleted, they are nowhere else.
    const bool deleted = ::fstat(m_fd, &st) == 0 && st.st_nlink == 0;
    Close();
    m_holding = false;
    return deleted && !lines.empty() ? Append(lines, error) : EResult::Written;
}

bool CLogFile::Open(int* error)
{
    // A link at the log's name is someone else's choice of where our lines go (and of what
    // the fchmod below would change): never followed.
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat st {};
    int failure = 0;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        failure = errno != 0 ? errno : EIO;
    else if (!S_ISREG(st.st_mode))
        failure = EINVAL;  // a fifo or a device: not a log
    if (failure != 0) {
        *error = failure;
        if (failure == ELOOP && !m_linkSaid) {
            m_linkSaid = true;
            std::fprintf(stderr,
                         "Orbidex: the log %s is a symbolic link; nothing is written through it. "
                         "Remove the link.\n",
                         m_path.c_str());
        }
        Close();
        return false;
    }
    // A log made by an earlier version, or by a permissive umask, names the author's files to
    // every user: only its owner may change that, and only its owner should read it.
    if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        ::fchmod(m_fd, st.st_mode & 0700);
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    return true;
}

bool CLogFile::StillAtPath() const
{
    struct stat st {};
    return ::lstat(m_path.c_str(), &st) == 0 && st.st_dev == m_dev && st.st_ino == m_ino;
}

CLogFile::EResult CLogFile::Append(std::string_view data, int* error)
{
    *error = 0;
    // Rotated away or deleted by someone: the lines go to a file of that name again.
    if (m_fd >= 0 && !m_checked && !StillAtPath())
        Close();
    if (m_fd < 0 && !Open(error))
        return EResult::Failed;
    m_checked = m_holding;
    // "No sharing": another program holding the file locked makes us drop the line; that
    // program means it, so it is not a failure.
    if (!m_locked) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK ? EResult::Held : (*error = errno, EResult::Failed);
        m_locked = m_holding;
    }
    const char* p = data.data();
    std::size_t n = data.size();
    while (n > 0) {
        const ssize_t w = ::write(m_fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            *error = w < 0 && errno != 0 ? errno : EIO;
            break;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    if (!m_locked)
        ::flock(m_fd, LOCK_UN);
    if (n == 0) {
        if (m_holding && m_burst.size() + data.size() <= kBurstKept)
            m_burst.append(data);
        return EResult::Written;
    }
    // The next line starts from a fresh handle: a full disk or a lost mount may have recovered.
    Close();
    return EResult::Failed;
}
