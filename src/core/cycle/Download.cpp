#include "core/cycle/Download.h"

#include "core/cycle/CycleContext.h"
#include "core/display/Display.h"
#include "core/ftp/FtpConnect.h"
#include "core/ftp/MyInternetSession.h"
#include "core/resources/Resources.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"
#include "platform/Format.h"
#include "platform/UserFolders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>


namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
bool EndsWithSeparator(const std::string& path)
{
    return path.back() == '\\' || path.back() == '/';
}
#else
constexpr char kSeparator = '/';
bool EndsWithSeparator(const std::string& path)
{
    return path.back() == '/';
}
#endif


std::string UseDefaultFolder(CCycleContext& ctx)
{
    std::string folder = DefaultDownloadFolder();
    fs::path levels(folder);
    levels = levels.parent_path();  // drop the empty name after the final separator
    EnsureFolder(levels.parent_path().string());
    EnsureFolder(levels.string());
    // Only for this run: the stored setting stays empty, and a reload meanwhile wins.
    ctx.record.Update([&](CSettings& s) {
        if (s.TDir.empty())
            s.TDir = folder;
    });
    ctx.settings.TDir = folder;
    return folder;
}

// A fresh, exclusively created file beside the target. Exclusive creation means no listed
// name (".x.part" included) can make a download write over a file that is already there.
std::string CreateTempFile(const std::string& folder, const std::string& name, std::string* why)
{
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static constexpr char kTag[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string stem = "." + name + ".";
    if (stem.size() + 6 + 5 > 255)
        stem = ".orbidex.";
    int err = EEXIST;
    for (int tries = 0; tries < 100 && err == EEXIST; ++tries) {
        std::string path = folder + stem;
        for (int i = 0; i < 6; ++i) path += kTag[rng() % (sizeof kTag - 1)];
        path += ".part";
        if (std::FILE* f = std::fopen(path.c_str(), "wbx")) {
            std::fclose(f);
            return path;
        }
        err = errno;
    }
    *why = std::error_code(err, std::generic_category()).message();
    return {};
}

bool SameContent(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec)
        return false;
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    char bx[1 << 16], by[1 << 16];
    while (x && y) {
        x.read(bx, sizeof bx);
        y.read(by, sizeof by);
        if (x.gcount() != y.gcount() || std::memcmp(bx, by, static_cast<std::size_t>(x.gcount())))
            return false;
    }
    return x.eof() && y.eof();
}

// "letter (kept 2026-12-07 09-05-03).rtf", beside the original, never over another file.
std::string KeptName(const std::string& folder, const std::string& name)
{
    const fs::path p(name);
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &tm);
    std::error_code ec;
    for (int n = 1; n < 100; ++n) {
        // Appended piece by piece: GCC 12 warns (-Wrestrict) on `" " + std::to_string(n)`.
        std::string kept = p.stem().string() + " (kept " + stamp;
        if (n > 1)
            kept.append(" ").append(std::to_string(n));
        kept.append(")").append(p.extension().string());
        if (!fs::exists(folder + kept, ec))
            return kept;
    }
    return {};
}

// Gets one file through its temporary name. False on failure, with its wording in *why (which
// stays empty for an internet error code that has no sentence) and *local set when the local
// side failed (the folder, the disk). A different file already under the name (an author's
// edited copy of an earlier download) is kept beside it, named in *kept; the same content is
// left as it is.
bool FetchInto(IFtpConnection& conn, const std::string& remotePath, const std::string& folder,
               const std::string& name, std::string* why, std::string* kept, bool* local)
{
    *local = true;
    const std::string temp = CreateTempFile(folder, name, why);
    if (temp.empty())
        return false;
    std::error_code ec;
    if (!conn.GetFile(remotePath, temp)) {
        // A full disk is the system's to word: the internet numbering only says "internal".
        *why = conn.LastLocalError();
        *local = !why->empty();
        if (why->empty())
            *why = GetInternetErrorText(conn.LastError());
        fs::remove(temp, ec);
        return false;
    }
    const std::string target = folder + name;
    if (fs::is_regular_file(target, ec)) {
        if (SameContent(target, temp)) {
            fs::remove(temp, ec);
            return true;
        }
        *kept = KeptName(folder, name);
        if (!kept->empty())
            fs::rename(target, folder + *kept, ec);
        if (kept->empty() || ec) {
            *why = kept->empty() ? "No free name to keep the earlier copy" : ec.message();
            kept->clear();
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        *why = ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

void ReportFailure(CCycleContext& ctx, IFtpConnection& conn, const std::string& name,
                   const std::string& why, bool local)
{
    ++ctx.work.m_faults.transferFailures;
    CAgentEvent e{EEvent::DocumentFailed, name, why};
    e.stage = local ? EStage::Save : EStage::Fetch;
    e.missing = !conn.FindFile(name);
    ctx.Report(e);
}

void ReportRefused(CCycleContext& ctx, const std::string& name)
{
    CAgentEvent e{EEvent::DocumentFailed, name};
    e.stage = EStage::Name;
    ctx.Report(e);
}

}  // namespace

void EnsureFolder(const std::string& path)
{
    std::error_code ec;
    fs::create_directory(path, ec);
}

std::string DefaultDownloadFolder()
{
#ifdef _WIN32
    return "C:\\nimbrel\\download\\";
#else
    return HomeFolder() + "/nimbrel/download/";
#endif
}

bool IsSafeDownloadName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

void DownloadFiles(CCycleContext& ctx, const std::string& sourceDir)
{
    IDisplay& display = ctx.display;
    CWorkList& work = ctx.work;
    std::unique_ptr<CMyInternetSession> session = OpenTransferSession(ctx.internet);
    display.SetStatusText("Starting Download Process");

    std::string folder = ctx.settings.TDir.empty() ? UseDefaultFolder(ctx) : ctx.settings.TDir;
    // A folder typed without its final separator must still name the folder, not prefix the
    // file names of its parent.
    if (!EndsWithSeparator(folder))
        folder += kSeparator;

    work.m_nFileIndex = 0;
    if (work.m_nFileCount > 0)
        display.WriteLogLine(Format("DOWNLOADing %d files", work.m_nFileCount));

    const auto listed =
        static_cast<int32_t>(std::min(work.m_fileList.size(), work.m_fileIds.size()));
    for (; work.m_nFileIndex < work.m_nFileCount && work.m_nFileIndex < listed;
         ++work.m_nFileIndex) {
        if (ctx.cancelled.load())
            break;
        const std::string name = work.m_fileList[work.m_nFileIndex];
        const std::string remotePath = sourceDir + "/" + name;
        if (!IsSafeDownloadName(name) || folder.size() + name.size() > kMaxDownloadPath ||
            remotePath.size() > kMaxDownloadPath) {
            ReportRefused(ctx, name);
            continue;
        }

        if (!session) {
            if (!ctx.cancelled.load())
                ReportConnectFailure(display, ctx.events, kDownloadAccount);
            work.m_faults.unreachable = !ctx.cancelled.load();
            break;
        }
        if (!ConnectFtpWithRetries(display, session->Session(), kDownloadAccount,
                                   ctx.endpoints.ftpHost, ctx.settings.PASV, ctx.cancelled,
                                   work.m_pFtpConnection, ctx.events)) {
            work.m_faults.unreachable = !ctx.cancelled.load();
            break;
        }
        IFtpConnection& conn = *work.m_pFtpConnection;
        display.SetStatusText("Connected to Tolvane Server");
        conn.SetCurrentDirectory(sourceDir);

        display.AddWindowLine(Format("%s - %d of %d Downloading \"%s\" to %s",
                                     display.GetTimeText().c_str(), work.m_nFileIndex + 1,
                                     work.m_nFileCount, name.c_str(), folder.c_str()));
        std::string why;
        std::string kept;
        bool local = false;
        if (FetchInto(conn, remotePath, folder, name, &why, &kept, &local)) {
            if (!kept.empty()) {
                const std::string line = display.GetTimeText() + " - " + name +
                                         " differs from the copy already in " + folder +
                                         ": that copy is kept as " + kept;
                display.AddWindowLine(line);
                display.WriteLogLine(line);
            }
            display.LogTransfer(name);
            display.AddWindowLine(display.GetTimeText() + " - .. Done.\r\n");
            // The answer's text is not read; a confirmation the service did not take leaves
            // the document listed, and the author is told.
            const CWebReply confirmed =
                FetchUrl(ctx.internet, DownloadConfirmUrl(ctx.endpoints, ctx.settings.Author,
                                                          ctx.settings.Password,
                                                          work.m_fileIds[work.m_nFileIndex]));
            if (confirmed.result == EFetchResult::NoInternet)
                ReportNoInternet(display);
            if (confirmed.Answered()) {
                ctx.Report({EEvent::DocumentFetched, name});
            } else if (!ctx.cancelled.load()) {
                CAgentEvent e{EEvent::DocumentFailed, name, FaultReason(confirmed)};
                e.stage = EStage::Confirm;
                ctx.Report(e);
            }
        } else if (!ctx.cancelled.load()) {
            // A get aborted at exit is no failure to report: the file stays listed.
            ReportFailure(ctx, conn, name, why, local);
        }
        conn.Close();
        work.m_pFtpConnection.reset();
    }
    session.reset();
    display.SetStatusText("Orbidex - Idle");
}
