#include "core/cycle/DownloadList.h"

#include "core/cycle/CycleContext.h"
#include "core/cycle/Download.h"
#include "core/display/Display.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"
#include "platform/Format.h"

void RequestDownloadList(CCycleContext& ctx)
{
    IDisplay& display = ctx.display;
    display.AddWindowLine(display.GetTimeText() + " - Getting List of Files from the Server");

    const CWebReply reply = FetchUrl(
        ctx.internet, DownloadListUrl(ctx.endpoints, ctx.settings.Author, ctx.settings.Password));
    // A request aborted at exit is no failure to report: the log's shutdown block is its end.
    if (ctx.cancelled.load())
        return;
    if (reply.result == EFetchResult::NoInternet)
        ReportNoInternet(display, ctx.events);
    const std::string& body = reply.body;
    CAgentEvent failed{EEvent::ListFailed, "list", FaultReason(reply)};
    failed.status = reply.result == EFetchResult::Ok ? reply.status : 0;
    // An error page or a cut answer is no list, whatever it holds.
    if (body.empty() || !reply.Answered()) {
        failed.line = display.GetTimeText() + " ERROR: Is the network down ???";
        failed.count = kToAll;
        ctx.Report(failed);
        return;
    }

    const CDownloadList list = ParseDownloadList(body);
    if (list.countRead)
        display.AddWindowLine(Format("Number of File(s) to Download : %d", list.count));
    if (list.countRead && list.count > kMaxListItems) {
        const std::string line = display.GetTimeText() + " - Taking the first " +
                                 std::to_string(kMaxListItems) + " of " +
                                 std::to_string(list.count) + " files now, the rest next time";
        display.AddWindowLine(line);
        display.WriteLogLine(line);
    }
    if (list.listStarted) {
        CWorkList& work = ctx.work;
        work.m_fileList = list.names;
        work.m_fileIds = list.ids;
        work.m_nFileCount = static_cast<int32_t>(list.ids.size());
    }
    if (list.stopped) {
        failed.line = list.stopText;
        failed.count = list.stopSinks;
        if (failed.reason.empty())
            failed.reason = "the answer is not a list: " + list.stopText;
        ctx.Report(failed);
        return;
    }
    CAgentEvent read{EEvent::ListRead};
    read.items = list.names;
    ctx.Report(read);

    if (ctx.work.m_nFileCount > 0) {
        display.AddWindowLine("Downloading Files");
        DownloadFiles(ctx, list.sourceDir);
        return;
    }
    const std::string time = display.GetTimeText();
    display.AddWindowLine(time + " No File to Download\r\n");
    display.SetStatusText("No File to Download");
    display.WriteLogLine(time + " No File to Download");
}
