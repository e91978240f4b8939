#include "core/state/ProblemTexts.h"

#include "core/state/ProgressText.h"
#include "platform/Clock.h"
#include "platform/Utf8.h"

#include <algorithm>

namespace {

std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One line of at most `max` bytes; a reason also loses its final full stop, as a sentence
// goes on after it.
std::string Clean(std::string text, std::size_t max, const char* trailing = " .")
{
    text = std::string(CutUtf8(text, max));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    text.erase(text.find_last_not_of(trailing) + 1);
    return text;
}

std::string Why(const CProblem& p)
{
    return p.reason.empty() ? std::string() : " (" + Clean(p.reason, 100) + ")";
}

const char* Step(const CProblem& p)
{
    if (p.subject == "login")
        return "checking the login";
    if (p.subject == "list")
        return "listing your documents";
    if (p.subject == "notify")
        return "taking a file";
    return "answering";
}

// A file's or document's problem by where it failed: the status report's words before the
// name, and the notice's after it.
struct CStageWords {
    const char* line;
    const char* notice;
};

CStageWords Words(const CProblem& p)
{
    switch (p.stage) {
        case EStage::Read: return {"cannot read", " could not be read to be sent"};
        case EStage::Notify: return {"not taken by the service", " was sent, but the service did not take it"};
        case EStage::Archive: return {"archive copy failed", " was sent, but its archive copy failed"};
        case EStage::Mark: return {"not marked sent", " was sent, but could not be marked as sent"};
        case EStage::Save: return {"not saved", " could not be saved in the download folder"};
        case EStage::Confirm: return {"not confirmed", " arrived, but the service was not told"};
        case EStage::Name: return {"unsafe name refused", " was refused: its name is not safe"};
        case EStage::None:
        case EStage::Put:
        case EStage::Fetch:
            break;
    }
    return p.kind == EProblem::DownloadFailed
               ? CStageWords{"download failed", " could not be downloaded"}
               : CStageWords{"upload failed", " could not be sent"};
}

const char* Account(const CProblem& p)
{
    return p.subject == "u" ? "upload" : "download";
}

std::string Tip(const CProblem& p)
{
    switch (p.kind) {
        case EProblem::NotConfigured: return "Not set up yet. Open Configuration.";
        case EProblem::LoginRefused: return "Login refused. Open Configuration and check ID and password.";
        case EProblem::ServiceDown: return "Service not answering; files wait for it.";
        case EProblem::ServiceFault: return "Service fault; tried again at the next poll.";
        case EProblem::ListFailed: return "Download list failed; asked again next poll.";
        case EProblem::FtpLoginRefused: return std::string("File server refused the ") + Account(p) + " login.";
        case EProblem::FtpUnreachable: return std::string("File server unreachable (") + Account(p) + ").";
        case EProblem::UploadFailed: return "Upload failed: " + NameOf(p.subject);
        case EProblem::DownloadFailed:
            return (p.stage == EStage::Confirm ? "Downloaded, not confirmed: " : "Download failed: ") + p.subject;
        case EProblem::LocalSkipped: return "Not sent: " + NameOf(p.subject);
        case EProblem::KeyringLocked: return "The keyring is locked; nothing is sent.";
        case EProblem::SettingsUnreadable: return "Settings file unreadable. Open Configuration.";
    }
    return {};
}

}  // namespace

std::string AttentionTip(const std::vector<CProblem>& problems)
{
    if (problems.empty())
        return {};
    std::string tip = Tip(problems.front());
    if (problems.size() > 1)
        tip = std::to_string(problems.size()) + " problems. " + tip;
    return Clean(tip, kTipMax, " ");
}

std::string ProblemLine(const CProblem& p)
{
    switch (p.kind) {
        case EProblem::NotConfigured:
            return "not set up: no Login ID; open Configuration";
        case EProblem::LoginRefused:
            return "login refused by the service; open Configuration and check ID and password";
        case EProblem::ServiceDown:
            return "service not answering" + Why(p) + "; files wait";
        case EProblem::ServiceFault:
            return std::string("service fault while ") + Step(p) + Why(p) +
                   "; tried again at the next poll";
        case EProblem::ListFailed:
            return "download list failed" + Why(p) + "; asked again at the next poll";
        case EProblem::FtpLoginRefused:
            return std::string("file server refused the agent's ") + Account(p) + " login" + Why(p) +
                   "; tell support";
        case EProblem::FtpUnreachable:
            return std::string("file server unreachable for the ") + Account(p) + " account" +
                   Why(p) + "; files wait";
        case EProblem::UploadFailed:
        case EProblem::DownloadFailed:
            return std::string(Words(p).line) + ": " + p.subject + Why(p);
        case EProblem::LocalSkipped:
            return "not sent: " + p.subject + Why(p);
        case EProblem::KeyringLocked:
            return "the keyring is locked: the password cannot be read, nothing is sent" + Why(p) +
                   "; unlock it";
        case EProblem::SettingsUnreadable:
            return "settings not read" + Why(p) + "; open Configuration and Save";
    }
    return {};
}

std::string ProblemNotice(const CProblem& p, const std::string& support)
{
    switch (p.kind) {
        case EProblem::NotConfigured:
            return "Orbidex is not set up yet: no Login ID is saved. Open Configuration and "
                   "enter your Login ID and password.";
        case EProblem::LoginRefused:
            return "The service refused the Login ID or Password. Polling is off until you open "
                   "Configuration and save them.";
        case EProblem::ServiceDown:
            return "The service does not answer. Files wait until it is back; check the network "
                   "connection.";
        case EProblem::ServiceFault:
            return std::string("The service had a fault while ") + Step(p) + Why(p) +
                   ". Nothing is lost; it is tried again at the next poll.";
        case EProblem::ListFailed:
            return "The list of documents waiting for you could not be read" + Why(p) +
                   ". It is asked again at the next poll.";
        case EProblem::FtpLoginRefused:
            // The server's code stays in the reason; the author is told whom to ask.
            return "The file server would not let the agent in" + Why(p) +
                   ". Files wait; check with the service's support" +
                   (support.empty() ? std::string(".") : ": " + support + ".");
        case EProblem::FtpUnreachable:
            return std::string("The file server cannot be reached for the ") + Account(p) +
                   " account" + Why(p) +
                   ". Files wait for the next poll; check the network connection.";
        case EProblem::UploadFailed:
        case EProblem::DownloadFailed: {
            const std::string what =
                (p.kind == EProblem::UploadFailed ? NameOf(p.subject) : p.subject) +
                Words(p).notice + Why(p) + ".";
            if (p.stage == EStage::Save)
                return what + " Check that the folder is writable and the disk has room.";
            if (p.stage == EStage::Name)
                return what + " Please tell the service's support.";
            const std::size_t slash = p.subject.rfind('/');
            const std::string folder = slash == std::string::npos ? "" : p.subject.substr(0, slash);
            if (p.stage == EStage::Archive)
                return NameOf(p.subject) + " was sent, but the archive folder cannot be written" +
                       Why(p) + ": check that you may write to " + folder + "/tolvane.";
            if (p.stage == EStage::Mark)
                return what + " Check that you may change files in " + folder + ".";
            return what + " It is tried again at the next poll.";
        }
        case EProblem::LocalSkipped:
            return NameOf(p.subject) + " is not sent" + Why(p) + ".";
        case EProblem::KeyringLocked:
            return "The keyring is locked, so the password cannot be read and nothing is sent to "
                   "the service. Unlock the keyring: the agent asks again at the next poll, or "
                   "at once when you choose Transfer Now.";
        case EProblem::SettingsUnreadable:
            return "The settings could not be read" + Why(p) +
                   ". Open Configuration, check the values and Save.";
    }
    return {};
}

std::string SendingOffLine(int pollTime)
{
    return "automatic sending is off: Polling Time is " + std::to_string(pollTime);
}

std::string FormatAgentStatus(const CAgentState::CSnapshot& s, int filesWaiting)
{
    std::string out = s.busy          ? "busy"
                      : s.Attention() ? "attention"
                      : s.paused       ? "paused"
                      : s.SendingOff() ? "off"
                                       : "idle";
    out += "\nlast cycle: ";
    if (s.last.number == 0) {
        out += "none since start";
    } else {
        const std::tm tm = LocalTime(s.last.ended);
        char when[32];
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
        out += std::string(when) + ", " + std::to_string(s.last.sent) + " sent, " +
               std::to_string(s.last.fetched) + " fetched, " + std::to_string(s.last.failed) +
               " failed";
    }
    out += "\nfiles waiting: " + std::to_string(filesWaiting) + "\n";
    if (s.busy && s.transfer)
        out += ProgressLine(*s.transfer) + "\n";
    if (s.paused)
        out += std::string(kPausedLine) + "\n";
    if (s.SendingOff())
        out += SendingOffLine(s.pollTime) + "\n";
    for (const CProblem& p : s.problems) {
        const std::tm tm = LocalTime(p.since);
        char since[16];
        std::strftime(since, sizeof since, "%H:%M:%S", &tm);
        out += "problem since " + std::string(since) + ": " + Clean(ProblemLine(p), 400) + "\n";
    }
    return out;
}

CLook LookOf(const CAgentState::CSnapshot& s)
{
    if (s.Attention())
        return {ELook::Attention, AttentionTip(s.problems)};
    if (s.busy)
        return {ELook::Busy, s.transfer ? ProgressTip(*s.transfer, kTipMax) : std::string()};
    if (s.SendingOff())
        return {ELook::Paused, SendingOffLine(s.pollTime)};
    if (s.paused)
        return {ELook::Paused, kPausedLine};
    return {};
}
