#include "core/cycle/LocalState.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr const char* kFile = "sent-files";
constexpr std::size_t kFields = 4;  // kind, size, modification time (ns), path
constexpr const char* kMarks = "marks";  // bits taken in octal, size, time (ns), path
constexpr std::size_t kMarksKept = 2000;
constexpr std::size_t kMarksBytes = 8u << 20;

// The kind's letter, then the permission bits in octal when they are known.
std::string KindText(CLocalState::EKind kind, int mode)
{
    std::string text(1, static_cast<char>(kind));
    if (mode >= 0) {
        char octal[8];
        std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode) & 07777u);
        text += octal;
    }
    return text;
}
}  // namespace

CLocalState::CLocalState(std::string folder)
    : m_folder(std::move(folder)), m_temps(m_folder), m_out(m_folder, kFile),
      m_marksOut(m_folder, kMarks)
{
}

void CLocalState::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    const std::vector<std::string> f = fsys::ReadFields(m_folder, kFile);
    bool replayed = f.size() % kFields != 0;  // a record cut short by a crash
    for (std::size_t i = 0; i + kFields <= f.size(); i += kFields) {
        // The kind's letter, then the permission bits in octal when they were kept; "-" and
        // the letter removes the entries of that kind and path.
        const bool removal = f[i].size() == 2 && f[i][0] == '-';
        const std::string kind = removal ? f[i].substr(1) : f[i];
        if (kind.empty() || std::string("man").find(kind[0]) == std::string::npos)
            continue;
        const std::size_t before = m_entries.size();
        std::erase_if(m_entries, [&](const CEntry& e) {
            return e.kind == static_cast<EKind>(kind[0]) && e.path == f[i + 3];
        });
        replayed = replayed || removal || m_entries.size() != before;
        if (removal)
            continue;
        try {
            m_entries.push_back({static_cast<EKind>(kind[0]),
                                 f[i + 3],
                                 {std::stoull(f[i + 1]), std::stoll(f[i + 2])},
                                 kind.size() > 1 ? std::stoi(kind.substr(1), nullptr, 8) : -1});
        } catch (...) {
            // A damaged entry is dropped: at worst that file is sent once more.
        }
    }
    // Appends go after whole records only: a record left by appending is rewritten first.
    if (replayed)
        Save();
}

bool CLocalState::Save()
{
    m_out.Close();  // the rewrite replaces the file it holds
    m_appended = false;
    std::vector<std::string> f;
    for (const CEntry& e : m_entries) {
        f.insert(f.end(), {KindText(e.kind, e.mode), std::to_string(e.stamp.size), std::to_string(e.stamp.mtimeNs),
                           e.path});
    }
    std::string why;
    if (fsys::WriteFields(m_folder, kFile, f, &why))
        return true;
    if (m_writeFailure.empty())
        m_writeFailure = why;
    return false;
}

bool CLocalState::Has(EKind kind, const std::string& path, const fsys::FileStamp& stamp)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    Load();
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const CEntry& e) {
        return e.kind == kind && e.path == path && e.stamp == stamp;
    });
}

bool CLocalState::Append(std::vector<std::string> fields)
{
    std::string why;
    if (m_out.Append(fields, &why)) {
        m_appended = true;
        return true;
    }
    if (m_writeFailure.empty())
        m_writeFailure = why;
    return false;
}

bool CLocalState::Remember(EKind kind, const std::string& path, const fsys::FileStamp& stamp,
                           int mode)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    Load();
    std::erase_if(m_entries, [&](const CEntry& e) { return e.kind == kind && e.path == path; });
    m_entries.push_back({kind, path, stamp, mode});
    return Append({KindText(kind, mode), std::to_string(stamp.size), std::to_string(stamp.mtimeNs), path});
}

void CLocalState::Forget(EKind kind, const std::string& path)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    Load();
    const std::size_t n =
        std::erase_if(m_entries, [&](const CEntry& e) { return e.kind == kind && e.path == path; });
    if (n > 0)
        Append({std::string{'-', static_cast<char>(kind)}, "0", "0", path});
}

void CLocalState::EndPass()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_marksOut.Close();
    if (m_appended)
        Save();
}

std::vector<CLocalState::CEntry> CLocalState::Entries(EKind kind)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    Load();
    std::vector<CEntry> out;
    std::copy_if(m_entries.begin(), m_entries.end(), std::back_inserter(out),
                 [&](const CEntry& e) { return e.kind == kind; });
    return out;
}

void CLocalState::RememberMark(const std::string& path, const fsys::FileStamp& stamp,
                               unsigned taken)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    char octal[8];
    std::snprintf(octal, sizeof octal, "%o", taken & 0222u);
    // Once a run, the oldest marks go: only recent files are sent again by hand.
    if (!m_marksTrimmed) {
        m_marksTrimmed = true;
        std::vector<std::string> f = fsys::ReadFields(m_folder, kMarks, kMarksBytes);
        f.resize(f.size() - f.size() % kFields);
        if (f.size() > 2 * kMarksKept * kFields) {
            f.erase(f.begin(), f.end() - static_cast<long>(kMarksKept * kFields));
            fsys::WriteFields(m_folder, kMarks, f);
        }
    }
    if (!m_marksOut.Append(
            {octal, std::to_string(stamp.size), std::to_string(stamp.mtimeNs), path}) &&
        m_writeFailure.empty())
        m_writeFailure = "the record of marks could not be written";
}

std::optional<unsigned> MarkTaken(const std::string& stateFolder, const std::string& path,
                                  const fsys::FileStamp& stamp, bool* recorded)
{
    const std::vector<std::string> f = fsys::ReadFields(stateFolder, kMarks, kMarksBytes);
    std::optional<unsigned> taken;
    if (recorded)
        *recorded = false;
    for (std::size_t i = 0; i + kFields <= f.size(); i += kFields) {
        if (f[i + 3] != path)
            continue;
        if (recorded)
            *recorded = true;
        try {
            const bool same = std::stoull(f[i + 1]) == stamp.size &&
                              std::stoll(f[i + 2]) == stamp.mtimeNs;
            // The latest mark of this very content counts; an older content's says nothing.
            taken = same ? std::optional<unsigned>(std::stoul(f[i], nullptr, 8) & 0222u)
                         : std::nullopt;
        } catch (...) {
            taken = std::nullopt;
        }
    }
    return taken;
}
