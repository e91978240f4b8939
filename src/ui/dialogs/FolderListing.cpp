#include "ui/dialogs/FolderListing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

char Separator()
{
    return QDir::separator().toLatin1();
}

// The platform's wildcard rules: "*.*" is every name, dotted or not.
QStringList NameFilters(std::string_view pattern)
{
    if (pattern.empty() || pattern == "*.*" || pattern == "*")
        return {};
    return {QString::fromUtf8(pattern.data(), static_cast<qsizetype>(pattern.size()))};
}

std::string FlipAsciiCase(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

void SortByShownName(std::vector<CPickEntry>& v)
{
    // std::string compares as unsigned bytes, which is the order the picker promises.
    std::stable_sort(v.begin(), v.end(), [](const CPickEntry& a, const CPickEntry& b) {
        return a.display < b.display;
    });
}
}  // namespace

std::string TitleCase(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    for (std::size_t i = 0; i < out.size(); ++i)
        if ((i == 0 || out[i - 1] == ' ') && out[i] >= 'a' && out[i] <= 'z')
            out[i] = static_cast<char>(out[i] - 'a' + 'A');
    return out;
}

bool FolderIsCaseSensitive(const std::string& folder, std::string_view sample)
{
#ifdef _WIN32
    (void)folder;
    (void)sample;
    return false;
#else
#ifdef _PC_CASE_SENSITIVE
    if (const long answer = pathconf(folder.c_str(), _PC_CASE_SENSITIVE); answer >= 0)
        return answer != 0;
#endif
    // Linux has no such question; a folder may even differ from its parent (ext4 casefold).
    // The other spelling of an entry reaching that same entry is what a case-insensitive
    // folder does; lstat, so a link of the other spelling is not mistaken for it.
    const std::string flipped = FlipAsciiCase(sample);
    struct stat a {};
    struct stat b {};
    if (flipped == sample || lstat((folder + std::string(sample)).c_str(), &a) != 0 ||
        lstat((folder + flipped).c_str(), &b) != 0)
        return true;
    return a.st_dev != b.st_dev || a.st_ino != b.st_ino;
#endif
}

bool IsRootFolder(std::string_view folder)
{
    if (folder.size() == 1)
        return IsSeparator(folder[0]);
    return folder.size() == 3 && folder[1] == ':' && IsSeparator(folder[2]);
}

std::string ParentFolder(std::string_view folder)
{
    if (IsRootFolder(folder) || folder.empty())
        return std::string(folder);
    std::size_t end = folder.size();
    if (IsSeparator(folder[end - 1]))
        --end;                                               // cut at the last separator ...
    while (end > 0 && !IsSeparator(folder[end - 1])) --end;  // ... then after the one before it
    if (end == 0)
        return std::string(folder);
    return std::string(folder.substr(0, end));
}

bool AppendFolder(std::string& folder, std::string_view name)
{
    if (folder.size() + name.size() + 1 > kMaxPickFolder)
        return false;
    folder.append(name);
    folder.push_back(Separator());
    return true;
}

std::string FileTypePattern(std::string_view text)
{
    const std::size_t open = text.rfind('(');
    if (open == std::string_view::npos)
        return {};
    std::string_view rest = text.substr(open + 1);
    const std::size_t close = rest.rfind(')');
    if (close != std::string_view::npos)
        rest = rest.substr(0, close);
    return std::string(rest);
}

std::vector<CPickEntry> ListPickFolder(const std::string& folder, bool withFiles,
                                       std::string_view pattern)
{
    std::vector<CPickEntry> rows;
    if (IsRootFolder(folder))
        rows.push_back({"[. Root]", {}, kMarkRoot});
    else
        rows.push_back({"[.. Parent Directory]", {}, kMarkParent});

    QDir dir(QFile::decodeName(QByteArray::fromStdString(folder)));
    if (!dir.exists() || !dir.isReadable())
        return rows;

    std::vector<std::string> folderNames;
    const QFileInfoList dirInfos = dir.entryInfoList(
        QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& fi : dirInfos) {
        std::string name = QFile::encodeName(fi.fileName()).toStdString();
        if (!name.empty() && name[0] != '.')
            folderNames.push_back(std::move(name));
    }
    std::vector<std::string> fileNames;
    if (withFiles) {
        dir.setNameFilters(NameFilters(pattern));
        const QFileInfoList fileInfos =
            dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
        for (const QFileInfo& fi : fileInfos)
            fileNames.push_back(QFile::encodeName(fi.fileName()).toStdString());
    }

    // Title case would show names that do not exist where case matters: there, names stay as
    // they are on disk. A listing without letters looks the same either way.
    bool asOnDisk = true;
    for (const auto* names : {&folderNames, &fileNames}) {
        auto it = std::find_if(names->begin(), names->end(),
                               [](const std::string& n) { return FlipAsciiCase(n) != n; });
        if (it != names->end()) {
            asOnDisk = FolderIsCaseSensitive(folder, *it);
            break;
        }
    }
    auto entries = [&](const std::vector<std::string>& names, int32_t marker) {
        std::vector<CPickEntry> out;
        for (const std::string& name : names)
            out.push_back({asOnDisk ? name : TitleCase(name), name, marker});
        SortByShownName(out);
        return out;
    };
    const std::vector<CPickEntry> folders = entries(folderNames, kAttrDirectory);
    const std::vector<CPickEntry> files = entries(fileNames, kAttrNormal);
    rows.insert(rows.end(), folders.begin(), folders.end());
    rows.insert(rows.end(), files.begin(), files.end());
    return rows;
}
