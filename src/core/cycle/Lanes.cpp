#include "core/cycle/Lanes.h"

#include "core/cycle/FileOrder.h"
#include "core/ftp/FtpConnect.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// The extra sessions' logins are not the author's concern: the first session speaks for all.
class CQuiet final : public IAgentEvents {
public:
    void Report(const CAgentEvent&) override {}
};

struct CShared {
    CCycleContext& ctx;
    CFileOrder order;
    std::atomic<int> next{0};
    int count = 0;
    bool budgetStops = false;
    const LaneFile& file;
    std::atomic<int> firstLeft{0};  // the lowest index a lane gave up on, or count
    std::atomic<bool> budgetSpent{false};
};

void LowerTo(std::atomic<int>& value, int to)
{
    int now = value.load();
    while (to < now && !value.compare_exchange_weak(now, to)) {
    }
}

void RunLane(CShared& shared, CLane& lane)
{
    CCycleContext& ctx = shared.ctx;
    while (!ctx.cancelled.load() && !(shared.budgetStops && ctx.internet.WaitBudgetSpent())) {
        const int index = shared.next.fetch_add(1);
        if (index >= shared.count)
            return;
        CFileOrder::CSlot slot(shared.order, index);
        CCycleContext fileCtx{slot,         ctx.internet, ctx.endpoints, ctx.settings,
                              ctx.record,   ctx.work,     ctx.cancelled};
        bool go = false;
        try {
            go = shared.file(lane, fileCtx, index);
        } catch (...) {
            // Out of memory or a library's exception: this lane ends like a lost session.
        }
        shared.order.Done(index);
        if (!go) {
            LowerTo(shared.firstLeft, index);
            return;
        }
    }
    LowerTo(shared.firstLeft, shared.next.load());
}

// An extra lane: its own thread's web connection and wait budget, a quiet login first.
void RunExtraLane(CShared& shared, CLane& lane, char account, long budgetMs)
{
    CCycleContext& ctx = shared.ctx;
    IInternet& internet = ctx.internet;
    internet.SetWaitBudget(budgetMs);
    internet.KeepWebConnections(true);
    lane.session = OpenTransferSession(internet);
    CQuiet quiet;
    if (lane.session &&
        ConnectFtpWithRetries(quiet, lane.session->Session(), account, ctx.endpoints.ftpHost,
                              ctx.settings.PASV, ctx.cancelled, lane.own))
        RunLane(shared, lane);
    if (lane.own) {
        lane.own->Close();
        lane.own.reset();
    }
    lane.session.reset();
    internet.KeepWebConnections(false);
    if (internet.WaitBudgetSpent())
        shared.budgetSpent = true;
}

}  // namespace

int SessionsFor(int files, int most)
{
    // Measured over a 50 ms link: a login costs about four round trips, a file five or six;
    // below four files a second session barely pays for its login.
    const int wanted = files >= 6 ? 3 : files >= 4 ? 2 : 1;
    return std::max(1, std::min(wanted, most));
}

void RunLanes(CCycleContext& ctx, int count, int sessions, char account, bool budgetStops,
              const LaneFile& file)
{
    CWorkList& work = ctx.work;
    CShared shared{ctx, CFileOrder(ctx.events), {}, count, budgetStops, file, {}, {}};
    shared.firstLeft = count;
    std::vector<CLane> lanes(static_cast<std::size_t>(std::max(1, sessions)));
    const long budget = ctx.internet.WaitBudgetLeft();
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < lanes.size(); ++i) {
        lanes[i].number = static_cast<int>(i);
        try {
            threads.emplace_back(RunExtraLane, std::ref(shared), std::ref(lanes[i]), account,
                                 budget);
        } catch (...) {
            break;  // no thread to be had: fewer sessions
        }
    }
    CLane& first = lanes[0];
    first.conn = &work.m_pFtpConnection;
    RunLane(shared, first);
    for (std::thread& t : threads) t.join();
    shared.order.Finish();
    // The cycle's bound holds for all its sessions: one that spent it ends the cycle's waiting.
    if (shared.budgetSpent.load())
        ctx.internet.SpendWaitBudget();
    work.m_nFileIndex = std::min(shared.firstLeft.load(), count);
}
