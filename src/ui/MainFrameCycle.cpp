#include "ui/MainFrame.h"

#include "core/cycle/Automation.h"
#include "core/resources/Resources.h"

#include <algorithm>
#include <climits>

// The automation cycle's entry points; the cycle itself lives in transfer/.

void CMainFrame::StartAutomation()
{
    m_automation->StartAutomation();
    ShowState();
}

void CMainFrame::OnTransferNow()
{
    AskKeyringAgain();
    StartAutomation();
}

void CMainFrame::OnTimer(unsigned id)
{
    // A tick during a cycle starts nothing and leaves the timer as it is.
    if (m_automation->IsBusy()) {
        m_display->SetTrayResource(IDI_TRAY_BUSY);
        return;
    }
    const int32_t pollTime = m_settings.Snapshot().PollTime;
    if (pollTime > 0) {
        m_display->SetStatusText("Polling Started ...");
        // Minutes to milliseconds, held to what a timer can count (about 24 days) instead of
        // wrapping round to a period of a few minutes.
        const long long period = std::min<long long>(pollTime * 60000LL, INT_MAX);
        m_nTimerPeriod = static_cast<unsigned>(period);
        if (id == m_nTimerId) {
            // Not at the first tick, right after the start's own ask: one prompt at a time.
            if (std::chrono::steady_clock::now() - m_keyringAsked > std::chrono::seconds(30))
                AskKeyringAgain();
            KillTimer(m_nTimerId);
            StartAutomation();
            m_nTimerId = 0;
            m_nTimerId = SetTimer(1, m_nTimerPeriod);
        }
    }
}
