#include "core/cycle/Upload.h"

#include "core/cycle/CycleContext.h"
#include "core/display/Display.h"
#include "core/ftp/FtpConnect.h"
#include "core/ftp/MyInternetSession.h"
#include "core/resources/Resources.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/WavLength.h"

#include <optional>

namespace {

void CloseConnection(CWorkList& work)
{
    if (work.m_pFtpConnection) {
        work.m_pFtpConnection->Close();
        work.m_pFtpConnection.reset();
    }
}

// A put counts only when the server holds every byte: a server that acknowledges a cut
// transfer would otherwise get a partial recording announced and the original marked sent.
bool PutWhole(IFtpConnection& ftp, const std::string& local, const std::string& remote,
              const fsys::FileStamp& before)
{
    if (!ftp.PutFile(local, remote))
        return false;
    const std::optional<std::uint64_t> remoteSize = ftp.GetRemoteSize(remote);
    return !remoteSize || *remoteSize == before.size;
}

void ReportPutFailure(CCycleContext& ctx)
{
    ctx.display.AddWindowLine(
        Format("%s - .. Upload Fail, will attempt later.\r\n", ctx.display.GetTimeText().c_str()));
    ctx.display.WriteLogLine(ctx.display.LineBuffer());
    ctx.display.SetStatusText(".. Upload Fail, will attempt later.");
}

void Archive(const std::string& local, const std::string& folder, const std::string& name)
{
    const std::string archive = folder + "/" + kArchiveFolder;
    fsys::CreateFolder(archive);
    fsys::CopyFileReplacing(local, archive + "/" + name);
    fsys::MarkReadOnly(local);
}

}  // namespace

bool AnnounceUpload(IDisplay& display, IInternet& internet, const std::string& url)
{
    if (url.empty())
        return false;
    display.SetTrayResource(IDI_TRAY_BUSY);
    const CWebReply reply = QueueUploadJob(internet, url);
    if (reply.result == EFetchResult::NoInternet)
        display.MessageBox(kInternetOpenFailed);
    else if (reply.result == EFetchResult::UrlFailed)
        display.MessageBox(kNoNetworkAccess);
    display.SetTrayResource(IDI_TRAY_IDLE);
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
        ctx.display.SetStatusText("Failed to connect to server");
        return;
    }
    IInternetSession& session = owner->Session();
    const std::string uploadDir = UploadDirectory(ctx.endpoints.ftpTopDir);

    work.m_nFileIndex = 0;
    if (work.m_nFileCount > 0)
        ctx.display.WriteLogLine(Format("UPLOADing %d files", work.m_nFileCount));
    while (work.m_nFileIndex < work.m_nFileCount && !ctx.cancelled) {
        if (!ConnectFtpWithRetries(ctx.display, session, kUploadAccount, ctx.endpoints.ftpHost,
                                   ctx.settings.PASV, ctx.cancelled, work.m_pFtpConnection))
            return;
        IFtpConnection& ftp = *work.m_pFtpConnection;
        ctx.display.SetStatusText("Connected to Tolvane Server");
        ctx.display.SetTrayResource(IDI_TRAY_BUSY);
        ftp.SetCurrentDirectory(uploadDir);

        const std::string local = work.m_fileList[static_cast<std::size_t>(work.m_nFileIndex)];
        const std::size_t slash = local.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            const std::string folder = local.substr(0, slash);
            const std::string name = local.substr(slash + 1);
            const std::string remote = ctx.settings.Author + "_" + name;
            ctx.display.AddWindowLine(
                Format("%s - %d of %d Uploading %s", ctx.display.GetTimeText().c_str(),
                       work.m_nFileIndex + 1, work.m_nFileCount, name.c_str()));
            ftp.SetCurrentDirectory(uploadDir);
            const std::optional<fsys::FileStamp> before = fsys::GetFileStamp(local);
            if (!before || !fsys::CanReadFile(local)) {
                // Gone since the scan, or unreadable to us: a fault of this file alone, which
                // must not hold back the files after it in every cycle from now on.
                ReportPutFailure(ctx);
                ctx.display.ChangeTrayIcon();
                CloseConnection(work);
                ++work.m_nFileIndex;
                continue;
            }
            if (!PutWhole(ftp, local, remote, *before)) {
                // A put aborted at exit is not reported after the log's shutdown block.
                if (!ctx.cancelled)
                    ReportPutFailure(ctx);
                CloseConnection(work);
                owner.reset();
                ctx.display.ChangeTrayIcon();
                return;
            }
            ctx.display.LogTransfer(name);
            ctx.display.AddWindowLine(
                Format("%s - .. Done.\r\n", ctx.display.GetTimeText().c_str()));

            const std::string length = FormatLengthText(GetWavLength(local));
            const std::string url =
                UploadNotifyUrl(ctx.endpoints, ctx.settings.Author, remote, length);
            // A file still being written when it was put was sent in part: it stays waiting
            // and goes whole with a later cycle.
            if (AnnounceUpload(ctx.display, ctx.internet, url) &&
                fsys::GetFileStamp(local) == before)
                Archive(local, folder, name);
        }
        ctx.display.ChangeTrayIcon();
        CloseConnection(work);
        ++work.m_nFileIndex;
    }
    work.m_pFtpConnection.reset();
}
