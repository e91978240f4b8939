#include "core/cycle/TempSweep.h"

#include "core/cycle/Download.h"
#include "core/cycle/Upload.h"

#include <set>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTagLength = 6;
constexpr std::string_view kPartSuffix = ".part";

bool IsTag(std::string_view tag, bool upperToo)
{
    if (tag.size() != kTagLength)
        return false;
    for (char c : tag) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (upperToo && c >= 'A' && c <= 'Z');
        if (!ok)
            return false;
    }
    return true;
}

// ".NAME.xxxxxx.part", as a download writes before its rename.
bool IsDownloadTemp(std::string_view name)
{
    const std::size_t tail = 1 + kTagLength + kPartSuffix.size();
    if (name.size() < 1 + 1 + tail || name.front() != '.' || !name.ends_with(kPartSuffix))
        return false;
    const std::size_t dot = name.size() - tail;
    return name[dot] == '.' && IsTag(name.substr(dot + 1, kTagLength), false);
}

// "NAME.XXXXXX", as an archive copy writes before its rename; NAME is what it was copying.
std::string_view ArchivedName(std::string_view name)
{
    if (name.size() < 1 + 1 + kTagLength)
        return {};
    const std::size_t dot = name.size() - kTagLength - 1;
    if (name[dot] != '.' || !IsTag(name.substr(dot + 1), true))
        return {};
    return name.substr(0, dot);
}

bool IsStaleFile(const fs::directory_entry& e, fs::file_time_type before)
{
    std::error_code ec;
    // symlink_status: a link named like ours is not ours.
    if (!fs::is_regular_file(e.symlink_status(ec)) || ec)
        return false;
    const fs::file_time_type written = e.last_write_time(ec);
    return !ec && written < before;
}

template <class Ours>
int SweepFolder(const fs::path& folder, fs::file_time_type before, Ours ours)
{
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!ours(it->path().filename().string()) || !IsStaleFile(*it, before))
            continue;
        std::error_code gone;
        if (fs::remove(it->path(), gone))
            ++removed;
    }
    return removed;
}

std::string WithSeparator(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace

int SweepStaleTempFiles(const CSettings& settings, fs::file_time_type agentStart)
{
    int removed = 0;
    const std::string downloads =
        WithSeparator(settings.TDir.empty() ? DefaultDownloadFolder() : settings.TDir);
    removed += SweepFolder(downloads, agentStart, IsDownloadTemp);

    std::set<std::string> seen;  // two pairs may name one folder
    for (const std::string& dir : settings.Dir) {
        const std::string source = WithSeparator(dir);
        if (source.empty() || !seen.insert(source).second)
            continue;
        removed += SweepFolder(source + kArchiveFolder, agentStart, [&](const std::string& name) {
            const std::string_view original = ArchivedName(name);
            std::error_code ec;
            return !original.empty() && fs::is_regular_file(source + std::string(original), ec);
        });
    }
    return removed;
}
