#include "core/cycle/LocalState.h"

#include <algorithm>

namespace {
constexpr const char* kFile = "sent-files";
constexpr std::size_t kFields = 4;  // kind, size, modification time (ns), path
}  // namespace

CLocalState::CLocalState(std::string folder) : m_folder(std::move(folder)), m_temps(m_folder) {}

void CLocalState::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    const std::vector<std::string> f = fsys::ReadFields(m_folder, kFile);
    for (std::size_t i = 0; i + kFields <= f.size(); i += kFields) {
        if (f[i] != "m" && f[i] != "a")
            continue;
        try {
            m_entries.push_back({static_cast<EKind>(f[i][0]),
                                 f[i + 3],
                                 {std::stoull(f[i + 1]), std::stoll(f[i + 2])}});
        } catch (...) {
            // A damaged entry is dropped: at worst that file is sent once more.
        }
    }
}

void CLocalState::Save()
{
    std::vector<std::string> f;
    for (const CEntry& e : m_entries)
        f.insert(f.end(), {std::string(1, static_cast<char>(e.kind)), std::to_string(e.stamp.size),
                           std::to_string(e.stamp.mtimeNs), e.path});
    fsys::WriteFields(m_folder, kFile, f);
}

bool CLocalState::Has(EKind kind, const std::string& path, const fsys::FileStamp& stamp)
{
    Load();
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const CEntry& e) {
        return e.kind == kind && e.path == path && e.stamp == stamp;
    });
}

void CLocalState::Remember(EKind kind, const std::string& path, const fsys::FileStamp& stamp)
{
    Load();
    std::erase_if(m_entries, [&](const CEntry& e) { return e.kind == kind && e.path == path; });
    m_entries.push_back({kind, path, stamp});
    Save();
}

void CLocalState::Forget(EKind kind, const std::string& path)
{
    Load();
    const std::size_t n =
        std::erase_if(m_entries, [&](const CEntry& e) { return e.kind == kind && e.path == path; });
    if (n > 0)
        Save();
}

std::vector<CLocalState::CEntry> CLocalState::Entries(EKind kind)
{
    Load();
    std::vector<CEntry> out;
    std::copy_if(m_entries.begin(), m_entries.end(), std::back_inserter(out),
                 [&](const CEntry& e) { return e.kind == kind; });
    return out;
}
