#include "platform/FolderWatch.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <mutex>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace fsys {
namespace {

// A lease taken for a moment can still be broken in that moment, and the kernel then signals
// its holder with SIGIO, whose default action ends the process. A handler that does nothing
// makes the signal harmless; unlike ignoring it, it is not passed on to programs we start.
void OnLeaseBreak(int) {}

void GuardLeaseSignal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = OnLeaseBreak;
        sa.sa_flags = SA_RESTART;
        sigemptyset(&sa.sa_mask);
        struct sigaction old {};
        if (sigaction(SIGIO, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
            sigaction(SIGIO, &sa, nullptr);
    });
}

}  // namespace

EWriters WritersOfFd(int fd)
{
    GuardLeaseSignal();
    if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        return EWriters::None;
    }
    return errno == EAGAIN ? EWriters::Some : EWriters::Unknown;
}

EWriters WritersOf(const std::string& path)
{
    // O_NONBLOCK: a writer's own lease on the file must not make this look wait for it.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EWOULDBLOCK ? EWriters::Some : EWriters::Unknown;
    const EWriters w = WritersOfFd(fd);
    close(fd);
    return w;
}

bool FolderGivesEvents(const std::string& folder)
{
    struct statfs fs {};
    if (statfs(folder.c_str(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case NFS_SUPER_MAGIC:
        case SMB_SUPER_MAGIC:
        case 0xFF534D42UL:  // cifs
        case 0xFE534D42UL:  // smb2
        case 0x65735546UL:  // fuse (sshfs and the like)
        case V9FS_MAGIC:
        case CODA_SUPER_MAGIC:
        case 0x00C36400UL:  // ceph
        case AFS_SUPER_MAGIC:
            return false;
        default:
            return true;
    }
}

CFolderWatch::CFolderWatch() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

CFolderWatch::~CFolderWatch()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool CFolderWatch::Add(const std::string& folder)
{
    if (m_fd < 0 || !FolderGivesEvents(folder))
        return false;
    const uint32_t mask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                          IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
    const int wd = inotify_add_watch(m_fd, folder.c_str(), mask);
    if (wd < 0)
        return false;
    m_watches.emplace_back(wd, folder);
    return true;
}

void CFolderWatch::Clear()
{
    for (const auto& w : m_watches) inotify_rm_watch(m_fd, w.first);
    m_watches.clear();
}

std::vector<CFolderWatch::Event> CFolderWatch::Read()
{
    std::vector<Event> out;
    if (m_fd < 0)
        return out;
    alignas(inotify_event) char buf[16384];
    for (;;) {
        const ssize_t n = read(m_fd, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            Event ev;
            for (const auto& w : m_watches)
                if (w.first == e->wd)
                    ev.folder = w.second;
            if (e->mask & IN_Q_OVERFLOW) {
                ev.written = true;  // events were lost: look at every folder
            } else if (ev.folder.empty()) {
                continue;
            }
            if (e->len > 0)
                ev.name = e->name;
            ev.written = ev.written || (e->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0;
            ev.attrib = (e->mask & IN_ATTRIB) != 0;
            ev.folderGone = (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED |
                                        IN_UNMOUNT)) != 0;
            out.push_back(std::move(ev));
        }
    }
    return out;
}

}  // namespace fsys
