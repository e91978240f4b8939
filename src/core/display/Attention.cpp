#include "core/display/Attention.h"

#include "core/cycle/CycleContext.h"

namespace {
const char* const kLoginTip = "Login refused. Open Configuration and check ID and password.";
const char* const kLoginNote =
    "The service refused the Login ID or Password. Polling is off until you open "
    "Configuration and save them.";
const char* const kUnreachableNote =
    "The service has not answered for three polls in a row. Files wait until it is back; "
    "check the network connection.";
const char* const kLocalNote =
    "A file was sent but could not be archived or marked sent. Open the window for details.";
const char* const kTransferNote =
    "A file could not be uploaded or downloaded. It is tried again at the next poll; open the "
    "window for details.";
}  // namespace

std::string CAttention::CycleEnded(const CCycleFaults& faults, int filesWaiting)
{
    std::string note;
    if (faults.loginRefused && !m_loginRefused)
        note = kLoginNote;
    // A refused login holds until the settings are loaded again: polling is off until then,
    // whatever a "Transfer Now!!!" in between finds.
    m_loginRefused = m_loginRefused || faults.loginRefused;

    m_unreachableRun = faults.unreachable ? m_unreachableRun + 1 : 0;
    if (m_unreachableRun == kUnreachableCyclesToNotify && note.empty())
        note = kUnreachableNote;

    const bool failing = faults.transferFailures > 0;
    if (failing && !m_transferFailing && note.empty())
        note = kTransferNote;
    m_transferFailing = failing;
    const bool local = faults.localFailures > 0;
    if (local && !m_localFailing && note.empty())
        note = kLocalNote;
    m_localFailing = local;

    const std::string n = std::to_string(filesWaiting);
    if (m_loginRefused)
        m_tip = kLoginTip;
    else if (filesWaiting > 0 && faults.unreachable)
        m_tip = "Service unreachable, " + n + " file(s) waiting for the next poll.";
    else if (filesWaiting > 0 && failing)
        m_tip = "Transfer failed, " + n + " file(s) waiting. See the window.";
    else if (local)
        m_tip = "A sent file was not archived or marked. See the window.";
    else
        m_tip.clear();
    return note;
}

void CAttention::ConfigurationSaved()
{
    *this = CAttention();
}
