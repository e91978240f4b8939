#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file-system operations the transfer passes need, with the first platform's meanings:
// wildcards match without regard to case, and "read-only" is a property of the mode bits.
namespace fsys {

// Size and modification time, enough to tell whether a file changed between two looks.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

struct DirEntry {
    std::string name;
    bool isDirectory = false;
    bool readOnly = false;
    bool special = false;  // a pipe, socket or device: never a recording to send
    bool isLink = false;   // never followed: its target may be anyone's file
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    FileStamp stamp;
};

// `*` any run of characters, `?` one character (or none before a dot or the end), compared
// without regard to ASCII case. "*.*" matches every name, dotted or not.
bool MatchWildcard(std::string_view pattern, std::string_view name);

// The entries of one folder whose names match `pattern`, in the order the directory search
// returns them; "." and ".." are left out. A folder that cannot be opened yields nothing.
std::vector<DirEntry> FindFiles(const std::string& folder, std::string_view pattern);
// The same, but a name `look` refuses is passed over without a look at the file itself: the
// listing alone, and the order of the others kept.
std::vector<DirEntry> FindFiles(const std::string& folder, std::string_view pattern,
                                const std::function<bool(std::string_view name)>& look);

// No write bit for anyone. Decided from the mode bits: access() says "writable" to root.
bool IsReadOnly(const std::string& path);
// Creates the folder when missing (not its parents); true when it exists afterwards.
bool CreateFolder(const std::string& path);
// Makes the folder for its owner alone (0700); true when it was made.
bool CreatePrivateFolder(const std::string& path);
// Of the entry itself, links not followed; none for anything but a regular file.
std::optional<FileStamp> GetFileStamp(const std::string& path);

}  // namespace fsys
