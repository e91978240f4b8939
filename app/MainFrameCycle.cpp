#include "app/MainFrame.h"

// The automation cycle's entry points; the cycle itself lives in transfer/.

void CMainFrame::StartAutomation() {}

void CMainFrame::OnTransferNow() { StartAutomation(); }

void CMainFrame::OnTimer(unsigned) {}
