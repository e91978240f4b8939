#include "ui/MainFrame.h"

#include "ui/dialogs/SourceDir.h"

#include <memory>

void CMainFrame::OnConfiguration()
{
    std::unique_ptr<SourceDir> dlg;
    if (configurationDialogHook) {
        configurationDialogHook(*this);
    } else {
        // No parent: the window is hidden while the agent lives in the tray, and the dialog
        // must show on its own. How it closed does not matter; the reload below does.
        dlg = std::make_unique<SourceDir>(Profile(), m_internet, Endpoints());
        dlg->DoModal();
    }
    LoadSettings();
    StartAutomation();
}
