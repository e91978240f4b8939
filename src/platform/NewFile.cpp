#include "platform/LocalFile.h"
#include "platform/LocalFileFail.h"
#include "platform/StateFolder.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fsys {
using namespace detail;
namespace {

bool CopyByReadWrite(int in, int out)
{
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = read(in, buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno != EINTR)
                return false;
            if (w > 0)
                done += w;
        }
    }
}

// In the kernel: shared blocks where the file system has reflinks, else copy_file_range; plain
// reads and writes where neither works (across file systems, old kernels, some FUSE mounts).
// Copies from the start to the end of `in` as it is now.
bool CopyContents(int in, int out)
{
    if (ioctl(out, FICLONE, in) == 0)
        return true;
    loff_t from = 0;
    bool copiedAny = false;
    for (;;) {
        const ssize_t n = copy_file_range(in, &from, out, nullptr, std::size_t{1} << 30, 0);
        if (n > 0) {
            copiedAny = true;
            continue;
        }
        if (n == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (!copiedAny && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                           errno == EINVAL || errno == EBADF))
            return lseek(in, 0, SEEK_SET) == 0 && CopyByReadWrite(in, out);
        return false;
    }
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

bool CopyInto(int from, int dirFd, const std::string& folder, const std::string& name,
              CTempRecord* record, std::string* why, int mode)
{
    struct stat st {};
    if (fstat(from, &st) != 0)
        return Fail(why);
    std::optional<CNewFile> copy = CNewFile::Create(dirFd, folder, name, record, why);
    if (!copy)
        return false;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (!CopyContents(from, copy->Fd()) || fchmod(copy->Fd(), mode >= 0 ? static_cast<mode_t>(mode) & 07777 : st.st_mode & 07777) != 0 ||
        futimens(copy->Fd(), times) != 0)
        return Fail(why);
    return copy->Publish(name, true, why);
}

}  // namespace fsys
