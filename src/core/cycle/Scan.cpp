#include "core/cycle/Scan.h"

#include "core/cycle/CycleContext.h"
#include "core/settings/Settings.h"
#include "platform/FileSystem.h"
#include "platform/FolderWatch.h"

#include <chrono>

namespace {
std::int64_t WallNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}
}  // namespace

ESettle LookSettled(CWorkList& work, const std::string& path, const fsys::FileStamp& stamp,
                    fsys::EWriters writers)
{
    return work.m_settle.Look(path, stamp, writers, SteadyNowMs(), WallNs());
}

void ScanSourceFolders(const CSettings& settings, CWorkList& work, const CScanScope& scope)
{
    work.m_fileList.clear();
    work.m_nFileCount = 0;
    work.m_nFileIndex = 0;
    work.m_skippedLinks.clear();
    work.m_skippedUnmarked.clear();
    work.m_scannedIds.clear();
    work.m_held.clear();
    work.m_settling.clear();
    // A narrow scan looks again at what the last one left waiting, beside the new names.
    std::map<std::string, std::set<std::string>> only;
    if (!scope.all) {
        only = scope.names;
        for (const std::string& path : work.m_seenWritable) {
            const std::size_t slash = path.rfind('/');
            only[path.substr(0, slash + 1)].insert(path.substr(slash + 1));
        }
    }
    work.m_seenWritable.clear();
    work.m_settle.BeginScan();
    for (int i = 0; i < kSourcePairs; ++i) {
        const std::string& folder = settings.Dir[i];
        if (folder.empty() || settings.Ext[i].empty())
            continue;
        if (scope.all) {
            ScanFolder(folder, settings.Ext[i], work);
            continue;
        }
        const auto names = only.find(folder.back() == '/' ? folder : folder + '/');
        if (names != only.end())
            ScanFolder(folder, settings.Ext[i], work, &names->second);
    }
    work.m_settle.EndScan();
}

void ScanFolder(const std::string& folder, const std::string& ext, CWorkList& work,
                const std::set<std::string>* only)
{
    // The folder text is a prefix by design, but one typed without its final separator must
    // still name the folder: "…/dict" + "a.wav" would be a file that does not exist, and its
    // failed put would stop every pass for good.
    if (folder.empty())
        return;
    std::string prefix = folder;
    if (prefix.back() != '/')
        prefix += '/';
    const auto look = [only](std::string_view name) {
        return !only || only->count(std::string(name)) > 0;
    };
    for (const fsys::DirEntry& e : fsys::FindFiles(prefix, "*." + ext, look)) {
        // Opening a pipe named like a recording would block the cycle for good.
        if (e.isDirectory || e.special || e.readOnly)
            continue;
        if (!work.m_scannedIds.insert({e.dev, e.ino}).second)
            continue;
        const std::string path = prefix + e.name;
        work.m_seenWritable.insert(path);
        if (e.isLink) {
            work.m_skippedLinks.push_back(path);
            continue;
        }
        if (work.m_local.Has(CLocalState::EKind::Unmarked, path, e.stamp)) {
            work.m_skippedUnmarked.push_back(path);
            continue;
        }
        // A recording still being written would be sent cut short and then marked done. A file
        // that looks finished is probed once, on the descriptor its upload reads; only a young
        // one is probed here, to tell a writer at work from a file closed a moment ago.
        const bool quiet = work.m_settle.ReadyUnlessWritten(path, e.stamp, SteadyNowMs(), WallNs());
        const ESettle settle =
            LookSettled(work, path, e.stamp, quiet ? fsys::EWriters::None : fsys::WritersOf(path));
        if (settle != ESettle::Ready) {
            (settle == ESettle::Held ? work.m_held : work.m_settling).push_back(path);
            continue;
        }
        const std::size_t index = static_cast<std::size_t>(work.m_nFileIndex);
        if (work.m_fileList.size() <= index)
            work.m_fileList.resize(index + 1);
        work.m_fileList[index] = path;
        ++work.m_nFileCount;
        ++work.m_nFileIndex;
    }
}
