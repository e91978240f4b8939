#pragma once
#include "core/state/AgentState.h"

#include <string>

// What the author reads about the state, outside the window's own lines: the tray's tooltip,
// desktop notifications, the status bar after a cycle, and the status report.

inline constexpr std::size_t kTipMax = 63;

// One short line for the tray's tooltip: the problem, or how many there are.
std::string AttentionTip(const std::vector<CProblem>& problems);
// What happened and what to do, for a desktop notification.
// `support`: the address the author is sent to where only the service can help.
std::string ProblemNotice(const CProblem& problem, const std::string& support = {});
// One line: what, which, why; the status bar and the status report use it.
std::string ProblemLine(const CProblem& problem);

// Said in the tooltip, the window and the status report while the Polling Time is 0 or below.
std::string SendingOffLine(int pollTime);
// Said while the author has paused automatic sending: the tooltip, the status bar and the
// status report, in the same words (so within the tooltip's length).
inline constexpr const char* kPausedLine =
    "Automatic sending is paused. Choose Resume in the menu.";

// How the tray icon, its tooltip and the window's icon show the state. What needs the author
// comes first, even during a cycle; then a cycle at work (with a long transfer's progress as its
// tip); then sending paused or off; idle last.
enum class ELook { Idle, Busy, Paused, Attention };
struct CLook {
    ELook look = ELook::Idle;
    std::string tip;  // empty: the icon's own words
};
CLook LookOf(const CAgentState::CSnapshot& state);

// The reply to a status request: the state word (idle, busy, attention, off), the last cycle's
// time and counts, the files waiting, a long transfer's progress, whether automatic sending is
// off, then one line per open problem.
std::string FormatAgentStatus(const CAgentState::CSnapshot& state, int filesWaiting);
