#include "core/cycle/Archive.h"

#include "core/cycle/CycleContext.h"
#include "core/cycle/Upload.h"
#include "platform/Format.h"
#include "platform/LocalFile.h"

#include <algorithm>

namespace {

using EKind = CLocalState::EKind;

std::string Folder(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Name(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

// The archive folder is opened once a pass; before each copy one look at its name tells
// whether it is still the folder there (not removed, renamed or replaced meanwhile). A
// `tolvane` that is a link is refused: the copies would land wherever it points.
bool ArchiveCopy(CCycleContext& ctx, const fsys::SourceFile& file, const std::string& folder,
                 const std::string& name, std::string* why, int mode = -1)
{
    CWorkList& work = ctx.work;
    const std::string archive = folder + "/" + kArchiveFolder;
    auto known = work.m_archiveDirs.find(folder);
    if (known == work.m_archiveDirs.end() ||
        fsys::SubfolderId(known->second.source.Get(), kArchiveFolder) != known->second.id) {
        if (known != work.m_archiveDirs.end())
            work.m_archiveDirs.erase(known);
        std::optional<fsys::CFd> dir = fsys::OpenFolder(folder, false, why);
        if (!dir || !fsys::EnsureSubfolder(dir->Get(), kArchiveFolder, why))
            return false;
        std::optional<fsys::CFd> into = fsys::OpenFolder(archive, true, why);
        if (!into)
            return false;
        const std::optional<fsys::FileId> id = fsys::IdOfFd(into->Get());
        if (!id)
            return fsys::CopyInto(file, into->Get(), archive + "/", name,
                                  &work.m_local.Temps(), why, mode, &work.m_copyHints);
        known = work.m_archiveDirs
                    .emplace(folder, CWorkList::CArchiveDir{std::move(*dir), std::move(*into), *id})
                    .first;
    }
    return fsys::CopyInto(file, known->second.archive.Get(), archive + "/", name,
                          &work.m_local.Temps(), why, mode, &work.m_copyHints);
}

// A problem of the file each time; its line once a run.
void ArchiveFailed(CCycleContext& ctx, const std::string& local, const std::string& why)
{
    ev::FileFailed e{local, EStage::Archive, why};
    e.tell = ctx.work.m_local.FirstTime("archive:" + local);
    ctx.Report(e);
}

// Said at each failed mark, and of a remembered file once a run.
void UnmarkedLine(CCycleContext& ctx, const std::string& local, const std::string& why)
{
    ev::FileFailed e{local, EStage::Mark, why};
    e.tell = ctx.work.m_local.FirstTime("mark:" + local) || !why.empty();
    ctx.Report(e);
}

}  // namespace

bool MarkSent(CCycleContext& ctx, const fsys::SourceFile& file, const std::string& local,
              const std::string& folder, const std::string& name)
{
    CLocalState& state = ctx.work.m_local;
    std::string why;
    const bool archived = ArchiveCopy(ctx, file, folder, name, &why);
    if (archived) {
        state.Forget(EKind::Unarchived, local);
    } else {
        // With the mode as read: a later copy must not take the read-only mark for its own.
        state.Remember(EKind::Unarchived, local, file.stamp, static_cast<int>(file.mode));
        ArchiveFailed(ctx, local, why);
    }
    // The mark goes only on the content that was sent: a file written to since keeps waiting.
    if (fsys::StampOf(file.fd.Get()) != file.stamp)
        return false;
    if (fsys::ClearWriteBits(file, &why)) {
        state.RememberMark(local, file.stamp, file.mode & 0222u);
        return archived;
    }
    state.Remember(EKind::Unmarked, local, file.stamp);
    UnmarkedLine(ctx, local, why);
    return false;
}

void RetryArchives(CCycleContext& ctx)
{
    CLocalState& state = ctx.work.m_local;
    for (const CLocalState::CEntry& e : state.Entries(EKind::Unarchived)) {
        std::string why;
        std::optional<fsys::SourceFile> file = fsys::OpenSource(e.path, &why);
        // Gone, changed or made writable again: the author has taken it over.
        if (!file || file->stamp != e.stamp ||
            (!state.Has(EKind::Unmarked, e.path, e.stamp) && !fsys::IsReadOnly(e.path))) {
            state.Forget(e.kind, e.path);
            continue;
        }
        if (!ArchiveCopy(ctx, *file, Folder(e.path), Name(e.path), &why, e.mode)) {
            ArchiveFailed(ctx, e.path, why);
            continue;
        }
        state.Forget(e.kind, e.path);
        ctx.Report(ev::FileArchived{e.path, state.Has(EKind::Unmarked, e.path, e.stamp)});
    }
}

void MarkAnnounced(CCycleContext& ctx)
{
    CLocalState& state = ctx.work.m_local;
    for (const CLocalState::CEntry& e : state.Entries(EKind::Announced)) {
        std::string why;
        std::optional<fsys::SourceFile> file = fsys::OpenSource(e.path, &why);
        // Changed or gone since: what the service has is not this file any more.
        if (file && file->stamp == e.stamp && !fsys::IsReadOnly(e.path)) {
            ctx.Report(ev::SentBeforeStop{e.path});
            if (MarkSent(ctx, *file, e.path, Folder(e.path), Name(e.path)))
                ctx.Report(ev::FileSent{e.path});
        }
        state.Forget(e.kind, e.path);
    }
    ReportStateFailure(ctx);
}

void ReportStateFailure(CCycleContext& ctx)
{
    CLocalState& state = ctx.work.m_local;
    const std::string why = state.TakeWriteFailure();
    if (why.empty() || !state.FirstTime("state-folder"))
        return;
    ctx.Report(ev::LocalSkipped{state.Folder(), ev::ESkip::StateFolder, why});
}

void ReportSkipped(CCycleContext& ctx)
{
    CWorkList& work = ctx.work;
    // A remembered file that changed, went or was marked since is the author's again. Here, on
    // the worker: the window's own scans only read the record.
    for (const CLocalState::CEntry& e : work.m_local.Entries(EKind::Unmarked)) {
        if (fsys::GetFileStamp(e.path) != e.stamp || fsys::IsReadOnly(e.path))
            work.m_local.Forget(e.kind, e.path);
    }
    for (const std::string& link : work.m_skippedLinks)
        if (work.m_local.FirstTime("link:" + link))
            ctx.Report(ev::LinkSkipped{link});
    for (const std::string& local : work.m_skippedUnmarked) UnmarkedLine(ctx, local, "");

    ev::FilesWaiting waiting;
    waiting.paths.assign(work.m_fileList.begin(),
                         work.m_fileList.begin() + std::max(0, work.m_nFileCount));
    waiting.paths.insert(waiting.paths.end(), work.m_skippedUnmarked.begin(),
                         work.m_skippedUnmarked.end());
    for (const CLocalState::CEntry& e : work.m_local.Entries(EKind::Unarchived))
        waiting.paths.push_back(e.path);
    waiting.paths.insert(waiting.paths.end(), work.m_held.begin(), work.m_held.end());
    waiting.paths.insert(waiting.paths.end(), work.m_settling.begin(), work.m_settling.end());
    ctx.Report(waiting);
    // Only a file a writer holds, or one that changed while it waited, is said to be written.
    for (const std::string& held : work.m_held)
        if (work.m_settle.FirstTold(held))
            ctx.Report(ev::FileHeldBack{held});
}
