#pragma once
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// What the engine reports: what happened, with the data any text about it needs, one payload
// type per kind. The engine never words anything for the author: the event texts render the
// window's and the log's lines, the agent state folds the events into what the author sees.
// A `reason` is what a lower layer said (the system, the server, the internet layer), as data.

enum class EStage { None, Put, Notify, Archive, Mark, Read, Fetch, Save, Confirm, Name };
enum class EDirection { Up, Down };

// Where a list failure's line goes.
enum : unsigned {
    kToWindow = 1u,
    kToStatus = 2u,
    kToLog = 4u,
    kToAll = kToWindow | kToStatus | kToLog,
};

namespace ev {
// The cycle.
struct CycleStarted {};
struct CycleEnded {};
struct StillRunning {};  // a start asked for while a cycle runs
// The service's web host and the author's login.
struct ServiceAnswered {};
struct ServiceDown { std::string reason; bool noInternet = false; };
struct NoInternet {};  // the internet layer could not be opened at all
enum class EStep { Login, Cycle, Notify, List };
struct ServiceFault { EStep step = EStep::Login; std::string reason; long status = 0; };
struct LoginAccepted {};
struct LoginRefused {};
struct LoginNotConfigured {};  // no login ID: nothing was sent
// FTP sessions; `account` is kUploadAccount or kDownloadAccount.
struct Connecting { char account = 0; std::string host; int attempt = 1; int attempts = 1; };
struct ConnectAttemptFailed { char account = 0; std::string reason; };
struct FtpConnected { char account = 0; std::string host; };
struct FtpReady { char account = 0; };  // a session, new or kept, is there for the next file
struct FtpLoginRefused { char account = 0; std::string host; std::string reason; };
struct FtpUnreachable { char account = 0; std::string host; std::string reason; };
// Sending.
struct UploadPass { int files = 0; };
struct FilesWaiting { std::vector<std::string> paths; };
struct TransfersBegin { EDirection direction = EDirection::Up; int count = 0; };
struct FileStarted {
    std::string path, name;
    std::uint64_t size = 0;
    int index = 0, count = 0;  // index from 1
};
struct Progress {
    EDirection direction = EDirection::Up;
    std::string name;
    std::uint64_t done = 0, total = 0;  // total 0: not known
    double rate = 0;                    // bytes a second
};
struct FileDone { EDirection direction = EDirection::Up; std::string name; };
enum class EPutFault { None, Timeout, Closed };
// Cut: sent, but its answer never came; the service may have taken it.
enum class ENotifyFault { NotAccepted, Refused, NoInternet, Unreachable, Cut };
struct FileFailed {
    std::string path;
    EStage stage = EStage::Put;
    std::string reason;
    EPutFault put = EPutFault::None;              // Put
    ENotifyFault notify = ENotifyFault::Refused;  // Notify
    bool tell = true;                             // Archive, Mark: the line is due (once a run)
};
struct FileChanged { std::string path; };  // written to while it was sent: not announced
struct FileSent { std::string path; };     // put, announced, and (as far as it could) marked
struct FileArchived { std::string path; bool stillUnmarked = false; };
struct SentBeforeStop { std::string path; };  // announced before a stop: marked now
enum class ESkip { ControlChar, NameTooLong, StateFolder };
struct LocalSkipped {
    std::string path;
    ESkip why = ESkip::ControlChar;
    std::string reason;  // StateFolder: the system's words
    std::size_t length = 0, limit = 0;  // NameTooLong
};
struct LinkSkipped { std::string path; };
struct FileHeldBack { std::string path; };  // still being written: sent when finished
struct TempFilesSwept { int count = 0; };
// Receiving.
struct DownloadPass { bool on = false; };
struct ListRequested {};
struct ListCounted { int count = 0; int taken = 0; };
struct ListRead { std::vector<std::string> names; int files = 0; };
struct ListFailed {
    std::string reason;
    long status = 0;
    bool noList = false;   // no answer, an error page or a cut one
    std::string stopText;  // else the list's own stop, said where `sinks` say
    unsigned sinks = 0;
};
struct DocumentStarted { std::string name, folder; int index = 0, count = 0; };
struct DocumentKept { std::string name, folder, keptAs; };  // a different copy set aside
struct DocumentFetched { std::string name; };
struct DocumentFailed {
    std::string name;
    EStage stage = EStage::Fetch;
    std::string reason;
    bool missing = false;  // the server does not have it
};
struct DownloadEnded {};
// The author's own settings.
struct KeyringLocked { std::string reason; };
struct KeyringAnswered {};
struct SettingsUnreadable { std::string reason; };
struct SettingsReadable {};
}  // namespace ev

// The order of EEvent is the order of the payload types in CAgentEvent::Payload.
enum class EEvent {
    CycleStarted, CycleEnded, StillRunning,
    ServiceAnswered, ServiceDown, NoInternet, ServiceFault,
    LoginAccepted, LoginRefused, LoginNotConfigured,
    Connecting, ConnectAttemptFailed, FtpConnected, FtpReady, FtpLoginRefused, FtpUnreachable,
    UploadPass, FilesWaiting, TransfersBegin, FileStarted, Progress, FileDone, FileFailed,
    FileChanged, FileSent, FileArchived, SentBeforeStop, LocalSkipped, LinkSkipped, FileHeldBack,
    TempFilesSwept,
    DownloadPass, ListRequested, ListCounted, ListRead, ListFailed, DocumentStarted, DocumentKept,
    DocumentFetched, DocumentFailed, DownloadEnded,
    KeyringLocked, KeyringAnswered, SettingsUnreadable, SettingsReadable,
};

struct CAgentEvent {
    using Payload = std::variant<
        ev::CycleStarted, ev::CycleEnded, ev::StillRunning,
        ev::ServiceAnswered, ev::ServiceDown, ev::NoInternet, ev::ServiceFault,
        ev::LoginAccepted, ev::LoginRefused, ev::LoginNotConfigured,
        ev::Connecting, ev::ConnectAttemptFailed, ev::FtpConnected, ev::FtpReady,
        ev::FtpLoginRefused, ev::FtpUnreachable,
        ev::UploadPass, ev::FilesWaiting, ev::TransfersBegin, ev::FileStarted, ev::Progress,
        ev::FileDone, ev::FileFailed, ev::FileChanged, ev::FileSent, ev::FileArchived,
        ev::SentBeforeStop, ev::LocalSkipped, ev::LinkSkipped, ev::FileHeldBack,
        ev::TempFilesSwept,
        ev::DownloadPass, ev::ListRequested, ev::ListCounted, ev::ListRead, ev::ListFailed,
        ev::DocumentStarted, ev::DocumentKept, ev::DocumentFetched, ev::DocumentFailed,
        ev::DownloadEnded,
        ev::KeyringLocked, ev::KeyringAnswered, ev::SettingsUnreadable, ev::SettingsReadable>;

    template <typename T>
    CAgentEvent(T p) : payload(std::move(p))  // NOLINT: every payload is an event
    {
    }
    EEvent Kind() const { return static_cast<EEvent>(payload.index()); }
    template <typename T>
    const T* As() const
    {
        return std::get_if<T>(&payload);
    }

    Payload payload;
};

static_assert(std::variant_size_v<CAgentEvent::Payload> ==
              static_cast<std::size_t>(EEvent::SettingsReadable) + 1);

// Receives the engine's events; callable from the worker and the UI thread.
class IAgentEvents {
public:
    virtual ~IAgentEvents() = default;
    virtual void Report(const CAgentEvent& event) = 0;
};
