#include "ui/MainFrame.h"

#include "core/cycle/Automation.h"
#include "core/cycle/Scan.h"
#include "core/resources/Resources.h"
#include "ui/DesktopNotice.h"

// Between cycles the tray shows idle, or attention when something needs the author; the busy
// state and the cycle's own changes are left as they are.

void CMainFrame::AttentionAfterCycle(const CCycleFaults& faults, unsigned cycle)
{
    CWorkList waiting;
    ScanSourceFolders(m_settings.Snapshot(), waiting);
    const std::string note = m_attention.CycleEnded(faults, waiting.m_nFileCount);
    // The ending worker may not have cleared its busy flag yet; a newer cycle shows busy.
    ShowAttention(m_automation->CyclesStarted() != cycle);
    if (note.empty())
        return;
    const QString title = QString::fromLatin1(kAppTitle);
    if (m_services.notify)
        m_services.notify(title, QString::fromStdString(note));
    else
        ShowDesktopNotice(title, QString::fromStdString(note));
}

void CMainFrame::ShowAttention(bool cycleRunning)
{
    if (cycleRunning || m_bQuitting)
        return;
    if (m_attention.Active())
        m_trayIcon.UpdateTrayIcon(IDI_TRAY_ATTENTION, m_attention.Tip().c_str());
    else if (m_trayIcon.Record().hIcon == IDI_TRAY_ATTENTION)
        m_display->SetTrayResource(IDI_TRAY_IDLE);
}
