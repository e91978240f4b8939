#include "platform/LocalFile.h"
#include "platform/LocalFileFail.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsys {
using namespace detail;

CFd& CFd::operator=(CFd&& o) noexcept
{
    if (this != &o) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = o.Release();
    }
    return *this;
}

CFd::~CFd()
{
    if (m_fd >= 0)
        close(m_fd);
}

int CFd::Release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

std::string ErrorText(int error)
{
    return std::strerror(error);
}

std::optional<FileStamp> StampOf(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return std::nullopt;
    return FileStamp{
        static_cast<std::uint64_t>(st.st_size),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::optional<SourceFile> OpenSource(const std::string& path, std::string* why)
{
    // O_NONBLOCK: a pipe put in the folder under a recording's name must not hold the cycle.
    SourceFile f{CFd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)), {}, {}};
    if (!f.fd)
        return (errno == ELOOP ? Fail(why, kIsLink) : Fail(why)), std::nullopt;
    struct stat st {};
    if (fstat(f.fd.Get(), &st) != 0)
        return Fail(why), std::nullopt;
    if (!S_ISREG(st.st_mode))
        return Fail(why, "it is not a plain file"), std::nullopt;
    f.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    f.mode = st.st_mode & 07777;
    f.stamp = {static_cast<std::uint64_t>(st.st_size),
               static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    f.atimeNs = static_cast<std::int64_t>(st.st_atim.tv_sec) * 1000000000 + st.st_atim.tv_nsec;
    return f;
}

bool ClearWriteBits(const SourceFile& file, std::string* why)
{
    return fchmod(file.fd.Get(), file.mode & ~0222u) == 0 ? true : Fail(why);
}

bool GiveBackWriteBits(const SourceFile& file, unsigned bits, std::string* why)
{
    return fchmod(file.fd.Get(), file.mode | (bits & 0222u)) == 0 ? true : Fail(why);
}

std::optional<CFd> OpenFolder(const std::string& path, bool noLink, std::string* why)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noLink ? O_NOFOLLOW : 0);
    CFd fd(open(path.empty() ? "." : path.c_str(), flags));
    if (!fd)
        return Fail(why), std::nullopt;
    return fd;
}

bool EnsureSubfolder(int dirFd, const std::string& name, std::string* why)
{
    if (mkdirat(dirFd, name.c_str(), 0777) == 0)
        return true;
    if (errno != EEXIST)
        return Fail(why);
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(why);
    if (S_ISLNK(st.st_mode))
        return Fail(why, kIsLink);
    return S_ISDIR(st.st_mode) ? true : Fail(why, ENOTDIR);
}

std::optional<FileId> SubfolderId(int dirFd, const std::string& name)
{
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<FileId> IdOfFd(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

EEntry EntryKind(int dirFd, const std::string& name)
{
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? EEntry::None : EEntry::Other;
    return S_ISREG(st.st_mode) ? EEntry::File : EEntry::Other;
}

bool RenameNoReplace(int dirFd, const std::string& from, const std::string& to, std::string* why)
{
    if (renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    return Fail(why);
}

bool SameContent(int fd, int dirFd, const std::string& name)
{
    CFd other(openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const std::optional<FileStamp> a = StampOf(fd);
    const std::optional<FileStamp> b = other ? StampOf(other.Get()) : std::nullopt;
    if (!a || !b || a->size != b->size)
        return false;
    char x[1 << 16], y[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, x, sizeof x, at);
        const ssize_t m = pread(other.Get(), y, sizeof y, at);
        if (n != m || n < 0)
            return false;
        if (n == 0)
            return true;
        if (std::memcmp(x, y, static_cast<std::size_t>(n)) != 0)
            return false;
        at += n;
    }
}

}  // namespace fsys
