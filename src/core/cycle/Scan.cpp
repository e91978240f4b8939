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

void ScanSourceFolders(const CSettings& settings, CWorkList& work)
{
    work.m_fileList.clear();
    work.m_nFileCount = 0;
    work.m_nFileIndex = 0;
    work.m_skippedLinks.clear();
    work.m_skippedUnmarked.clear();
    work.m_scannedIds.clear();
    work.m_held.clear();
    work.m_settle.BeginScan();
    for (int i = 0; i < kSourcePairs; ++i) {
        if (!settings.Dir[i].empty() && !settings.Ext[i].empty())
            ScanFolder(settings.Dir[i], settings.Ext[i], work);
    }
    work.m_settle.EndScan();
}

void ScanFolder(const std::string& folder, const std::string& ext, CWorkList& work)
{
    // The folder text is a prefix by design, but one typed without its final separator must
    // still name the folder: "…/dict" + "a.wav" would be a file that does not exist, and its
    // failed put would stop every pass for good.
    if (folder.empty())
        return;
    std::string prefix = folder;
    if (prefix.back() != '/')
        prefix += '/';
    for (const fsys::DirEntry& e : fsys::FindFiles(prefix, "*." + ext)) {
        // Opening a pipe named like a recording would block the cycle for good.
        if (e.isDirectory || e.special || e.readOnly)
            continue;
        if (!work.m_scannedIds.insert({e.dev, e.ino}).second)
            continue;
        const std::string path = prefix + e.name;
        if (e.isLink) {
            work.m_skippedLinks.push_back(path);
            continue;
        }
        if (work.m_local.Has(CLocalState::EKind::Unmarked, path, e.stamp)) {
            work.m_skippedUnmarked.push_back(path);
            continue;
        }
        // A recording still being written would be sent cut short and then marked done.
        if (LookSettled(work, path, e.stamp, fsys::WritersOf(path)) != ESettle::Ready) {
            work.m_held.push_back(path);
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
