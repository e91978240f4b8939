#pragma once
#include <QDateTime>
#include <QString>

// What the agent is doing, for a status request from outside (orbidex --status).
struct CFrameStatus {
    enum class EState { Idle, Busy, Attention };
    EState state = EState::Idle;
    QDateTime lastCycleEnd;  // invalid: no cycle has ended yet
    QString lastOutcome;     // the status bar's text when that cycle ended
    int filesWaiting = 0;    // files in the source folders not yet sent
};

// Three lines: the state word first, then the last cycle, then the files waiting.
QString FormatFrameStatus(const CFrameStatus& status);
