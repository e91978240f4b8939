#include "core/cycle/DownloadList.h"

#include "core/cycle/CycleContext.h"
#include "core/cycle/Download.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"

void RequestDownloadList(CCycleContext& ctx)
{
    ctx.Report(ev::ListRequested{});

    const CWebReply reply = FetchUrl(
        ctx.internet, DownloadListUrl(ctx.endpoints, ctx.settings.Author, ctx.settings.Password));
    // A request aborted at exit is no failure to report: the log's shutdown block is its end.
    if (ctx.cancelled.load())
        return;
    if (reply.result == EFetchResult::NoInternet)
        ReportNoInternet(ctx.events);
    const std::string& body = reply.body;
    ev::ListFailed failed{FaultReason(reply), reply.result == EFetchResult::Ok ? reply.status : 0};
    // An error page or a cut answer is no list, whatever it holds.
    if (body.empty() || !reply.Answered()) {
        failed.noList = true;
        ctx.Report(failed);
        return;
    }

    const CDownloadList list = ParseDownloadList(body);
    if (list.countRead)
        ctx.Report(ev::ListCounted{list.count, kMaxListItems});
    if (list.listStarted) {
        CWorkList& work = ctx.work;
        work.m_fileList = list.names;
        work.m_fileIds = list.ids;
        work.m_nFileCount = static_cast<int32_t>(list.ids.size());
    }
    if (list.stopped) {
        failed.stopText = list.stopText;
        failed.sinks = list.stopSinks;
        if (failed.reason.empty())
            failed.reason = "the answer is not a list: " + list.stopText;
        ctx.Report(failed);
        return;
    }
    ctx.Report(ev::ListRead{list.names, ctx.work.m_nFileCount});
    if (ctx.work.m_nFileCount > 0) {
        const int fetched = DownloadFiles(ctx, list.sourceDir);
        // Only while documents keep coming and the list moves: a pass that fetched none, or a
        // list that names the same documents again after they were confirmed, would loop.
        const bool moved = list.ids != ctx.work.m_lastListIds;
        ctx.work.m_lastListIds = list.ids;
        ctx.work.m_moreListed = list.count > ctx.work.m_nFileCount && fetched > 0 && moved &&
                                !ctx.cancelled.load() && !ctx.internet.WaitBudgetSpent();
        if (ctx.internet.WaitBudgetSpent() && !ctx.cancelled.load())
            ctx.Report(ev::ServiceFault{ev::EStep::Cycle,
                                        "the service kept this cycle waiting too long"});
    }
}
