#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The non-widget half of the folder picker: folder texts, the listing and its order.
// Folders are byte strings (UTF-8 on Linux) that always end with a separator.

inline constexpr std::size_t kMaxPickFolder = 1023;  // bytes; the picker refuses longer
inline constexpr int32_t kMarkParent = -1;           // "[.. Parent Directory]"
inline constexpr int32_t kMarkRoot = -2;             // "[. Root]"
inline constexpr int32_t kAttrDirectory = 16;        // folder-like when set; both marks have it
inline constexpr int32_t kAttrNormal = 128;

struct CPickEntry {
    std::string display;  // as shown and sorted: title-cased where case does not matter
    std::string name;     // as stored on disk: what navigation appends
    int32_t marker = 0;   // kMarkParent, kMarkRoot or attributes
};

inline bool IsFolderLike(int32_t marker)
{
    return (marker & kAttrDirectory) != 0;
}

// Lower case, then the first letter and every letter after a blank in upper case (ASCII only,
// so multi-byte characters pass through untouched).
std::string TitleCase(std::string_view name);

// Whether names in `folder` keep their case, so that a title-cased name would name nothing:
// asked of the file system where it can say, else probed with `sample`, an entry of the folder
// holding an ASCII letter. Unknown counts as case-sensitive.
bool FolderIsCaseSensitive(const std::string& folder, std::string_view sample);

// A root of the file system: "/" here, "C:\" style on lettered drives.
bool IsRootFolder(std::string_view folder);

// The folder without its last component ("/data/work/" -> "/data/"); a root stays.
std::string ParentFolder(std::string_view folder);

// Appends `name` and a separator; false, leaving `folder` alone, when the result would pass
// kMaxPickFolder bytes.
bool AppendFolder(std::string& folder, std::string_view name);

// The search pattern of a file-type entry: the text between its last "(" and last ")",
// so "All files (*.*)" gives "*.*". Empty when the text holds no such part.
std::string FileTypePattern(std::string_view fileTypeText);

// The rows of one folder: the root or parent entry first, then its folders (no dot names),
// then, when `withFiles`, the files matching `pattern`; folders and files each sorted
// byte-wise on their shown names: as on disk where the folder is case-sensitive, title-cased
// where it is not. A folder that cannot be read gives the first row only.
std::vector<CPickEntry> ListPickFolder(const std::string& folder, bool withFiles,
                                       std::string_view pattern);
