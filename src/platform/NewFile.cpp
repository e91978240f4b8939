#include "platform/LocalFile.h"
#include "platform/LocalFileFail.h"
#include "platform/StateFolder.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fsys {
using namespace detail;
namespace {

bool CopyByReadWrite(int in, int out, off_t size)
{
    char buf[1 << 16];
    for (off_t done = 0; size < 0 || done < size;) {
        const std::size_t want = size < 0 ? sizeof buf
                                          : static_cast<std::size_t>(std::min<off_t>(size - done, sizeof buf));
        const ssize_t n = read(in, buf, want);
        if (n == 0)
            return size < 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t put = 0; put < n;) {
            const ssize_t w = write(out, buf + put, static_cast<std::size_t>(n - put));
            if (w < 0 && errno != EINTR)
                return false;
            if (w > 0)
                put += w;
        }
        done += n;
    }
    return true;
}

// In the kernel: shared blocks where the file system has reflinks, else copy_file_range; plain
// reads and writes where neither works (across file systems, old kernels, some FUSE mounts).
// Copies from the start to the end of `in` as it is now, or its first `size` bytes when known
// (-1: not known).
bool CopyContents(int in, int out, off_t size, CopyHints* hints)
{
    if (!hints || !hints->cloneRefused) {
        if (ioctl(out, FICLONE, in) == 0) {
            // A clone takes the whole file: a file grown since the open must not bring more.
            return size < 0 || ftruncate(out, size) == 0;
        }
        // Refused by this pair of file systems: the rest of the pass does not ask again.
        if (hints && (errno == EOPNOTSUPP || errno == EXDEV || errno == EINVAL ||
                      errno == ENOTTY || errno == ENOSYS))
            hints->cloneRefused = true;
    }
    loff_t from = 0;
    bool copiedAny = false;
    while (size < 0 || from < size) {
        const std::size_t want = size < 0 ? std::size_t{1} << 30
                                          : static_cast<std::size_t>(std::min<off_t>(size - from, off_t{1} << 30));
        const ssize_t n = copy_file_range(in, &from, out, nullptr, want, 0);
        if (n > 0) {
            copiedAny = true;
            continue;
        }
        if (n == 0)
            return size < 0 || from == size;  // shorter than when opened: not a whole copy
        if (errno == EINTR)
            continue;
        if (!copiedAny && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                           errno == EINVAL || errno == EBADF))
            return lseek(in, 0, SEEK_SET) == 0 && CopyByReadWrite(in, out, size);
        return false;
    }
    return true;
}

// Renames over an existing file without the data write-out ext4 forces on a rename that
// replaces (its guard for editors that skip fsync): exchange the names, then drop the old one.
bool MoveOver(int dir, const std::string& from, const std::string& to)
{
    if (renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EEXIST)
        return renameat(dir, from.c_str(), dir, to.c_str()) == 0;
    if (EntryKind(dir, to) != EEntry::File) {
        errno = EISDIR;  // never swap a folder or a link away
        return false;
    }
    if (renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_EXCHANGE) == 0) {
        unlinkat(dir, from.c_str(), 0);
        return true;
    }
    return renameat(dir, from.c_str(), dir, to.c_str()) == 0;
}

}  // namespace

std::optional<CNewFile> CNewFile::Create(int dirFd, const std::string& folder,
                                         const std::string& name, CTempRecord* record,
                                         std::string* why)
{
    CNewFile f(dirFd, folder, record);
    f.m_fd = CFd(openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (f.m_fd)
        return f;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return Fail(why), std::nullopt;
    // No unnamed files here: a hidden name, kept in the record before anything is written.
    for (int tries = 0; tries < 100; ++tries) {
        const std::string temp = TemporaryName(name);
        f.m_fd = CFd(
            openat(dirFd, temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!f.m_fd && errno == EEXIST)
            continue;
        if (!f.m_fd)
            return Fail(why), std::nullopt;
        f.m_temp = temp;
        if (record && !record->Add(folder + temp, IdOf(f.m_fd.Get()))) {
            f.Discard();
            return Fail(why, kNoRecord), std::nullopt;
        }
        return f;
    }
    return Fail(why, EEXIST), std::nullopt;
}

CNewFile::CNewFile(CNewFile&& o) noexcept
    : m_dir(o.m_dir),
      m_folder(std::move(o.m_folder)),
      m_record(o.m_record),
      m_fd(std::move(o.m_fd)),
      m_temp(std::move(o.m_temp)),
      m_published(o.m_published)
{
    o.m_temp.clear();
}

CNewFile::~CNewFile()
{
    if (!m_published)
        Discard();
}

void CNewFile::Discard()
{
    m_fd = CFd();
    if (m_temp.empty())
        return;
    unlinkat(m_dir, m_temp.c_str(), 0);
    if (m_record)
        m_record->Remove(m_folder + m_temp);
    m_temp.clear();
}

bool CNewFile::Publish(const std::string& name, bool replace, std::string* why)
{
    if (m_temp.empty()) {
        // Unnamed: it gets its name by a link, which never replaces; linking through /proc
        // needs no privilege, unlike AT_EMPTY_PATH.
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd.Get());
        if (linkat(AT_FDCWD, self.c_str(), m_dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_published = true;
            return true;
        }
        if (errno != EEXIST || !replace)
            return Fail(why);
        // The earlier copy goes first. A kill in between leaves no copy, never a stray name:
        // the original is not marked sent yet, so the next cycle sends and copies it again.
        if (EntryKind(m_dir, name) != EEntry::File)
            return Fail(why, EISDIR);
        if (unlinkat(m_dir, name.c_str(), 0) != 0 ||
            linkat(AT_FDCWD, self.c_str(), m_dir, name.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return Fail(why);
        m_published = true;
        return true;
    }
    const bool moved =
        replace ? MoveOver(m_dir, m_temp, name)
                : renameat2(m_dir, m_temp.c_str(), m_dir, name.c_str(), RENAME_NOREPLACE) == 0;
    if (!moved)
        return Fail(why);
    if (m_record)
        m_record->Remove(m_folder + m_temp);
    m_temp.clear();
    m_published = true;
    return true;
}

namespace {

timespec FromNs(std::int64_t ns)
{
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

bool CopyWith(int from, int dirFd, const std::string& folder, const std::string& name,
              CTempRecord* record, std::string* why, mode_t mode, const timespec (&times)[2],
              off_t size, CopyHints* hints)
{
    std::optional<CNewFile> copy = CNewFile::Create(dirFd, folder, name, record, why);
    if (!copy)
        return false;
    if (!CopyContents(from, copy->Fd(), size, hints) || fchmod(copy->Fd(), mode & 07777) != 0 ||
        futimens(copy->Fd(), times) != 0)
        return Fail(why);
    return copy->Publish(name, true, why);
}

}  // namespace

bool CopyInto(int from, int dirFd, const std::string& folder, const std::string& name,
              CTempRecord* record, std::string* why, int mode)
{
    struct stat st {};
    if (fstat(from, &st) != 0)
        return Fail(why);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    return CopyWith(from, dirFd, folder, name, record, why,
                    mode >= 0 ? static_cast<mode_t>(mode) : st.st_mode, times, -1, nullptr);
}

bool CopyInto(const SourceFile& from, int dirFd, const std::string& folder,
              const std::string& name, CTempRecord* record, std::string* why, int mode,
              CopyHints* hints)
{
    const timespec times[2] = {FromNs(from.atimeNs), FromNs(from.stamp.mtimeNs)};
    return CopyWith(from.fd.Get(), dirFd, folder, name, record, why,
                    mode >= 0 ? static_cast<mode_t>(mode) : static_cast<mode_t>(from.mode), times,
                    static_cast<off_t>(from.stamp.size), hints);
}

}  // namespace fsys
