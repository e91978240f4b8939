#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file-system operations the transfer passes need, with the first platform's meanings:
// wildcards match without regard to case, and "read-only" is a property of the mode bits.
namespace fsys {

struct DirEntry {
    std::string name;
    bool isDirectory = false;
    bool readOnly = false;
    bool special = false;  // a pipe, socket or device: never a recording to send
};

// Size and modification time, enough to tell whether a file changed between two looks.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// `*` any run of characters, `?` one character (or none before a dot or the end), compared
// without regard to ASCII case. "*.*" matches every name, dotted or not.
bool MatchWildcard(std::string_view pattern, std::string_view name);

// The entries of one folder whose names match `pattern`, in the order the directory search
// returns them; "." and ".." are left out. A folder that cannot be opened yields nothing.
std::vector<DirEntry> FindFiles(const std::string& folder, std::string_view pattern);

// No write bit for anyone. Decided from the mode bits: access() says "writable" to root.
bool IsReadOnly(const std::string& path);
// Mode 0444: the sent mark of a local file.
bool MarkReadOnly(const std::string& path);
// Copies `from` to `to`, replacing an earlier `to`. Written beside `to` and renamed into
// place, so a failed copy never leaves a partial file under the final name.
bool CopyFileReplacing(const std::string& from, const std::string& to);
// Creates the folder when missing (not its parents); true when it exists afterwards.
bool CreateFolder(const std::string& path);
std::optional<FileStamp> GetFileStamp(const std::string& path);
// A regular file this process can open for reading now (never blocks, even on a pipe).
bool CanReadFile(const std::string& path);

}  // namespace fsys
