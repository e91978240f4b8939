#include "ui/Resources.h"

std::string LoadResString(int id)
{
    switch (id) {
        case IDR_MAINFRAME:
        case AFX_IDS_APP_TITLE:
            return kAppTitle;
        case IDI_TRAY_IDLE:
            return "Nimbrel Ravlet. Right click for menu.";
        case IDI_TRAY_BUSY:
            return "Orbidex - Connected. Pease Wait...";
        case IDI_TRAY_ATTENTION:
            return "Orbidex needs attention. Open the window for details.";
        case ID_CHANGE_TRAY_ICON:
            return "Change the tray icon";
        default:
            return {};
    }
}
