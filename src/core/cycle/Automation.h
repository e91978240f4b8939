#pragma once
#include "core/cycle/CycleContext.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class IDisplay;

// The cycle's first step: whether the service's web host answers. No internet at all is also
// reported in a box.
bool CheckInternet(IDisplay& display, IInternet& internet, const CEndpoints& endpoints);
// What one cycle may spend, in all, waiting on a service that accepts connections but does not
// answer; past it the cycle's remaining steps fail at once and wait for the next poll.
inline constexpr long kCycleWaitBudgetMs = 120000;

// The automation cycle: probe, author check, upload, automatic download, on one worker thread,
// at most one at a time. Owned by the main window; destroying it stops a running cycle.
class CAutomation {
public:
    // `internet` may be null (no internet layer at all): every cycle then finds no internet.
    CAutomation(IDisplay& display, IInternet* internet, const CEndpoints& endpoints,
                CSettingsRecord& record);
    ~CAutomation();
    CAutomation(const CAutomation&) = delete;
    CAutomation& operator=(const CAutomation&) = delete;

    // UI thread only. While a cycle runs it only shows the busy state; otherwise it takes the
    // settings snapshot and starts the worker.
    void StartAutomation();
    bool IsBusy() const { return m_nBusy.load() != 0; }
    // Cycles started so far. What a cycle's end posts may run before that worker has cleared
    // the busy flag: only a changed count tells that a newer cycle holds it.
    unsigned CyclesStarted() const { return m_cyclesStarted.load(); }

    // Exit: the cycle stops at its next step and the transfer under way is aborted, both at
    // once, so that no failure of the abort is reported. Irreversible.
    void Cancel();
    // Exit: cancels as above and waits for the worker to return. `pump` is run while
    // waiting, so calls the worker is blocked in (on the waiting thread) can be let through.
    void Stop(const std::function<void()>& pump = {});

    // 0 idle, 3 while a cycle runs: set by the UI thread, cleared by the worker as its last act.
    std::atomic<int32_t> m_nBusy{0};
    // Called on the worker at the end of each cycle, before the busy flag clears.
    std::function<void()> onCycleEnd;
    // Used by the worker only, between cycles by nobody.
    CWorkList m_work;
    // Read by each cycle as it starts (tests shorten it).
    std::atomic<long> m_waitBudgetMs{kCycleWaitBudgetMs};

private:
    void AutomationThread(CSettings snapshot);
    void RunCycle(CCycleContext& ctx);

    IDisplay& m_display;
    IInternet* m_internet;
    const CEndpoints& m_endpoints;
    CSettingsRecord& m_record;
    std::thread m_worker;
    std::atomic<bool> m_cancelled{false};
    std::atomic<unsigned> m_cyclesStarted{0};
    std::atomic<bool> m_running{false};
};
