#pragma once
#include <array>
#include <cstdint>
#include <string>

class IProfileStore;

inline constexpr int kSourcePairs = 10;
inline constexpr const char* kSectionSource = "Source Directories";
inline constexpr const char* kSectionAuthor = "Author Details";

// The persisted settings, field names after their profile keys.
struct CSettings {
    std::array<std::string, kSourcePairs> Dir;  // Dir1..Dir10 at index 0..9
    std::array<std::string, kSourcePairs> Ext;  // Ext1..Ext10
    std::string TDir;
    int32_t PASV = 0;
    std::string Author;
    std::string Password;
    int32_t PollTime = 0;    // "Poll Time", minutes
    int32_t ShowConfig = 0;  // "Show Config"
    int32_t AutoDownLoad = 0;
    int32_t ArrivalNotices = 1;  // "Arrival Notices": a notice when documents arrive
    // Not stored: the password is kept in a keyring that did not give it (locked, its prompt
    // dismissed). `Password` is then empty and must not be sent as the author's.
    bool PasswordLocked = false;

    bool operator==(const CSettings&) const = default;
};

// Fills a record with the load rule: a pair whose folder is empty gets "wav" without reading its
// stored extension; a set folder takes its stored extension, empty when absent.
CSettings LoadSettings(IProfileStore& store);

// Writes every value, in the order the service's other tools expect to find them.
void SaveSettings(IProfileStore& store, const CSettings& settings);

#include <mutex>

// The main window's in-memory record, shared with the worker: reloads replace it whole and a
// cycle takes a snapshot, both under one lock, so a cycle never reads a half-loaded record.
class CSettingsRecord {
public:
    CSettings Snapshot() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_settings;
    }
    void Replace(const CSettings& s)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_settings = s;
    }
    template <class F>
    void Update(F&& change)
    {
        std::lock_guard<std::mutex> g(m_lock);
        change(m_settings);
    }

private:
    mutable std::mutex m_lock;
    CSettings m_settings;
};
