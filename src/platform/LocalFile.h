#pragma once
#include "platform/FileSystem.h"

#include <cstdint>
#include <optional>
#include <string>

// File work on the author's disk through open descriptors: links are never followed, a file is
// opened once and its mode changed on that descriptor, and a new file gets its name only when
// it is whole. Every failure carries the system's own wording in `why`.
namespace fsys {

class CTempRecord;

// One descriptor, closed with the object.
class CFd {
public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    CFd(CFd&& o) noexcept : m_fd(o.Release()) {}
    CFd& operator=(CFd&& o) noexcept;
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    ~CFd();
    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int Release();

private:
    int m_fd = -1;
};

// Which file a path named when it was opened: the same file under two names is one file.
struct FileId {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    bool operator==(const FileId&) const = default;
    bool operator<(const FileId& o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
};

// A source folder's file opened for sending: a regular file, never reached through a link.
struct SourceFile {
    CFd fd;
    FileId id;
    FileStamp stamp;
    unsigned mode = 0;  // permission bits when opened
    std::int64_t atimeNs = 0;  // last access when opened, for the archive copy
};
std::optional<SourceFile> OpenSource(const std::string& path, std::string* why);
std::optional<FileStamp> StampOf(int fd);
// The sent mark: the write bits cleared and nothing else (a 0600 file becomes 0400).
bool ClearWriteBits(const SourceFile& file, std::string* why);
// Undoes the mark: gives back the write bits in `bits` (of 0222), the other bits as they are.
bool GiveBackWriteBits(const SourceFile& file, unsigned bits, std::string* why);

// A folder opened for writing new files into. `noLink`: a link in the folder's place is refused.
std::optional<CFd> OpenFolder(const std::string& path, bool noLink, std::string* why);
// Creates `name` in the folder when missing; true when a folder (not a link) is there after.
bool EnsureSubfolder(int dirFd, const std::string& name, std::string* why);
// The folder `name` in the folder, when one is there (not a link).
std::optional<FileId> SubfolderId(int dirFd, const std::string& name);
// Which file an open descriptor is.
std::optional<FileId> IdOfFd(int fd);
// What lies under `name` in the folder, links not followed.
enum class EEntry { None, File, Other };
EEntry EntryKind(int dirFd, const std::string& name);
// Renames `from` to `to` in the folder, failing rather than replacing anything.
bool RenameNoReplace(int dirFd, const std::string& from, const std::string& to, std::string* why);
// Whether the open file and the regular file `name` in the folder hold the same bytes.
bool SameContent(int fd, int dirFd, const std::string& name);

// A file being written in a folder, with no name until Publish. Where the file system cannot
// make an unnamed file, it is written under a hidden temporary name kept in `record`, so that
// only names this agent made are ever swept; a temporary is removed with the object.
class CNewFile {
public:
    static std::optional<CNewFile> Create(int dirFd, const std::string& folder,
                                          const std::string& name, CTempRecord* record,
                                          std::string* why);
    CNewFile(CNewFile&&) noexcept;
    CNewFile& operator=(CNewFile&&) = delete;
    ~CNewFile();
    int Fd() const { return m_fd.Get(); }
    // Names the file `name` in its folder. `replace`: an earlier file of that name (never a
    // folder) gives way; otherwise an existing name fails the publish.
    bool Publish(const std::string& name, bool replace, std::string* why);

private:
    CNewFile(int dirFd, std::string folder, CTempRecord* record)
        : m_dir(dirFd), m_folder(std::move(folder)), m_record(record)
    {
    }
    void Discard();

    int m_dir;
    std::string m_folder;
    CTempRecord* m_record;
    CFd m_fd;
    std::string m_temp;  // the hidden name, when no unnamed file could be made
    bool m_published = false;
};

// Copies the open file `from` into the folder as `name`, replacing an earlier copy. The copy
// keeps the original's mode bits (or `mode`, when given) and times, so it is never more open
// than the original.
bool CopyInto(int from, int dirFd, const std::string& folder, const std::string& name,
              CTempRecord* record, std::string* why, int mode = -1);

// What a pass learns about copying, so that it asks the file system each thing once.
struct CopyHints {
    bool cloneRefused = false;  // a clone was refused: this pass copies in the kernel instead
};
// As above, for a source file opened for sending: its size, mode and times as opened, no
// second look at them. The copy holds the bytes up to that size.
bool CopyInto(const SourceFile& from, int dirFd, const std::string& folder,
              const std::string& name, CTempRecord* record, std::string* why, int mode,
              CopyHints* hints);

// The wording of an errno value, as the system gives it.
std::string ErrorText(int error);

}  // namespace fsys
