#pragma once
#include <string>
#include <vector>

// What the engine reports: what happened, with the data any text about it needs. The engine
// never words a failure for the author; the event writer and the agent state do.
enum class EEvent {
    CycleStarted,
    CycleEnded,
    ServiceAnswered,     // the web host's root opened
    ServiceDown,         // it did not
    ServiceFault,        // a request failed or came back with an error status; subject: the step
    NoInternet,          // the internet layer could not be opened at all
    LoginAccepted,
    LoginRefused,
    LoginNotConfigured,  // no login ID: nothing was sent
    FtpConnected,        // account: 'u' or 'd'
    FtpLoginRefused,
    FtpUnreachable,
    FilesWaiting,        // items: the local paths the scan found
    FileSent,            // subject: local path; put, announced, archived and marked
    FileArchived,        // subject: local path; a sent file's archive copy, made at last
    FileFailed,          // subject: local path; stage: where
    LocalSkipped,        // subject: local path or name; reason: why it is left alone
    ListRead,            // items: the names the service listed
    ListFailed,          // reason: the line shown; sinks: where it goes
    DocumentFetched,     // subject: name
    DocumentFailed,      // subject: name; stage: where
    TempFilesSwept,      // count
    KeyringLocked,       // the password's keyring gave no answer; reason: its words
    KeyringAnswered,
    SettingsUnreadable,  // reason: which file and why
    SettingsReadable,
    FileHeldBack,        // subject: local path; still being written, sent when finished
};

enum class EStage { None, Put, Notify, Archive, Mark, Read, Fetch, Save, Confirm, Name };

// Where a list failure's line goes.
enum : unsigned {
    kToWindow = 1u,
    kToStatus = 2u,
    kToLog = 4u,
    kToAll = kToWindow | kToStatus | kToLog,
};

struct CAgentEvent {
    CAgentEvent(EEvent k, std::string what = {}, std::string why = {})
        : kind(k), subject(std::move(what)), reason(std::move(why))
    {
    }
    EEvent kind;
    std::string subject;
    std::string reason;
    EStage stage = EStage::None;
    long status = 0;     // HTTP status of a service fault, when one came
    int count = 0;       // files swept; the line sinks of a list failure
    bool missing = false;  // a document failed: the server does not have it
    char account = 0;    // FTP account of a connect event
    std::string line;    // a list failure's line as shown; an archive or mark failure's, when due
    std::vector<std::string> items;
};

// Receives the engine's events; callable from the worker and the UI thread.
class IAgentEvents {
public:
    virtual ~IAgentEvents() = default;
    virtual void Report(const CAgentEvent& event) = 0;
};
