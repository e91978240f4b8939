#include "app/MainFrame.h"

void CMainFrame::OnConfiguration()
{
    if (configurationDialogHook)
        configurationDialogHook(*this);
    LoadSettings();
    StartAutomation();
}
