#include "ui/MainFrame.h"

#include "core/cycle/Automation.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/SourceDir.h"

void CMainFrame::OnConfiguration()
{
    AskKeyringAgain();
    RunConfiguration();
}

void CMainFrame::RunConfiguration()
{
    // No parent: the window is hidden while the agent lives in the tray, and the dialog must
    // show on its own. How it closed does not matter; the reload below does.
    SourceDir dlg(Profile(), m_internet, Endpoints());
    if (dlg.DoModal() == IDOK) {
        m_automation->State().ConfigurationSaved();
        ShowState();
    }
    LoadSettings();
    // The poll and the watch follow what was saved at once; at start-up the first paint
    // arms them after this.
    if (m_nTimerPeriod != 0)
        ApplyPolling(true);
    StartAutomation();
}
