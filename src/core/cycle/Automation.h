#pragma once
#include "core/cycle/CycleContext.h"
#include "core/cycle/Scan.h"
#include "core/state/AgentState.h"
#include "platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// Hands each event to the outside (the window's lines) and then to the state.
class CStateFeed final : public IAgentEvents {
public:
    CStateFeed(IAgentEvents& out, CAgentState& state) : m_out(out), m_state(state) {}
    void Report(const CAgentEvent& event) override
    {
        m_out.Report(event);
        m_state.Report(event);
    }

private:
    IAgentEvents& m_out;
    CAgentState& m_state;
};
// What one cycle may spend, in all, waiting on a service that accepts connections but does not
// answer; past it the cycle's remaining steps fail at once and wait for the next poll.
inline constexpr long kCycleWaitBudgetMs = 120000;
// What an exit gives a notification or confirmation already sent for its answer: the service
// answers within a second when well, and a logout must not be held much longer than that.
inline constexpr long kStopGraceMs = 5000;

// The automation cycle: probe, author check, upload, automatic download, on one worker thread,
// at most one at a time. Owned by the main window; destroying it stops a running cycle.
class CAutomation {
public:
    // `internet` may be null (no internet layer at all): every cycle then finds no internet.
    // `events` hears every event before the state does; it must outlive the automation.
    CAutomation(IAgentEvents& events, IInternet* internet, const CEndpoints& endpoints,
                CSettingsRecord& record);
    ~CAutomation();
    CAutomation(const CAutomation&) = delete;
    CAutomation& operator=(const CAutomation&) = delete;

    // UI thread only. While a cycle runs it only shows the busy state; otherwise it takes the
    // settings snapshot and starts the worker.
    void StartAutomation(CScanScope scope = CScanScope{});
    bool IsBusy() const { return m_nBusy.load() != 0; }

    // Exit: the cycle starts nothing new and a transfer of file bytes is aborted at once, so
    // that no failure of the abort is reported; a notification or confirmation already sent
    // has kStopGraceMs for its answer, which is recorded as in any pass. Irreversible.
    void Cancel();
    // Exit: cancels as above and waits for the worker to return (at most about kStopGraceMs
    // and a second). `pump` is run while waiting, so calls the worker is blocked in (on the
    // waiting thread) can be let through.
    void Stop(const std::function<void()>& pump = {});

    // What the author is shown everywhere: fed by every cycle's events.
    CAgentState& State() { return m_state; }
    // Where events are reported outside a cycle (the UI thread's own steps).
    IAgentEvents& Events() { return m_events; }
    // Read by each cycle as it starts (tests shorten it).
    void SetWaitBudget(long ms) { m_waitBudgetMs = ms; }
    // How long a file must be seen unchanged and unwritten before it is sent; read by each
    // cycle as it starts (tests shorten it).
    void SetSettleTime(long ms) { m_settleMs = ms; }
    long SettleTime() const { return m_settleMs.load(); }
    // After a cycle: milliseconds until the first file it held back may be finished, -1 when
    // it held none back (or never came to look).
    long MsUntilSettled() const;
    // After a cycle: the service lists more documents than the cycle could read, and the
    // cycle fetched some; the next one should start at once.
    bool MoreListed() const { return m_moreListed.load(); }

private:
    void AutomationThread(CSettings snapshot);
    void RunCycle(CCycleContext& ctx);

    // 0 idle, 3 while a cycle runs: set by the UI thread, cleared by the worker as its last act.
    std::atomic<int32_t> m_nBusy{0};
    // Used by the worker only, between cycles by nobody.
    CWorkList m_work;
    CScanScope m_scope;  // set before the worker starts
    std::atomic<long> m_waitBudgetMs{kCycleWaitBudgetMs};
    std::atomic<long> m_settleMs{kSettleMs};
    std::atomic<std::int64_t> m_settleDue{0};  // steady ms, 0: none
    std::atomic<bool> m_moreListed{false};
    CSystemClock m_clock;
    CAgentState m_state{m_clock};
    CStateFeed m_events;
    IInternet* m_internet;
    const CEndpoints& m_endpoints;
    CSettingsRecord& m_record;
    std::thread m_worker;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_running{false};
};
