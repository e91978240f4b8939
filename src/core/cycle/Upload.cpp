#include "core/cycle/Upload.h"

#include "core/cycle/Archive.h"
#include "core/cycle/CycleContext.h"
#include "core/cycle/Lanes.h"
#include "core/cycle/Scan.h"
#include "core/cycle/TransferProgress.h"
#include "core/ftp/FtpConnect.h"
#include "core/ftp/MyInternetSession.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"
#include "platform/LocalFile.h"
#include "platform/Format.h"
#include "platform/FolderWatch.h"
#include "platform/WavLength.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

void CloseConnection(CWorkList& work)
{
    if (work.m_pFtpConnection) {
        work.m_pFtpConnection->Close();
        work.m_pFtpConnection.reset();
    }
}

enum class PutResult { Whole, FileRefused, FileChanged, ConnectionFailed };

// The server ended the session under us (its 421, a reset): no fault of the file or the link.
bool SessionClosed(unsigned long error)
{
    return error == inet::kErrConnectionAborted || error == inet::kErrConnectionReset ||
           error == 12111;
}

// A put counts only when the server holds every byte: a server that acknowledges a cut
// transfer would otherwise get a partial recording announced and the original marked sent.
// A refusal that concerns this file alone (the server's error reply to its STOR, a copy of
// another size, a name the path cannot carry) must not hold back the files after it.
PutResult PutWhole(IAgentEvents& events, IFtpConnection& ftp, int local, const std::string& name,
                   const std::string& remote, const fsys::FileStamp& before)
{
    bool put;
    {
        const CProgressReport progress(events, ftp, EDirection::Up, name);
        put = ftp.PutFileOfSize(local, remote, before.size);
    }
    if (!put) {
        // Cut short or rewritten since it was opened: the file's own doing, not the link's.
        if (fsys::StampOf(local) != before)
            return PutResult::FileChanged;
        const unsigned long error = ftp.LastError();
        return error == inet::kErrExtended || error == inet::kErrInvalidUrl
                   ? PutResult::FileRefused
                   : PutResult::ConnectionFailed;
    }
    const std::optional<std::uint64_t> remoteSize = ftp.GetRemoteSize(remote);
    return !remoteSize || *remoteSize == before.size ? PutResult::Whole : PutResult::FileRefused;
}

ev::EPutFault PutFault(unsigned long error)
{
    return error == inet::kErrTimeout ? ev::EPutFault::Timeout
           : SessionClosed(error)     ? ev::EPutFault::Closed
                                      : ev::EPutFault::None;
}

}  // namespace

bool AnnounceUpload(IInternet& internet, const std::string& url, ev::FileFailed* failure)
{
    if (url.empty())
        return false;
    const CWebReply reply = QueueUploadJob(internet, url);
    ev::FileFailed why;
    why.stage = EStage::Notify;
    why.notify = ev::ENotifyFault::NotAccepted;
    if (reply.result == EFetchResult::NoInternet) {
        why.notify = ev::ENotifyFault::NoInternet;
    } else if (reply.result == EFetchResult::UrlFailed) {
        why.notify = reply.sent ? ev::ENotifyFault::Cut : ev::ENotifyFault::Unreachable;
        why.reason = reply.cause;
    } else if (reply.result == EFetchResult::Ok && !reply.Answered()) {
        why.notify = ev::ENotifyFault::Refused;
        why.reason = FaultReason(reply);
    }
    if (failure)
        *failure = std::move(why);
    return reply.Accepted();
}

std::string UploadDirectory(const std::string& ftpTopDir)
{
    return "/" + ftpTopDir + "/nimbreluploads/";
}

namespace {

// A file put whole: announced, and once the service took it, marked sent. The mark and the
// record wait for this file's own accepted notification, whatever the next files do. At exit
// nothing new is announced, but a notification already sent is answered and recorded.
void AnnounceAndMark(CCycleContext& ctx, const fsys::SourceFile& file, const std::string& url,
                     const std::string& local, const std::string& folder, const std::string& name)
{
    CWorkList& work = ctx.work;
    const fsys::FileStamp before = file.stamp;
    if (ctx.cancelled)
        return;  // the file waits, put or not
    ev::FileFailed failure;
    if (!AnnounceUpload(ctx.internet, url, &failure)) {
        failure.path = local;
        // One cut at exit is still said: the service may hold the file already.
        if (!ctx.cancelled || failure.notify == ev::ENotifyFault::Cut)
            ctx.Report(failure);
        return;
    }
    // Recorded at once, before the mark: a run killed between the two marks the file at its
    // next start instead of sending it again. The record is not held behind another session's
    // copy and mark.
    CLocalState& state = work.m_local;
    state.Remember(CLocalState::EKind::Announced, local, before);
    // The disk's part: one session at a time, as the archive folders are shared.
    std::lock_guard<std::mutex> localLock(work.m_localLock);
    if (fsys::StampOf(file.fd.Get()) == before) {
        // Put and announced: sent, whatever becomes of its copy and its mark, whose failures
        // are problems of their own.
        ctx.Report(ev::FileSent{local});
        MarkSent(ctx, file, local, folder, name);
    }
    state.Forget(CLocalState::EKind::Announced, local);
    ReportStateFailure(ctx);
}

// One file of the upload pass on one session. False when the session can carry no more.
bool UploadOne(CLane& lane, CCycleContext& ctx, int index)
{
    CWorkList& work = ctx.work;
    std::unique_ptr<IFtpConnection>& conn = *lane.conn;
    IInternetSession& session = lane.session->Session();
    const std::string uploadDir = UploadDirectory(ctx.endpoints.ftpTopDir);
    const auto close = [&] {
        if (conn) {
            conn->Close();
            conn.reset();
        }
    };
    const std::string local = work.m_fileList[static_cast<std::size_t>(index)];
    const std::size_t slash = local.rfind('/');
    if (slash != std::string::npos && slash > 0 && HasControlChars(local.substr(slash + 1))) {
        // No FTP command can carry it, in this cycle or any other: say so, and go on.
        ctx.Report(ev::FileStarted{local, local.substr(slash + 1), 0, index + 1,
                                   work.m_nFileCount});
        ctx.Report(ev::LocalSkipped{local, ev::ESkip::ControlChar});
        return true;
    }
    // The server keeps the file under the login ID and "_" before its name: a name that no
    // longer fits there is refused at every poll. Said once a run; the tray keeps it.
    const std::size_t remoteLength =
        slash == std::string::npos ? 0 : ctx.settings.Author.size() + local.size() - slash;
    if (remoteLength > kMaxRemoteName) {
        std::unique_lock<std::mutex> localLock(work.m_localLock);
        if (work.m_local.FirstTime("long:" + local)) {
            localLock.unlock();
            ctx.Report(ev::LocalSkipped{local, ev::ESkip::NameTooLong, {}, remoteLength,
                                        kMaxRemoteName});
        }
        return true;
    }
    const auto connect = [&] {
        if (!ConnectFtpWithRetries(ctx.events, session, kUploadAccount, ctx.endpoints.ftpHost,
                                   ctx.settings.PASV, ctx.cancelled, conn))
            return false;
        ctx.Report(ev::FtpReady{kUploadAccount});
        conn->SetCurrentDirectory(uploadDir);
        return true;
    };
    const IFtpConnection* previous = conn.get();
    if (!connect())
        return false;
    const bool kept = previous && previous == conn.get();
    if (slash == std::string::npos || slash == 0)
        return true;

    const std::string folder = local.substr(0, slash);
    const std::string name = local.substr(slash + 1);
    const std::string remote = ctx.settings.Author + "_" + name;
    conn->SetCurrentDirectory(uploadDir);
    // Opened once, never through a link; the put, the checks and the mark all use it.
    std::string why;
    std::optional<fsys::SourceFile> file = fsys::OpenSource(local, &why);
    ctx.Report(ev::FileStarted{local, name, file ? file->stamp.size : 0, index + 1,
                               work.m_nFileCount});
    if (!file) {
        // Gone since the scan, replaced by a link, or unreadable to us: a fault of this file
        // alone, which must not hold back the files after it.
        ctx.Report(ev::FileFailed{local, EStage::Read, why});
        close();
        return true;
    }
    const fsys::FileStamp before = file->stamp;
    {
        // Written to again since the scan: it goes when it is finished, not in part now.
        std::unique_lock<std::mutex> localLock(work.m_localLock);
        const ESettle settle = LookSettled(work, local, before, fsys::WritersOfFd(file->fd.Get()));
        if (settle != ESettle::Ready) {
            const bool tell = settle == ESettle::Held && work.m_settle.FirstTold(local);
            (settle == ESettle::Held ? work.m_held : work.m_settling).push_back(local);
            localLock.unlock();
            if (tell)
                ctx.Report(ev::FileHeldBack{local});
            return true;
        }
    }
    PutResult put = PutWhole(ctx.events, *conn, file->fd.Get(), name, remote, before);
    if (put == PutResult::ConnectionFailed && kept && !ctx.cancelled &&
        SessionClosed(conn->LastError())) {
        // A kept session may close between the check and the put (a 421 still on its way):
        // this file gets a new session, with the attempts of any connect. Nothing was
        // announced yet, so a second put only replaces the server's copy.
        close();
        if (!connect())
            return false;
        conn->SetCurrentDirectory(uploadDir);
        put = PutWhole(ctx.events, *conn, file->fd.Get(), name, remote, before);
    }
    if (put == PutResult::FileChanged && !ctx.cancelled) {
        // Nothing announced; it goes whole with a later cycle, on a fresh session.
        ctx.Report(ev::FileChanged{local});
        close();
        return true;
    }
    if (put != PutResult::Whole) {
        // A put aborted at exit is not reported after the log's shutdown block.
        const unsigned long error = conn->LastError();
        if (!ctx.cancelled)
            ctx.Report(ev::FileFailed{local, EStage::Put, {}, PutFault(error)});
        close();
        return put == PutResult::FileRefused && !ctx.cancelled;
    }
    ctx.Report(ev::FileDone{EDirection::Up, name});

    // What is announced must be what was sent: a file written to or still growing during its
    // put is not announced, and goes whole with a later cycle. (One deleted or replaced
    // meanwhile was still read whole through its descriptor.)
    if (fsys::StampOf(file->fd.Get()) != before) {
        ctx.Report(ev::FileChanged{local});
        return true;
    }
    const std::string length = FormatLengthText(GetWavLength(local, file->fd.Get()));
    const std::string url = UploadNotifyUrl(ctx.endpoints, ctx.settings.Author, remote, length);
    // The notification and the disk's part go beside the next file's FTP steps.
    auto sent = std::make_shared<fsys::SourceFile>(std::move(*file));
    lane.then = [sent, url, local, folder, name](CCycleContext& fileCtx) {
        AnnounceAndMark(fileCtx, *sent, url, local, folder, name);
    };
    return true;  // the session stays open for the next file
}

}  // namespace

void UploadFiles(CCycleContext& ctx)
{
    CWorkList& work = ctx.work;
    std::unique_ptr<CMyInternetSession> owner = OpenTransferSession(ctx.internet);
    if (!owner) {
        ReportConnectFailure(ctx.events, kUploadAccount);
        return;
    }
    work.m_nFileIndex = 0;
    if (work.m_nFileCount > 0)
        ctx.Report(ev::TransfersBegin{EDirection::Up, work.m_nFileCount});
    const int sessions = SessionsFor(work.m_nFileCount, ctx.internet.MostFtpSessions());
    // A cycle whose time is spent ends: the files left wait for the next poll.
    RunLanes(ctx, work.m_nFileCount, sessions, kUploadAccount, true,
             [&](CLane& lane, CCycleContext& fileCtx, int index) {
                 if (lane.number == 0 && !lane.session)
                     lane.session = std::move(owner);
                 return UploadOne(lane, fileCtx, index);
             });
    CloseConnection(work);
}
