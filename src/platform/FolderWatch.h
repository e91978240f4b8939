#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Kernel help for telling when a recording is finished: whether anyone has a file open for
// writing, and events from the source folders.
namespace fsys {

enum class EWriters {
    None,     // nobody has it open for writing
    Some,     // a process has it open for writing (or the check would have to wait on one)
    Unknown,  // cannot be told here (another owner's file, a network share): time decides
};

// Whether any process has `path` open for writing. Takes a read lease on a read-only
// descriptor and gives it back at once; the kernel refuses the lease while a writer exists.
EWriters WritersOf(const std::string& path);
// The same for a descriptor already open read-only.
EWriters WritersOfFd(int fd);

// Whether a folder's file system tells of writes made by other machines: a network share
// does not, and must be looked at by listing.
bool FolderGivesEvents(const std::string& folder);

// Folder events, read without blocking from one descriptor the caller's event loop watches.
class CFolderWatch {
public:
    CFolderWatch();
    ~CFolderWatch();
    CFolderWatch(const CFolderWatch&) = delete;
    CFolderWatch& operator=(const CFolderWatch&) = delete;

    // -1 when the kernel gave no watch descriptor at all.
    int Fd() const { return m_fd; }
    // Watches one folder (not its sub-folders); false when it cannot be (gone, no rights, the
    // watch limit reached, a file system without events for other machines' writes).
    bool Add(const std::string& folder);
    // Drops every watch.
    void Clear();

    struct Event {
        std::string folder;  // as given to Add
        std::string name;    // the entry inside it; empty for the folder itself
        bool written = false;   // closed after writing, or moved in
        bool attrib = false;    // mode changed
        bool folderGone = false;  // deleted, moved away or unmounted: watch it again later
    };
    // The events queued so far; none when nothing is queued.
    std::vector<Event> Read();

private:
    int m_fd = -1;
    std::vector<std::pair<int, std::string>> m_watches;  // descriptor, folder
};

}  // namespace fsys
