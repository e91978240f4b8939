#include "core/state/EventText.h"

#include "platform/Format.h"
#include "platform/Utf8.h"

namespace {

constexpr const char* kArchive = "tolvane";
constexpr const char* kUploadFail = ".. Upload Fail, will attempt later.";
constexpr const char* kInvalidLogin = "Invalid Author Name or Password.";

std::string FolderOfPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Names go into lines: no control character may forge one.
std::string Shown(const std::string& text)
{
    return EscapeControlChars(text);
}

std::string InParens(const std::string& reason, std::size_t max)
{
    const std::string clean = CleanReason(reason, max);
    return clean.empty() ? std::string() : " (" + clean + ")";
}

std::string NotifyText(const ev::FileFailed& e)
{
    const char* again = "; it is sent again at the next poll.";
    switch (e.notify) {
        case ev::ENotifyFault::NoInternet:
            return std::string("InternetOpen Failed: the service was not told of this file") + again;
        case ev::ENotifyFault::Unreachable:
            return e.reason.empty()
                       ? std::string("No Network Access.: the service was not told of this file") + again
                       : "The service was not told of this file (" + e.reason + ")" + again;
        case ev::ENotifyFault::Refused:
            return "The service did not take the notice of this file (" + e.reason + ")" + again;
        case ev::ENotifyFault::NotAccepted:
            return "The service did not accept " + NameOfPath(e.path) + again;
        case ev::ENotifyFault::Cut:
            return Shown(NameOfPath(e.path)) + " may already be at the service (its answer was cut: " +
                   e.reason + ")" + again;
    }
    return {};
}

// Renders into `out`, one sink at a time, in the order the author sees them.
class CRender {
public:
    CRender(std::vector<CRendered>& out, const std::string& time) : m_out(out), m_time(time) {}
    void Window(std::string t) { m_out.push_back({ESink::Window, std::move(t)}); }
    void Status(std::string t) { m_out.push_back({ESink::Status, std::move(t)}); }
    void Log(std::string t) { m_out.push_back({ESink::Log, std::move(t)}); }
    void Box(std::string t) { m_out.push_back({ESink::Box, std::move(t)}); }
    void PostBox(std::string t) { m_out.push_back({ESink::PostBox, std::move(t)}); }
    void Transfer(std::string name) { m_out.push_back({ESink::Transfer, std::move(name)}); }
    // A window line and the same line in the log.
    void Both(const std::string& line)
    {
        Window(line);
        Log(line);
    }
    // The time, then the text, in the window and the log.
    void Timed(const std::string& text) { Both(m_time + " - " + text); }
    // A line the window breaks once more: the log keeps what the window shows, break included.
    void WithBreak(const std::string& line)
    {
        Window(line);
        Log(std::string(CutUtf8(line, kWindowLineMax)) + "\r\n");
    }
    void UploadFail()
    {
        WithBreak(m_time + " - " + kUploadFail + "\r\n");
        Status(kUploadFail);
    }
    void InvalidLogin()
    {
        Window(kInvalidLogin);
        Window(" ");
        Log(kInvalidLogin);
        Status(kInvalidLogin);
    }
    const std::string& Time() const { return m_time; }

private:
    std::vector<CRendered>& m_out;
    const std::string& m_time;
};

void Upload(CRender& r, const CAgentEvent& event)
{
    if (const auto* e = event.As<ev::UploadPass>()) {
        if (e->files > 0) {
            r.Window("Starting Upload Process");
        } else {
            r.Window(r.Time() + " - No File to Upload");
            r.Status("No File to Upload");
        }
    } else if (const auto* e = event.As<ev::TransfersBegin>()) {
        if (e->direction == EDirection::Down)
            r.Status("Starting Download Process");
        if (e->count > 0)
            r.Log(Format(e->direction == EDirection::Up ? "UPLOADing %d files" : "DOWNLOADing %d files",
                         e->count));
    } else if (const auto* e = event.As<ev::FileStarted>()) {
        r.Window(Format("%s - %d of %d Uploading %s", r.Time().c_str(), e->index, e->count,
                        Shown(e->name).c_str()));
    } else if (const auto* e = event.As<ev::FileDone>()) {
        r.Transfer(e->name);
        r.Window(r.Time() + " - .. Done.\r\n");
    } else if (const auto* e = event.As<ev::FileFailed>()) {
        const std::string text = FailureText(*e);
        switch (e->stage) {
            case EStage::Put:
            case EStage::Read:
                if (!text.empty())
                    r.Timed(text);
                r.UploadFail();
                break;
            case EStage::Notify:
                if (e->notify == ev::ENotifyFault::NoInternet)
                    r.Box("InternetOpen Failed");
                else if (e->notify == ev::ENotifyFault::Unreachable)
                    // Nobody may be at the desk: this box must not hold the cycle; its old
                    // words stay, the line says what really happened.
                    r.PostBox("No Network Access.");
                r.Timed(text);
                break;
            case EStage::Archive:
            case EStage::Mark:
            case EStage::None:
            case EStage::Fetch:
            case EStage::Save:
            case EStage::Confirm:
            case EStage::Name:
                if (e->tell)
                    r.Timed(text);  // archive and mark: once a run
                break;
        }
    } else if (const auto* e = event.As<ev::FileChanged>()) {
        r.Timed(NameOfPath(e->path) +
                " changed while it was sent: not announced, it is sent again at the next poll.");
    } else if (const auto* e = event.As<ev::FileArchived>()) {
        r.Timed(Shown(NameOfPath(e->path)) + " is now archived in " + Shown(FolderOfPath(e->path)) +
                "/" + kArchive + ".");
    } else if (const auto* e = event.As<ev::SentBeforeStop>()) {
        r.Timed(Shown(NameOfPath(e->path)) +
                " was sent before the agent stopped: it is marked sent now, not sent again.");
    } else if (const auto* e = event.As<ev::LocalSkipped>()) {
        r.Timed(SkipText(*e));
        if (e->why == ev::ESkip::ControlChar)
            r.UploadFail();
    } else if (const auto* e = event.As<ev::LinkSkipped>()) {
        r.Timed(Shown(NameOfPath(e->path)) + " in " + Shown(FolderOfPath(e->path)) +
                " is a symbolic link and is not sent: put the file itself in the folder.");
    } else if (const auto* e = event.As<ev::FileHeldBack>()) {
        r.Timed(Shown(NameOfPath(e->path)) +
                " is still being written; it is sent when it is finished.");
    } else if (const auto* e = event.As<ev::TempFilesSwept>()) {
        r.Timed("Removed " + std::to_string(e->count) +
                " unfinished temporary file(s) left by an interrupted run");
    }
}

void Download(CRender& r, const CAgentEvent& event, const std::string& support)
{
    if (const auto* e = event.As<ev::DownloadPass>()) {
        r.Window(e->on ? "Starting Auto-Download Process" : "Auto Download is off");
        r.Status(e->on ? "Starting Auto Download" : "Auto Download is off");
    } else if (event.As<ev::ListRequested>()) {
        r.Window(r.Time() + " - Getting List of Files from the Server");
    } else if (const auto* e = event.As<ev::ListCounted>()) {
        r.Window(Format("Number of File(s) to Download : %d", e->count));
        if (e->count > e->taken)
            r.Timed("Taking the first " + std::to_string(e->taken) + " of " +
                    std::to_string(e->count) + " files now, the rest next time");
    } else if (const auto* e = event.As<ev::ListRead>()) {
        if (e->files > 0) {
            r.Window("Downloading Files");
        } else {
            r.Window(r.Time() + " No File to Download\r\n");
            r.Status("No File to Download");
            r.Log(r.Time() + " No File to Download");
        }
    } else if (const auto* e = event.As<ev::ListFailed>()) {
        const std::string line = e->noList ? r.Time() + " ERROR: Is the network down ???" : e->stopText;
        const unsigned sinks = e->noList ? kToAll : e->sinks;
        if (sinks & kToWindow)
            r.Window(line);
        if (sinks & kToStatus)
            r.Status(line);
        if (sinks & kToLog)
            r.Log(line);
    } else if (const auto* e = event.As<ev::DocumentStarted>()) {
        r.Window(Format("%s - %d of %d Downloading \"%s\" to %s", r.Time().c_str(), e->index,
                        e->count, e->name.c_str(), e->folder.c_str()));
    } else if (const auto* e = event.As<ev::DocumentKept>()) {
        r.Timed(e->name + " differs from the copy already in " + e->folder +
                ": that copy is kept as " + e->keptAs);
    } else if (const auto* e = event.As<ev::DocumentFailed>()) {
        const std::string& time = r.Time();
        if (e->stage == EStage::Name) {
            const std::string line = time + " - Refused unsafe file name \"" + Shown(e->name) +
                                     "\" from the server. Please inform " + support;
            r.Window(line);
            r.Status(line);
            r.Log(line);
        } else if (e->stage == EStage::Confirm) {
            r.Timed("The service was not told that " + Shown(e->name) + " arrived" +
                    InParens(e->reason, 80) + "; it is listed again and confirmed at the next poll.");
        } else {
            std::string line =
                time + " - Download Failed - " + e->reason + ", Please inform " + support + ".\r\n";
            r.WithBreak(line);
            if (e->missing) {
                line = time + " - " + Shown(e->name) + " not found on Server. Please inform " + support;
                r.WithBreak(line);
            } else {
                line.resize(line.size() - 2);
            }
            r.Status(line);
        }
    } else if (event.As<ev::DownloadEnded>()) {
        r.Status("Orbidex - Idle");
    }
}

void Service(CRender& r, const CAgentEvent& event)
{
    if (event.As<ev::StillRunning>()) {
        r.Status("Nimbrel Upload Ravlet");
    } else if (const auto* e = event.As<ev::ServiceDown>()) {
        if (e->noInternet)
            r.Box("InternetOpen Failed");
        r.Status("No Internet Access");
        r.Timed("No Internet Access: the service did not answer; the next poll tries again.");
    } else if (event.As<ev::NoInternet>()) {
        const std::string text =
            r.Time() + " - Internet not avaiable. Please contact your Systems Administrator.";
        r.Box(text);
        r.WithBreak(text);
    } else if (const auto* e = event.As<ev::ServiceFault>()) {
        if (e->step == ev::EStep::Cycle) {
            r.Status("The service is too slow: the rest waits for the next poll");
            r.Timed("The service is too slow (" + e->reason + "); what is left waits for the next poll.");
        } else if (e->step == ev::EStep::Login) {
            const std::string why = InParens(e->reason, 80);
            r.Status("The service could not check the login" + why);
            r.Timed("The service could not check the login" + why +
                    "; it is tried again at the next poll.");
        }  // the other steps' own lines say it
    } else if (event.As<ev::LoginAccepted>()) {
        r.Status("UserName Validation =*= OK =*=");
    } else if (event.As<ev::LoginRefused>()) {
        r.Status("UserName or Password Validation Fail");
        r.InvalidLogin();
    } else if (event.As<ev::LoginNotConfigured>()) {
        r.Status("Tolvane's Orbidex: Login ID not provided");
        r.Window("Tolvane's Orbidex: Login ID not provided");
        r.InvalidLogin();
    } else if (const auto* e = event.As<ev::Connecting>()) {
        r.Status(Format("Connecting to %s (Attempt %d of %d)", e->host.c_str(), e->attempt,
                        e->attempts));
    } else if (const auto* e = event.As<ev::ConnectAttemptFailed>()) {
        r.Status(e->reason);
    } else if (event.As<ev::FtpReady>()) {
        r.Status("Connected to Tolvane Server");
    } else if (event.As<ev::FtpLoginRefused>() || event.As<ev::FtpUnreachable>()) {
        const auto* refused = event.As<ev::FtpLoginRefused>();
        const std::string& reason =
            refused ? refused->reason : event.As<ev::FtpUnreachable>()->reason;
        r.Status("Failed to connect to server");
        // The advice after the reason must still fit the window's line.
        r.Timed("Failed to connect to server" + InParens(reason, 120) +
                "; the files wait for the next poll.");
    } else if (event.As<ev::KeyringLocked>()) {
        r.Status("The keyring is locked");
        r.Timed("The keyring is locked: the password cannot be read, so nothing is sent to the "
                "service. Unlock it; the agent asks again at the next poll.");
    } else if (const auto* e = event.As<ev::SettingsUnreadable>()) {
        r.Timed(CleanReason(e->reason, 160) +
                ": the agent runs with what it could read. Open Configuration and Save.");
    }
}

}  // namespace

std::string NameOfPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CleanReason(std::string text, std::size_t max)
{
    text = std::string(CutUtf8(text, max));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    text.erase(text.find_last_not_of(" .") + 1);
    return text;
}

std::string FailureText(const ev::FileFailed& e)
{
    const std::string name = NameOfPath(e.path);
    switch (e.stage) {
        case EStage::Read:
            return Shown(name) + " could not be read: " + e.reason + ".";
        case EStage::Put:
            return e.put == ev::EPutFault::Timeout
                       ? "Sending " + name + " timed out: the server stopped answering."
                   : e.put == ev::EPutFault::Closed
                       ? "Sending " + name + " failed: the server closed the connection."
                       : std::string();
        case EStage::Notify:
            return NotifyText(e);
        case EStage::Archive:
            return Shown(name) + " was sent, but its copy could not be made in " +
                   Shown(FolderOfPath(e.path)) + "/" + kArchive + ": " + e.reason +
                   ". It is tried again at each poll.";
        case EStage::Mark:
            return Shown(name) + " was sent, but could not be marked sent" +
                   (e.reason.empty() ? std::string() : ": " + e.reason) +
                   ". It is not sent again while it is unchanged; make it read-only or move it "
                   "away.";
        case EStage::None:
        case EStage::Fetch:
        case EStage::Save:
        case EStage::Confirm:
        case EStage::Name:
            return e.reason;
    }
    return e.reason;
}

std::string SkipText(const ev::LocalSkipped& e)
{
    const std::string name = Shown(NameOfPath(e.path));
    switch (e.why) {
        case ev::ESkip::ControlChar:
            return "The name \"" + name + "\" holds a control character and cannot be sent. "
                   "Rename the file.";
        case ev::ESkip::NameTooLong:
            return name + " is not sent: its name is too long for the server once the login ID "
                   "is put before it (" + std::to_string(e.length) + " bytes, at most " +
                   std::to_string(e.limit) + "). Shorten the name.";
        case ev::ESkip::StateFolder:
            return "The agent's record in " + Shown(e.path) + " cannot be written: " + e.reason +
                   ". Files sent are not sent again while the agent runs, but after a restart "
                   "a file it could not mark sent may be sent again: make the folder writable.";
    }
    return {};
}

std::vector<CRendered> RenderEvent(const CAgentEvent& event, const std::string& time,
                                   const std::string& support)
{
    std::vector<CRendered> out;
    CRender r(out, time);
    Service(r, event);
    Upload(r, event);
    Download(r, event, support);
    return out;
}
