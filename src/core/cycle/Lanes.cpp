#include "core/cycle/Lanes.h"

#include "core/cycle/FileOrder.h"
#include "core/ftp/FtpConnect.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
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

CCycleContext FileContext(CCycleContext& ctx, IAgentEvents& events)
{
    return CCycleContext{events,     ctx.internet, ctx.endpoints, ctx.settings,
                         ctx.record, ctx.work,     ctx.cancelled};
}

// A lane's web half: the files' remaining steps, in their order, on a thread that holds the
// lane's web connection meanwhile. At most kWaiting of them wait: past that the FTP steps
// wait for the web, as they would with no overlap.
class CFollowUp {
public:
    CFollowUp(CShared& shared) : m_shared(shared) {}
    ~CFollowUp() { Finish(); }

    void Add(int index, std::function<void(CCycleContext&)> job)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_thread.joinable()) {
            IInternet& internet = m_shared.ctx.internet;
            m_budget = internet.WaitBudgetLeft();
            m_kept = internet.ReleaseWebConnections();
            try {
                m_thread = std::thread(&CFollowUp::Run, this);
            } catch (...) {
                internet.AdoptWebConnections(std::move(m_kept));
                lock.unlock();
                RunOne(index, job);  // no thread to be had: in line, as without overlap
                return;
            }
        }
        m_wake.wait(lock, [this] { return m_jobs.size() < kWaiting; });
        m_jobs.emplace_back(index, std::move(job));
        m_wake.notify_all();
    }

    // Runs what is queued, then gives the web connection back to the calling thread.
    void Finish()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_ending = true;
            m_wake.notify_all();
        }
        if (!m_thread.joinable())
            return;
        m_thread.join();
        m_shared.ctx.internet.AdoptWebConnections(std::move(m_kept));
    }

private:
    static constexpr std::size_t kWaiting = 2;

    void RunOne(int index, const std::function<void(CCycleContext&)>& job)
    {
        CFileOrder::CSlot slot(m_shared.order, index);
        CCycleContext fileCtx = FileContext(m_shared.ctx, slot);
        try {
            job(fileCtx);
        } catch (...) {
            // Out of memory or a library's exception: the file waits for a later cycle.
        }
        m_shared.order.Done(index);
    }

    void Run()
    {
        IInternet& internet = m_shared.ctx.internet;
        internet.SetWaitBudget(m_budget);
        internet.AdoptWebConnections(std::move(m_kept));
        for (;;) {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return !m_jobs.empty() || m_ending; });
            if (m_jobs.empty())
                break;
            auto [index, job] = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_wake.notify_all();
            lock.unlock();
            RunOne(index, job);
            if (internet.WaitBudgetSpent())
                m_shared.budgetSpent = true;
        }
        m_kept = internet.ReleaseWebConnections();
        internet.KeepWebConnections(false);
        internet.SetWaitBudget(0);
    }

    CShared& m_shared;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::pair<int, std::function<void(CCycleContext&)>>> m_jobs;
    bool m_ending = false;
    long m_budget = 0;
    std::shared_ptr<void> m_kept;
    std::thread m_thread;
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
    CFollowUp web(shared);
    while (!ctx.cancelled.load() && !shared.budgetSpent.load() &&
           !(shared.budgetStops && ctx.internet.WaitBudgetSpent())) {
        const int index = shared.next.fetch_add(1);
        if (index >= shared.count)
            break;
        CFileOrder::CSlot slot(shared.order, index);
        CCycleContext fileCtx = FileContext(ctx, slot);
        bool go = false;
        lane.then = nullptr;
        try {
            go = shared.file(lane, fileCtx, index);
        } catch (...) {
            // Out of memory or a library's exception: this lane ends like a lost session.
        }
        if (lane.then)
            web.Add(index, std::move(lane.then));
        else
            shared.order.Done(index);
        if (!go) {
            LowerTo(shared.firstLeft, index);
            return;
        }
    }
    LowerTo(shared.firstLeft, std::min(shared.next.load(), shared.count));
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
