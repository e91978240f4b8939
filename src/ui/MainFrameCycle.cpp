#include "ui/MainFrame.h"

#include "core/cycle/Automation.h"
#include "ui/Resources.h"
#include "core/state/ProblemTexts.h"
#include "ui/SourceWatch.h"

#include <algorithm>
#include <climits>

// The automation cycle's entry points; the cycle itself lives in transfer/.

void CMainFrame::StartAutomation(bool watched)
{
    CScanScope scope;
    if (!m_automation->IsBusy()) {
        scope = m_sourceWatch->TakeScope();
        scope.all = scope.all || !watched;
    }
    m_automation->StartAutomation(std::move(scope));
    ShowState();
}

void CMainFrame::OnTransferNow()
{
    AskKeyringAgain();
    StartAutomation();
}

namespace {
// Minutes to milliseconds, held to what a timer can count (about 24 days) instead of
// wrapping round to a period of a few minutes.
unsigned PollPeriodMs(int32_t pollTime)
{
    return static_cast<unsigned>(std::min<long long>(pollTime * 60000LL, INT_MAX));
}
}  // namespace

void CMainFrame::ApplyPolling(bool rearm)
{
    const CSettings s = m_settings.Snapshot();
    m_automation->State().PollingChanged(s.PollTime);
    if (s.PollTime > 0) {
        if (rearm) {
            m_nTimerPeriod = PollPeriodMs(s.PollTime);
            m_nTimerId = SetTimer(1, m_nTimerPeriod);
        }
        m_sourceWatch->Watch(s, m_automation->SettleTime());
    } else {
        if (rearm) {
            KillTimer(1);
            m_nTimerId = 0;  // the period stays: it also says the first paint has run
        }
        m_sourceWatch->Stop();
        if (s.PollTime != m_nPollShown) {
            const std::string line = m_display->GetTimeText() + " - " +
                                     SendingOffLine(s.PollTime) +
                                     ". Set it above 0 in Configuration.";
            m_display->AddWindowLine(line);
            m_display->WriteLogLine(line);
        }
    }
    m_nPollShown = s.PollTime;
    ShowState();
}

void CMainFrame::OnWatchedCycle()
{
    // The poll's rules: none while the Polling Time is 0 or below, nor after a refused login
    // until the settings are saved again (the cycle sets the Polling Time to 0 then).
    if (m_bQuitting || m_bPaused || m_settings.Snapshot().PollTime <= 0)
        return;
    if (m_automation->IsBusy()) {
        m_bCycleAgain = true;
        return;
    }
    StartAutomation(true);
}

void CMainFrame::AfterCycle()
{
    // A long list is fetched cycle after cycle, not one poll period at a time.
    if (m_bCycleAgain || m_automation->MoreListed()) {
        m_bCycleAgain = false;
        m_sourceWatch->CycleIn(0);
        return;
    }
    // A file held back is looked at again when it may be finished.
    const long due = m_automation->MsUntilSettled();
    if (due >= 0)
        m_sourceWatch->CycleIn(due + 100);
}

void CMainFrame::OnTimer(unsigned id)
{
    // A tick during a cycle starts nothing and leaves the timer as it is.
    if (m_automation->IsBusy()) {
        ShowState();
        return;
    }
    const int32_t pollTime = m_settings.Snapshot().PollTime;
    if (pollTime > 0) {
        // Paused, the timer keeps its beat, so that Resume finds it armed; a tick sends nothing.
        m_display->SetStatusText(m_bPaused ? kPausedLine : "Polling Started ...");
        m_nTimerPeriod = PollPeriodMs(pollTime);
        if (id == m_nTimerId) {
            // Not at the first tick, right after the start's own ask: one prompt at a time.
            if (!m_bPaused &&
                std::chrono::steady_clock::now() - m_keyringAsked > std::chrono::seconds(30))
                AskKeyringAgain();
            KillTimer(m_nTimerId);
            if (!m_bPaused)
                StartAutomation();
            m_nTimerId = 0;
            m_nTimerId = SetTimer(1, m_nTimerPeriod);
        }
    }
}
