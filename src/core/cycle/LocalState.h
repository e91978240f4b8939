#pragma once
#include "platform/FileSystem.h"
#include "platform/StateFolder.h"

#include <set>
#include <string>
#include <vector>

// What the agent remembers of the author's files between cycles and across restarts, in its
// state folder: files delivered but not marked sent (never to be sent again while unchanged),
// files marked sent whose archive copy failed (tried again each cycle), and the temporary names
// it made. Used by the worker only.
class CLocalState {
public:
    enum class EKind : char { Unmarked = 'm', Unarchived = 'a' };
    struct CEntry {
        EKind kind;
        std::string path;
        fsys::FileStamp stamp;
    };

    explicit CLocalState(std::string folder = fsys::DefaultStateFolder());
    const std::string& Folder() const { return m_folder; }
    fsys::CTempRecord& Temps() { return m_temps; }

    bool Has(EKind kind, const std::string& path, const fsys::FileStamp& stamp);
    void Remember(EKind kind, const std::string& path, const fsys::FileStamp& stamp);
    void Forget(EKind kind, const std::string& path);
    std::vector<CEntry> Entries(EKind kind);

    // True the first time `key` is asked in this run: a notice is said once, not every poll.
    bool FirstTime(const std::string& key) { return m_told.insert(key).second; }

private:
    void Load();
    void Save();

    std::string m_folder;
    fsys::CTempRecord m_temps;
    std::vector<CEntry> m_entries;
    bool m_loaded = false;
    std::set<std::string> m_told;
};
