#include "ui/FrameStatus.h"

#include "core/cycle/Automation.h"
#include "core/cycle/Scan.h"
#include "ui/MainFrame.h"

QString FormatFrameStatus(const CFrameStatus& status)
{
    QString state = QStringLiteral("idle");
    if (status.state == CFrameStatus::EState::Busy)
        state = QStringLiteral("busy");
    else if (status.state == CFrameStatus::EState::Attention)
        state = QStringLiteral("attention");
    const QString last =
        status.lastCycleEnd.isValid()
            ? status.lastCycleEnd.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                  QStringLiteral(", ") +
                  (status.lastOutcome.isEmpty() ? QStringLiteral("-") : status.lastOutcome)
            : QStringLiteral("none since start");
    return state + QStringLiteral("\nlast cycle: ") + last +
           QStringLiteral("\nfiles waiting: %1\n").arg(status.filesWaiting);
}

void CMainFrame::RecordCycleEnd(const CCycleFaults& faults, unsigned cycle)
{
    m_lastCycleEnd = QDateTime::currentDateTime();
    m_lastOutcome = StatusText();
    AttentionAfterCycle(faults, cycle);
}

CFrameStatus CMainFrame::FrameStatus() const
{
    CFrameStatus s;
    s.state = m_automation->IsBusy() ? CFrameStatus::EState::Busy
              : m_attention.Active() ? CFrameStatus::EState::Attention
                                     : CFrameStatus::EState::Idle;
    s.lastCycleEnd = m_lastCycleEnd;
    s.lastOutcome = m_lastOutcome;
    // Counted afresh, as the next cycle would find them: the cycle's own list is its worker's.
    CWorkList waiting;
    ScanSourceFolders(m_settings.Snapshot(), waiting);
    s.filesWaiting = waiting.m_nFileCount;
    return s;
}
