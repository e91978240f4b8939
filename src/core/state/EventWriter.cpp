#include "core/state/EventWriter.h"

#include "core/display/Display.h"
#include "core/state/AgentState.h"
#include "platform/Format.h"
#include "platform/Utf8.h"

#include <algorithm>

namespace {
std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OneLine(std::string text, std::size_t max)
{
    text = std::string(CutUtf8(text, max));
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}
}  // namespace

void CEventWriter::Report(const CAgentEvent& event)
{
    Lines(event);
    if (m_state)
        m_state->Report(event);
}

void CEventWriter::Both(const std::string& line)
{
    m_display.AddWindowLine(line);
    m_display.WriteLogLine(line);
}

void CEventWriter::BothWithBreak(const std::string& line)
{
    m_display.AddWindowLine(line);
    // What the window shows, its own line break included: cut as the window cuts it.
    m_display.WriteLogLine(std::string(CutUtf8(line, kLineBufferSize - 3)) + "\r\n");
}

void CEventWriter::Lines(const CAgentEvent& e)
{
    IDisplay& d = m_display;
    switch (e.kind) {
        case EEvent::ServiceDown:
            d.SetStatusText("No Internet Access");
            Both(d.GetTimeText() +
                 " - No Internet Access: the service did not answer; the next poll tries again.");
            break;
        case EEvent::NoInternet: {
            const std::string text =
                Format("%s - Internet not avaiable. Please contact your Systems Administrator.",
                       d.GetTimeText().c_str());
            d.MessageBox(text);
            BothWithBreak(text);
            break;
        }
        case EEvent::ServiceFault: {
            if (e.subject == "cycle") {
                d.SetStatusText("The service is too slow: the rest waits for the next poll");
                Both(d.GetTimeText() + " - The service is too slow (" + e.reason +
                     "); what is left waits for the next poll.");
                break;
            }
            if (e.subject != "login")
                break;  // the steps' own lines say it
            const std::string why = e.reason.empty() ? "" : " (" + OneLine(e.reason, 80) + ")";
            d.SetStatusText("The service could not check the login" + why);
            Both(d.GetTimeText() + " - The service could not check the login" + why +
                 "; it is tried again at the next poll.");
            break;
        }
        case EEvent::LoginRefused:
        case EEvent::LoginNotConfigured:
            d.AddWindowLine("Invalid Author Name or Password.");
            d.AddWindowLine(" ");
            d.WriteLogLine("Invalid Author Name or Password.");
            d.SetStatusText("Invalid Author Name or Password.");
            break;
        case EEvent::FtpLoginRefused:
        case EEvent::FtpUnreachable: {
            d.SetStatusText("Failed to connect to server");
            // The advice after the reason must still fit the window's line.
            std::string reason = OneLine(e.reason, 120);
            if (!reason.empty())
                reason = " (" + reason + ")";
            Both(d.GetTimeText() + " - Failed to connect to server" + reason +
                 "; the files wait for the next poll.");
            break;
        }
        case EEvent::FileFailed:
            if (e.stage == EStage::Put || e.stage == EStage::Read) {
                if (!e.reason.empty())
                    Both(d.GetTimeText() + " - " + e.reason);
                BothWithBreak(Format("%s - .. Upload Fail, will attempt later.\r\n",
                                     d.GetTimeText().c_str()));
                d.SetStatusText(".. Upload Fail, will attempt later.");
            } else if (e.stage == EStage::Notify && !e.reason.empty()) {
                Both(d.GetTimeText() + " - " + e.reason);
            } else if (e.stage == EStage::Notify) {
                Both(d.GetTimeText() + " - The service did not accept " + NameOf(e.subject) +
                     "; it is sent again at the next poll.");
            } else if (!e.line.empty()) {
                Both(d.GetTimeText() + " - " + e.line);  // archive and mark: once a run
            }
            break;
        case EEvent::LocalSkipped:
            Both(d.GetTimeText() + " - " + e.reason);
            if (e.stage == EStage::Put) {
                BothWithBreak(Format("%s - .. Upload Fail, will attempt later.\r\n",
                                     d.GetTimeText().c_str()));
                d.SetStatusText(".. Upload Fail, will attempt later.");
            }
            break;
        case EEvent::ListFailed:
            if (e.count & kToWindow)
                d.AddWindowLine(e.line);
            if (e.count & kToStatus)
                d.SetStatusText(e.line);
            if (e.count & kToLog)
                d.WriteLogLine(e.line);
            break;
        case EEvent::DocumentFailed: {
            if (e.stage == EStage::Name) {
                const std::string line = d.GetTimeText() + " - Refused unsafe file name \"" +
                                         EscapeControlChars(e.subject) +
                                         "\" from the server. Please inform " + m_support;
                d.AddWindowLine(line);
                d.SetStatusText(line);
                d.WriteLogLine(line);
                break;
            }
            if (e.stage == EStage::Confirm) {
                const std::string why = e.reason.empty() ? "" : " (" + OneLine(e.reason, 80) + ")";
                Both(d.GetTimeText() + " - The service was not told that " +
                     EscapeControlChars(e.subject) + " arrived" + why +
                     "; it is listed again and confirmed at the next poll.");
                break;
            }
            std::string line = d.GetTimeText() + " - Download Failed - " + e.reason +
                               ", Please inform " + m_support + ".\r\n";
            BothWithBreak(line);
            if (e.missing) {
                line = d.GetTimeText() + " - " + EscapeControlChars(e.subject) +
                       " not found on Server. Please inform " + m_support;
                d.AddWindowLine(line);
                d.WriteLogLine(std::string(CutUtf8(line, kLineBufferSize - 3)) + "\r\n");
            } else {
                line.resize(line.size() - 2);
            }
            d.SetStatusText(line);
            break;
        }
        case EEvent::KeyringLocked:
            d.SetStatusText("The keyring is locked");
            Both(d.GetTimeText() +
                 " - The keyring is locked: the password cannot be read, so nothing is sent to "
                 "the service. Unlock it; the agent asks again at the next poll.");
            break;
        case EEvent::SettingsUnreadable:
            Both(d.GetTimeText() + " - " + OneLine(e.reason, 160) +
                 ": the agent runs with what it could read. Open Configuration and Save.");
            break;
        case EEvent::FileHeldBack:
            Both(d.GetTimeText() + " - " + EscapeControlChars(NameOf(e.subject)) +
                 " is still being written; it is sent when it is finished.");
            break;
        case EEvent::TempFilesSwept:
            Both(d.GetTimeText() + " - Removed " + std::to_string(e.count) +
                 " unfinished temporary file(s) left by an interrupted run");
            break;
        default:
            break;
    }
}
