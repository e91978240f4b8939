#include "core/cycle/Download.h"

#include "core/cycle/CycleContext.h"
#include "core/cycle/Lanes.h"
#include "core/cycle/TransferProgress.h"
#include "core/ftp/FtpConnect.h"
#include "core/ftp/MyInternetSession.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"
#include "platform/Format.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/LocalFile.h"
#include "platform/StateFolder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <functional>
#include <optional>

namespace {

constexpr char kSeparator = '/';

std::string UseDefaultFolder(CCycleContext& ctx)
{
    const std::string folder = DefaultDownloadFolder();
    const std::string download = folder.substr(0, folder.size() - 1);
    EnsureFolder(download.substr(0, download.rfind(kSeparator)));
    EnsureFolder(download);
    // Only for this run: the stored setting stays empty, and a reload meanwhile wins.
    ctx.record.Update([&](CSettings& s) {
        if (s.TDir.empty())
            s.TDir = folder;
    });
    ctx.settings.TDir = folder;
    return folder;
}

// "letter (kept 2026-12-07 09-05-03).rtf", beside the original. The rename never replaces, so
// the author's copy kept a moment ago under the same second is never written over.
bool KeepAside(int dir, const std::string& name, std::string* kept, std::string* why)
{
    const std::size_t dot = name.rfind('.');
    const bool hasExt = dot != std::string::npos && dot > 0;
    const std::string stem = hasExt ? name.substr(0, dot) : name;
    const std::string ext = hasExt ? name.substr(dot) : std::string();
    const std::time_t now = CSystemClock().Now();
    std::tm tm{};
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &tm);
    for (int n = 1; n < 100; ++n) {
        // Appended piece by piece: GCC 12 warns (-Wrestrict) on `" " + std::to_string(n)`.
        std::string candidate = stem + " (kept " + stamp;
        if (n > 1)
            candidate.append(" ").append(std::to_string(n));
        candidate.append(")").append(ext);
        if (fsys::RenameNoReplace(dir, name, candidate, why)) {
            *kept = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    *why = "No free name to keep the earlier copy";
    return false;
}

// Gets one file into an unnamed file and names it only when whole. False on failure, with its
// wording in *why (which stays empty for an internet error code that has no sentence) and
// *local set when our side failed (the folder, the disk). A different file already under the
// name (an author's edited copy of an earlier download) is kept beside it, named in *kept; the
// same content is left as it is.
bool FetchInto(CCycleContext& ctx, IFtpConnection& conn, const std::string& remotePath, int dir,
               const std::string& folder, const std::string& name, std::string* why,
               std::string* kept, bool* local)
{
    *local = true;
    std::unique_lock<std::mutex> localLock(ctx.work.m_localLock);
    std::optional<fsys::CNewFile> file =
        fsys::CNewFile::Create(dir, folder, name, &ctx.work.m_local.Temps(), why);
    localLock.unlock();
    if (!file)
        return false;
    bool got;
    {
        const CProgressReport progress(ctx.events, conn, EDirection::Down, name);
        got = conn.GetFile(remotePath, file->Fd());
    }
    // Held from here to the end: the unnamed file's discard also touches the shared record.
    localLock.lock();
    if (!got) {
        // A full disk is the system's to word: the internet numbering only says "internal".
        *why = conn.LastLocalError();
        *local = !why->empty();
        if (why->empty())
            *why = GetInternetErrorText(conn.LastError());
        return false;
    }
    // Two sessions may bring documents of one name (a list naming one twice): one at a time
    // decides which copy stays.
    switch (fsys::EntryKind(dir, name)) {
        case fsys::EEntry::None:
            break;
        case fsys::EEntry::File:
            if (fsys::SameContent(file->Fd(), dir, name))
                return true;
            if (!KeepAside(dir, name, kept, why)) {
                kept->clear();
                return false;
            }
            break;
        case fsys::EEntry::Other:
            *why = "A folder or link of that name is in the way";
            return false;
    }
    return file->Publish(name, false, why);
}

void ReportFailure(CCycleContext& ctx, IFtpConnection& conn, const std::string& name,
                   const std::string& why, bool local)
{
    // Missing only when the server refused the get and does not list the name: a get cut by
    // the link, or a listing that failed, says nothing of what the server holds.
    const bool missing = !local && conn.LastError() == inet::kErrExtended && !conn.FindFile(name) &&
                         !ctx.internet.WaitBudgetSpent();
    ctx.Report(ev::DocumentFailed{name, local ? EStage::Save : EStage::Fetch, why, missing});
}

void ReportRefused(CCycleContext& ctx, const std::string& name)
{
    ctx.Report(ev::DocumentFailed{name, EStage::Name});
}

// Fetched: on disk, its confirmation under way.
enum class EDocument { Fetched, NotFetched, SessionLost };

// One document of the download pass on one session.
EDocument DownloadOne(CLane& lane, CCycleContext& ctx, const std::string& sourceDir,
                      const std::string& folder, int dir, const std::string& folderError,
                      int index, const std::function<void()>& confirmed)
{
    CWorkList& work = ctx.work;
    const std::string name = work.m_fileList[static_cast<std::size_t>(index)];
    const std::string remotePath = sourceDir + "/" + name;
    if (!IsSafeDownloadName(name) || folder.size() + name.size() > kMaxDownloadPath ||
        remotePath.size() > kMaxDownloadPath) {
        ReportRefused(ctx, name);
        return EDocument::NotFetched;
    }
    if (!lane.session) {
        if (!ctx.cancelled.load())
            ReportConnectFailure(ctx.events, kDownloadAccount);
        return EDocument::SessionLost;
    }
    std::unique_ptr<IFtpConnection>& slot = *lane.conn;
    if (!ConnectFtpWithRetries(ctx.events, lane.session->Session(), kDownloadAccount,
                               ctx.endpoints.ftpHost, ctx.settings.PASV, ctx.cancelled, slot))
        return EDocument::SessionLost;
    IFtpConnection& conn = *slot;
    ctx.Report(ev::FtpReady{kDownloadAccount});
    conn.SetCurrentDirectory(sourceDir);

    ctx.Report(ev::DocumentStarted{name, folder, index + 1, work.m_nFileCount});
    std::string why = folderError;
    std::string kept;
    bool local = true;
    if (dir >= 0 && FetchInto(ctx, conn, remotePath, dir, folder, name, &why, &kept, &local)) {
        if (!kept.empty())
            ctx.Report(ev::DocumentKept{name, folder, kept});
        ctx.Report(ev::FileDone{EDirection::Down, name});
        // Confirmed beside the next document's FTP steps. The answer's text is not read; a
        // confirmation the service did not take leaves the document listed, and the author
        // is told.
        const std::string url =
            DownloadConfirmUrl(ctx.endpoints, ctx.settings.Author, ctx.settings.Password,
                               work.m_fileIds[static_cast<std::size_t>(index)]);
        lane.then = [url, name, confirmed](CCycleContext& fileCtx) {
            if (fileCtx.cancelled.load())
                return;  // at exit: the document stays listed and comes again
            const CWebReply reply = ConfirmDownload(fileCtx.internet, url);
            if (reply.result == EFetchResult::NoInternet)
                ReportNoInternet(fileCtx.events);
            if (reply.Answered()) {
                fileCtx.Report(ev::DocumentFetched{name});
                if (confirmed)
                    confirmed();
            } else if (!fileCtx.cancelled.load()) {
                fileCtx.Report(ev::DocumentFailed{name, EStage::Confirm, FaultReason(reply)});
            }
        };
        return EDocument::Fetched;
    } else if (!ctx.cancelled.load() && (local || !ctx.internet.WaitBudgetSpent())) {
        // A get aborted at exit, or cut when the cycle's time ran out, is no failure to report:
        // the document stays listed and is fetched at a later cycle.
        ReportFailure(ctx, conn, name, why, local);
    }
    return EDocument::NotFetched;
}

}  // namespace

void EnsureFolder(const std::string& path)
{
    fsys::CreateFolder(path);
}

std::string DefaultDownloadFolder()
{
    return fsys::HomeFolder() + "/nimbrel/download/";
}

bool IsSafeDownloadName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of("/\\") == std::string::npos && !HasControlChars(name);
}

int DownloadFiles(CCycleContext& ctx, const std::string& sourceDir)
{
    CWorkList& work = ctx.work;
    std::unique_ptr<CMyInternetSession> session = OpenTransferSession(ctx.internet);

    std::string folder = ctx.settings.TDir.empty() ? UseDefaultFolder(ctx) : ctx.settings.TDir;
    // A folder typed without its final separator must still name the folder, not prefix the
    // file names of its parent.
    if (folder.back() != kSeparator)
        folder += kSeparator;

    // Opened once for the pass: every file of it lands in this very folder.
    std::string folderError;
    std::optional<fsys::CFd> dir = fsys::OpenFolder(folder, false, &folderError);
    if (!dir && work.m_nFileCount > 0) {
        // Deleted while the agent ran: made again (with its parent, as a first start makes
        // the default one), for the author alone, as downloads are the author's documents.
        const std::string path = folder.substr(0, folder.size() - 1);
        const std::size_t up = path.rfind(kSeparator);
        if (up != std::string::npos && up > 0)
            fsys::CreatePrivateFolder(path.substr(0, up));
        fsys::CreatePrivateFolder(path);
        folderError.clear();
        dir = fsys::OpenFolder(folder, false, &folderError);
        if (!dir)
            folderError = "the download folder " + folder + " cannot be used: " + folderError;
    }

    work.m_nFileIndex = 0;
    ctx.Report(ev::TransfersBegin{EDirection::Down, work.m_nFileCount});

    const auto listed =
        static_cast<int32_t>(std::min(work.m_fileList.size(), work.m_fileIds.size()));
    const int count = std::min(work.m_nFileCount, listed);
    std::atomic<int> fetched{0};
    const int sessions =
        session ? SessionsFor(count, ctx.internet.MostFtpSessions()) : 1;
    // A cycle whose time is spent ends: the documents left are not fetched this time.
    RunLanes(ctx, count, sessions, kDownloadAccount, true,
             [&](CLane& lane, CCycleContext& fileCtx, int index) {
                 if (lane.number == 0 && !lane.session && session)
                     lane.session = std::move(session);
                 const EDocument done =
                     DownloadOne(lane, fileCtx, sourceDir, folder, dir ? dir->Get() : -1,
                                 folderError, index, [&fetched] { ++fetched; });
                 return done != EDocument::SessionLost;
             });
    if (work.m_pFtpConnection)  // the session carried every file of the pass
        work.m_pFtpConnection->Close();
    work.m_pFtpConnection.reset();
    session.reset();
    ctx.Report(ev::DownloadEnded{});
    return fetched.load();
}
