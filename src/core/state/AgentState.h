#pragma once
#include "core/state/AgentEvent.h"

#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

class IClock;

template <typename T, typename Variant>
struct IsOneOf;
template <typename T, typename... Ts>
struct IsOneOf<T, std::variant<Ts...>> : std::bool_constant<(std::is_same_v<T, Ts> || ...)> {
};

// What needs the author, by kind: each is one open problem until it is mended.
enum class EProblem {
    NotConfigured,
    LoginRefused,
    ServiceDown,
    ServiceFault,
    ListFailed,
    FtpLoginRefused,
    FtpUnreachable,
    UploadFailed,
    DownloadFailed,
    LocalSkipped,
    KeyringLocked,
    SettingsUnreadable,
};

struct CProblem {
    EProblem kind = EProblem::ServiceDown;
    std::string subject;  // the file, the document, the step or the FTP account
    std::string reason;
    EStage stage = EStage::None;
    long status = 0;
    std::time_t since = 0;
    // One problem per kind and subject: a repeat only updates it.
    std::string Key() const;
};

struct CCycleOutcome {
    unsigned number = 0;    // cycles ended since start; 0: none yet
    std::time_t ended = 0;
    int sent = 0;
    int fetched = 0;
    int failed = 0;
};

// The one state the author's views read: busy or not, the last cycle's outcome, the open
// problems. Folds the engine's events; any thread. Problems close when a later step succeeds
// at the same thing, or when what caused them is gone (the file, the listed document).
class CAgentState {
public:
    explicit CAgentState(const IClock& clock) : m_clock(clock) {}
    CAgentState(const CAgentState&) = delete;
    CAgentState& operator=(const CAgentState&) = delete;

    void Report(const CAgentEvent& event);
    // The author saved new settings: what a login problem said no longer holds.
    void ConfigurationSaved();
    // The Polling Time as loaded from the settings: 0 or below turns automatic sending off.
    void PollingChanged(int pollTime);
    // The author paused automatic sending, or resumed it.
    void SetPaused(bool paused);

    struct CSnapshot {
        bool busy = false;
        CCycleOutcome last;
        std::vector<CProblem> problems;  // oldest first
        bool Attention() const { return !problems.empty(); }
        int pollTime = 1;
        bool SendingOff() const { return pollTime <= 0; }
        bool paused = false;
        // Of the transfers that have told their progress, the one that told it first: with
        // several at once, the oldest stays in view until it ends rather than the view jumping.
        std::optional<ev::Progress> transfer;
    };
    CSnapshot Snapshot() const;

    // Problems opened and closed since the last Take, as a pair of lists.
    struct CChanges {
        std::vector<CProblem> opened;
        std::vector<CProblem> closed;
    };
    // What a view shows and what it must say has changed, read under one lock: a problem that
    // opens in between cannot be in the one and missing from the other.
    struct CTaken {
        CSnapshot now;
        CChanges changes;
    };
    CTaken Take();

    // Called after a change the author may see (busy, a problem opened or closed, a cycle's
    // end), on the reporting thread and outside the lock. Not for every file sent.
    std::function<void()> onChanged;
    // Every event, as it is reported (any thread, outside the lock): for the author's list.
    std::function<void(const CAgentEvent&)> onEvent;

private:
    bool FoldLocked(const CAgentEvent& e);
    // One per kind the state keeps; true when something the author sees changed besides the
    // problems opened, which FoldLocked counts itself.
    bool Fold(const ev::CycleStarted&);
    bool Fold(const ev::CycleEnded&);
    bool Fold(const ev::ServiceAnswered&);
    bool Fold(const ev::ServiceDown& e);
    bool Fold(const ev::NoInternet&);
    bool Fold(const ev::ServiceFault& e);
    bool Fold(const ev::LoginAccepted&);
    bool Fold(const ev::LoginRefused&);
    bool Fold(const ev::LoginNotConfigured&);
    bool Fold(const ev::FtpConnected& e);
    bool Fold(const ev::FtpLoginRefused& e);
    bool Fold(const ev::FtpUnreachable& e);
    bool Fold(const ev::FilesWaiting& e);
    bool Fold(const ev::Progress& e);
    bool Fold(const ev::FileDone& e);
    bool Fold(const ev::FileSent& e);
    bool Fold(const ev::FileArchived& e);
    bool Fold(const ev::FileFailed& e);
    bool Fold(const ev::LocalSkipped& e);
    bool Fold(const ev::ListRead& e);
    bool Fold(const ev::ListFailed& e);
    bool Fold(const ev::DocumentFetched& e);
    bool Fold(const ev::DocumentFailed& e);
    bool Fold(const ev::KeyringLocked& e);
    bool Fold(const ev::KeyringAnswered&);
    bool Fold(const ev::SettingsUnreadable& e);
    bool Fold(const ev::SettingsReadable&);
    // What only narrates (connecting, a file started, the window's own lines): the state keeps
    // nothing of it. An event neither folded above nor listed here does not build.
    using CNarration =
        std::variant<ev::StillRunning, ev::Connecting, ev::ConnectAttemptFailed, ev::FtpReady,
                     ev::UploadPass, ev::TransfersBegin, ev::FileStarted, ev::FileChanged,
                     ev::SentBeforeStop, ev::LinkSkipped, ev::FileHeldBack, ev::TempFilesSwept,
                     ev::DownloadPass, ev::ListRequested, ev::ListCounted, ev::DocumentStarted,
                     ev::DocumentKept, ev::DownloadEnded>;
    template <typename T, std::enable_if_t<IsOneOf<T, CNarration>::value, int> = 0>
    bool Fold(const T&)
    {
        return false;
    }
    void Open(EProblem kind, const std::string& subject, const std::string& reason,
              EStage stage = EStage::None, long status = 0);
    bool Close(EProblem kind, const std::string& subject);
    bool CloseUnless(EProblem kind, const std::vector<std::string>& present);
    bool EndTransfer(EDirection direction, const std::string& name);

    const IClock& m_clock;
    mutable std::mutex m_lock;
    bool m_busy = false;
    CCycleOutcome m_cycle;  // the running cycle's counts
    CCycleOutcome m_last;
    int m_pollTime = 1;
    bool m_paused = false;
    std::vector<ev::Progress> m_transfers;  // running, in the order they first told progress
    std::map<std::string, CProblem> m_problems;
    CSnapshot SnapshotLocked() const;

    std::map<std::string, CProblem> m_seen;  // as the last Take left them
    std::vector<std::string> m_order;        // keys in the order they opened
};
