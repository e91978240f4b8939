#include "ui/dialogs/FolderListing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

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

    std::vector<CPickEntry> folders;
    const QFileInfoList dirInfos = dir.entryInfoList(
        QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& fi : dirInfos) {
        const std::string name = QFile::encodeName(fi.fileName()).toStdString();
        if (name.empty() || name[0] == '.')
            continue;
        folders.push_back({TitleCase(name), name, kAttrDirectory});
    }
    SortByShownName(folders);

    std::vector<CPickEntry> files;
    if (withFiles) {
        dir.setNameFilters(NameFilters(pattern));
        const QFileInfoList fileInfos =
            dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
        for (const QFileInfo& fi : fileInfos) {
            const std::string name = QFile::encodeName(fi.fileName()).toStdString();
            files.push_back({TitleCase(name), name, kAttrNormal});
        }
        SortByShownName(files);
    }
    rows.insert(rows.end(), folders.begin(), folders.end());
    rows.insert(rows.end(), files.begin(), files.end());
    return rows;
}
