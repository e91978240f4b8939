#include "core/cycle/LocalState.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr const char* kFile = "sent-files";
// An entry: an empty field, the kind, size, modification time (ns), path, and an end mark.
// The empty field closes a field an earlier write left cut, so the entry after a cut stands on
// its own; the end mark is written last, so a cut entry never reads as whole, not even with
// its path cut short. Records of earlier versions have no empty field and no end mark.
constexpr const char* kEnd = ".";
constexpr std::size_t kFields = 4;       // kind, size, time, path: the marks, and the earlier form
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

bool Number(const std::string& text, bool sign)
{
    const std::size_t from = sign && text.size() > 1 && text[0] == '-' ? 1 : 0;
    return !text.empty() && text.size() - from <= 20 &&
           text.find_first_not_of("0123456789", from) == std::string::npos;
}

// The entry whose kind is at `at`, when its fields are sound; `removal` says a "-" led it.
std::optional<CLocalState::CEntry> ParseEntry(const std::vector<std::string>& f, std::size_t at,
                                              bool& removal)
{
    const std::string& kind = f[at];
    removal = kind.size() == 2 && kind[0] == '-';
    const std::string bits =
        removal ? std::string() : kind.substr(std::min<std::size_t>(1, kind.size()));
    if (kind.empty() || std::string("man").find(kind[removal ? 1 : 0]) == std::string::npos ||
        bits.size() > 5 || bits.find_first_not_of("01234567") != std::string::npos ||
        !Number(f[at + 1], false) || !Number(f[at + 2], true) || f[at + 3].empty())
        return std::nullopt;
    try {
        return CLocalState::CEntry{static_cast<CLocalState::EKind>(kind[removal ? 1 : 0]),
                                   f[at + 3],
                                   {std::stoull(f[at + 1]), std::stoll(f[at + 2])},
                                   bits.empty() ? -1 : std::stoi(bits, nullptr, 8)};
    } catch (...) {
        return std::nullopt;  // out of range
    }
}

std::vector<std::string> EntryFields(CLocalState::EKind kind, int mode, const std::string& path,
                                     const fsys::FileStamp& stamp, bool removal = false)
{
    return {"",
            removal ? std::string{'-', static_cast<char>(kind)} : KindText(kind, mode),
            std::to_string(stamp.size),
            std::to_string(stamp.mtimeNs),
            path,
            kEnd};
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
    // An entry cut short, a repeat or a removal: the record is rewritten before any append,
    // and so is one of an earlier version.
    const bool earlier = !f.empty() && !f[0].empty();
    bool replayed = earlier;
    bool lead = false;  // the field before is an entry's first, empty one
    for (std::size_t i = 0; i < f.size();) {
        bool removal = false;
        std::optional<CEntry> e;
        std::size_t taken = 0;
        if (i + kFields < f.size() && f[i + kFields] == kEnd && (e = ParseEntry(f, i, removal)))
            taken = kFields + 1;
        else if (earlier && i + kFields <= f.size() && (e = ParseEntry(f, i, removal)))
            taken = kFields;
        if (!e) {
            // Not the start of a whole entry: on to the next field, where one may begin.
            replayed = replayed || !f[i].empty() || lead;
            lead = f[i++].empty();
            continue;
        }
        i += taken;
        lead = false;
        const std::size_t before = m_entries.size();
        std::erase_if(m_entries,
                      [&](const CEntry& o) { return o.kind == e->kind && o.path == e->path; });
        replayed = replayed || removal || m_entries.size() != before;
        if (!removal)
            m_entries.push_back(std::move(*e));
    }
    // An entry cut at the end: every entry's first byte ends a field, so its tail shows.
    replayed = replayed || (!f.empty() && f.back() != kEnd);
    if (replayed)
        Save();
}

bool CLocalState::Save()
{
    m_out.Close();  // the rewrite replaces the file it holds
    m_appended = false;
    std::vector<std::string> f;
    for (const CEntry& e : m_entries) {
        const std::vector<std::string> one = EntryFields(e.kind, e.mode, e.path, e.stamp);
        f.insert(f.end(), one.begin(), one.end());
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
    return Append(EntryFields(kind, mode, path, stamp));
}

void CLocalState::Forget(EKind kind, const std::string& path)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    Load();
    const std::size_t n =
        std::erase_if(m_entries, [&](const CEntry& e) { return e.kind == kind && e.path == path; });
    if (n > 0)
        Append(EntryFields(kind, -1, path, {0, 0}, true));
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
