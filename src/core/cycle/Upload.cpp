#include "core/cycle/Upload.h"

#include "core/cycle/Archive.h"
#include "core/cycle/CycleContext.h"
#include "core/cycle/Scan.h"
#include "core/display/Display.h"
#include "core/ftp/FtpConnect.h"
#include "core/ftp/MyInternetSession.h"
#include "core/resources/Resources.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"
#include "platform/LocalFile.h"
#include "platform/Format.h"
#include "platform/FolderWatch.h"
#include "platform/WavLength.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

void CloseConnection(CWorkList& work)
{
    if (work.m_pFtpConnection) {
        work.m_pFtpConnection->Close();
        work.m_pFtpConnection.reset();
    }
}

enum class PutResult { Whole, FileRefused, ConnectionFailed };

// A put counts only when the server holds every byte: a server that acknowledges a cut
// transfer would otherwise get a partial recording announced and the original marked sent.
// A refusal that concerns this file alone (the server's error reply to its STOR, a copy of
// another size, a name the path cannot carry) must not hold back the files after it.
PutResult PutWhole(IFtpConnection& ftp, int local, const std::string& remote,
                   const fsys::FileStamp& before)
{
    if (!ftp.PutFile(local, remote)) {
        const unsigned long error = ftp.LastError();
        return error == inet::kErrExtended || error == inet::kErrInvalidUrl
                   ? PutResult::FileRefused
                   : PutResult::ConnectionFailed;
    }
    const std::optional<std::uint64_t> remoteSize = ftp.GetRemoteSize(remote);
    return !remoteSize || *remoteSize == before.size ? PutResult::Whole : PutResult::FileRefused;
}

// `why`, when given, goes before the fail lines as a line of its own.
void ReportPutFailure(CCycleContext& ctx, const std::string& local, EStage stage,
                      const std::string& why = {})
{
    CAgentEvent e{EEvent::FileFailed, local, why};
    e.stage = stage;
    ctx.Report(e);
}

}  // namespace

bool AnnounceUpload(IDisplay& display, IInternet& internet, const std::string& url,
                    const std::atomic<bool>* cancelled, std::string* failure)
{
    if (url.empty())
        return false;
    const CWebReply reply = QueueUploadJob(internet, url);
    std::string why;
    if (reply.result == EFetchResult::NoInternet) {
        display.MessageBox(kInternetOpenFailed);
        why = "InternetOpen Failed: the service was not told of this file; it is sent again at "
              "the next poll.";
    } else if (reply.result == EFetchResult::UrlFailed && !(cancelled && cancelled->load())) {
        // Nobody may be at the desk: the box must not hold the cycle, and the window and the
        // log keep the failure after it is closed.
        display.PostMessageBox(kNoNetworkAccess);
        why = "No Network Access.: the service was not told of this file; it is sent again at "
              "the next poll.";
    }
    if (failure)
        *failure = std::move(why);
    return reply.Accepted();
}

std::string UploadDirectory(const std::string& ftpTopDir)
{
    return "/" + ftpTopDir + "/nimbreluploads/";
}

void UploadFiles(CCycleContext& ctx)
{
    CWorkList& work = ctx.work;
    std::unique_ptr<CMyInternetSession> owner = OpenTransferSession(ctx.internet);
    if (!owner) {
        ReportConnectFailure(ctx.display, ctx.events, kUploadAccount);
        return;
    }
    IInternetSession& session = owner->Session();
    const std::string uploadDir = UploadDirectory(ctx.endpoints.ftpTopDir);

    work.m_nFileIndex = 0;
    if (work.m_nFileCount > 0)
        ctx.display.WriteLogLine(Format("UPLOADing %d files", work.m_nFileCount));
    while (work.m_nFileIndex < work.m_nFileCount && !ctx.cancelled) {
        const std::string local = work.m_fileList[static_cast<std::size_t>(work.m_nFileIndex)];
        const std::size_t slash = local.rfind('/');
        if (slash != std::string::npos && slash > 0 && HasControlChars(local.substr(slash + 1))) {
            // No FTP command can carry it, in this cycle or any other: say so, and go on.
            ctx.display.AddWindowLine(Format("%s - %d of %d Uploading %s",
                                             ctx.display.GetTimeText().c_str(),
                                             work.m_nFileIndex + 1, work.m_nFileCount,
                                             EscapeControlChars(local.substr(slash + 1)).c_str()));
            CAgentEvent skipped{EEvent::LocalSkipped, local,
                                "The name \"" + EscapeControlChars(local.substr(slash + 1)) +
                                    "\" holds a control character and cannot be sent. Rename "
                                    "the file."};
            skipped.stage = EStage::Put;
            ctx.Report(skipped);
            ++work.m_nFileIndex;
            continue;
        }
        if (!ConnectFtpWithRetries(ctx.display, session, kUploadAccount, ctx.endpoints.ftpHost,
                                   ctx.settings.PASV, ctx.cancelled, work.m_pFtpConnection,
                                   ctx.events)) {
            return;
        }
        IFtpConnection& ftp = *work.m_pFtpConnection;
        ctx.display.SetStatusText("Connected to Tolvane Server");
        ftp.SetCurrentDirectory(uploadDir);

        if (slash != std::string::npos && slash > 0) {
            const std::string folder = local.substr(0, slash);
            const std::string name = local.substr(slash + 1);
            const std::string remote = ctx.settings.Author + "_" + name;
            ctx.display.AddWindowLine(
                Format("%s - %d of %d Uploading %s", ctx.display.GetTimeText().c_str(),
                       work.m_nFileIndex + 1, work.m_nFileCount, name.c_str()));
            ftp.SetCurrentDirectory(uploadDir);
            // Opened once, never through a link; the put, the checks and the mark all use it.
            std::string why;
            std::optional<fsys::SourceFile> file = fsys::OpenSource(local, &why);
            if (!file) {
                // Gone since the scan, replaced by a link, or unreadable to us: a fault of this
                // file alone, which must not hold back the files after it.
                ReportPutFailure(ctx, local, EStage::Read,
                                 EscapeControlChars(name) + " could not be read: " + why + ".");
                CloseConnection(work);
                ++work.m_nFileIndex;
                continue;
            }
            const fsys::FileStamp before = file->stamp;
            // Written to again since the scan: it goes when it is finished, not in part now.
            if (LookSettled(work, local, before, fsys::WritersOfFd(file->fd.Get())) !=
                ESettle::Ready) {
                if (work.m_settle.FirstTold(local))
                    ctx.Report({EEvent::FileHeldBack, local});
                work.m_held.push_back(local);
                ++work.m_nFileIndex;
                continue;
            }
            const PutResult put = PutWhole(ftp, file->fd.Get(), remote, before);
            if (put != PutResult::Whole) {
                // A put aborted at exit is not reported after the log's shutdown block.
                if (!ctx.cancelled)
                    ReportPutFailure(ctx, local, EStage::Put,
                                     ftp.LastError() == inet::kErrTimeout
                                         ? "Sending " + name +
                                               " timed out: the server stopped answering."
                                         : std::string());
                CloseConnection(work);
                if (put == PutResult::FileRefused && !ctx.cancelled) {
                    ++work.m_nFileIndex;
                    continue;
                }
                owner.reset();
                return;
            }
            ctx.display.LogTransfer(name);
            ctx.display.AddWindowLine(
                Format("%s - .. Done.\r\n", ctx.display.GetTimeText().c_str()));

            // What is announced must be what was sent: a file written to or still growing
            // during its put is not announced, and goes whole with a later cycle. (One deleted
            // or replaced meanwhile was still read whole through its descriptor.)
            if (fsys::StampOf(file->fd.Get()) != before) {
                ReportLocalLine(ctx, name +
                                         " changed while it was sent: not announced, it is "
                                         "sent again at the next poll.");
            } else {
                const std::string length = FormatLengthText(GetWavLength(local, file->fd.Get()));
                const std::string url =
                    UploadNotifyUrl(ctx.endpoints, ctx.settings.Author, remote, length);
                std::string failure;
                if (!AnnounceUpload(ctx.display, ctx.internet, url, &ctx.cancelled, &failure)) {
                    if (!ctx.cancelled)
                        ReportPutFailure(ctx, local, EStage::Notify, failure);
                } else if (fsys::StampOf(file->fd.Get()) == before &&
                           MarkSent(ctx, *file, local, folder, name)) {
                    ctx.Report({EEvent::FileSent, local});
                }
            }
        }
        ++work.m_nFileIndex;  // the session stays open for the next file
    }
    CloseConnection(work);
}
