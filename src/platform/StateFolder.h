#pragma once
#include "platform/LocalFile.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// The agent's own folder for what must outlive a run: $XDG_STATE_HOME/orbidex, by default
// ~/.local/state/orbidex. It is the user's alone (0700), its files 0600.
namespace fsys {

// The user's home folder without a final separator ("" for "/").
std::string HomeFolder();
std::string DefaultStateFolder();

// A record file of the state folder: a list of fields, each ended by a NUL, so any path fits.
// A missing or unreadable file reads as empty; a write replaces the whole file at once.
std::vector<std::string> ReadFields(const std::string& folder, const std::string& file,
                                    std::size_t maxBytes = 1u << 20);  // far more than most hold
// The same, field by field as the file is read in pieces, for a record too long to hold
// whole; false when bytes follow the last field without an end (a record cut there).
bool ReadEachField(const std::string& folder, const std::string& file,
                   const std::function<void(std::string&& field)>& onField);
// `why` (when given) receives the system's reason of a failed write.
bool WriteFields(const std::string& folder, const std::string& file,
                 const std::vector<std::string>& fields, std::string* why = nullptr);

// Adds fields at the end of a record file in one write: a run killed meanwhile leaves at worst
// one cut record at the end, which the reader of that file must be ready to drop.
bool AppendFields(const std::string& folder, const std::string& file,
                  const std::vector<std::string>& fields, std::string* why = nullptr);

// A record file kept open for appending over a stretch of work (a pass): one write a record
// instead of an open, a write and a close. Close() ends the stretch, so that a file replaced or
// removed meanwhile is opened afresh by the next one. Not shared between threads unlocked.
class CAppender {
public:
    CAppender(std::string folder, std::string file)
        : m_folder(std::move(folder)), m_file(std::move(file)) {}
    bool Append(const std::vector<std::string>& fields, std::string* why = nullptr);
    void Close() { m_fd = CFd(); }

private:
    std::string m_folder, m_file;
    CFd m_fd;
};

// The temporary names this agent created where no unnamed file could be made (FAT, network
// shares). Each is kept with the file's device and inode, so a sweep removes only the very
// file that was made, never another one that took its name.
class CTempRecord {
public:
    explicit CTempRecord(std::string stateFolder) : m_folder(std::move(stateFolder)) {}
    bool Add(const std::string& path, FileId id);
    void Remove(const std::string& path);
    // Removes what a killed run left in `folders` (the folders the agent writes new files to)
    // and forgets every entry; returns how many were removed.
    int Sweep(const std::vector<std::string>& folders);

private:
    std::string m_folder;
};

// The one form of the agent's temporary names: ".NAME.xxxxxx.part", x a random letter or digit.
std::string TemporaryName(const std::string& name);
bool IsTemporaryName(const std::string& name);

}  // namespace fsys
