#pragma once
#include <string>

struct CCycleFaults;

// Cycles in a row without the service before that is worth a desktop notification: one missed
// poll is often a moment's outage.
inline constexpr int kUnreachableCyclesToNotify = 3;

// Whether something needs the author between cycles, what to tell them in the tray's tooltip,
// and when a problem starts, so that it is announced on the desktop once and not every poll.
// Fed by the window after each cycle and by a saved Configuration.
class CAttention {
public:
    // After a cycle: what went wrong in it and how many files still wait in the source folders.
    // Returns the text of a desktop notification when a problem starts with this cycle, else
    // an empty text.
    std::string CycleEnded(const CCycleFaults& faults, int filesWaiting);
    // The login and everything else are the author's new ones: every problem starts afresh.
    void ConfigurationSaved();

    bool Active() const { return !m_tip.empty(); }
    // What is wrong and what to do; fits a tray tooltip (63 bytes).
    const std::string& Tip() const { return m_tip; }

private:
    bool m_loginRefused = false;  // polling is off until the settings are loaded again
    bool m_transferFailing = false;
    bool m_localFailing = false;  // a sent file not archived or not marked
    int m_unreachableRun = 0;
    std::string m_tip;
};
