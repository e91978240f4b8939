#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The internet layer the agent's transfers run on: a stand-in for the first platform's
// internet library, with its error numbering (12001-12111) so the error texts keep their meaning.
namespace inet {
constexpr unsigned long kErrOutOfHandles = 12001;
constexpr unsigned long kErrTimeout = 12002;
constexpr unsigned long kErrExtended = 12003;  // e.g. a server's 550 on a get
constexpr unsigned long kErrInternal = 12004;
constexpr unsigned long kErrInvalidUrl = 12005;
constexpr unsigned long kErrUnrecognizedScheme = 12006;
constexpr unsigned long kErrNameNotResolved = 12007;
constexpr unsigned long kErrIncorrectUserName = 12013;
constexpr unsigned long kErrIncorrectPassword = 12014;
constexpr unsigned long kErrLoginFailure = 12015;
constexpr unsigned long kErrOperationCancelled = 12017;
constexpr unsigned long kErrCannotConnect = 12029;
constexpr unsigned long kErrConnectionAborted = 12030;
constexpr unsigned long kErrConnectionReset = 12031;
constexpr unsigned long kErrSecureFailure = 12175;  // outside the table: no sentence

// Flag of OpenUrl: keep the answer out of any cache (no cache write).
constexpr unsigned kUrlNoCacheWrite = 0x04000000;
// Flag of OpenUrl, ours alone: a request the service acts on (a notification, a confirmation),
// whose answer is still read at a stop (IInternet::Stop).
constexpr unsigned kUrlFinishAtStop = 0x00000001;
}  // namespace inet

// An opened URL whose body has been or is being received.
class IUrlHandle {
public:
    virtual ~IUrlHandle() = default;
    // Copies up to `cap` bytes of the body into `buf`. False on failure; *got == 0 at the end.
    virtual bool Read(char* buf, std::size_t cap, std::size_t* got) = 0;
    // The HTTP status of the answer (a layer without one answers 200).
    virtual long StatusCode() const { return 200; }
};

// The result of opening the internet (user agent set); requests are made through it.
class IInternetHandle {
public:
    virtual ~IInternetHandle() = default;
    // One GET with no headers or body of our own. Null when the URL could not be opened.
    virtual std::unique_ptr<IUrlHandle> OpenUrl(const std::string& url, unsigned flags) = 0;
    // Why the last OpenUrl gave null, in a few plain words ("the server closed the
    // connection"); empty when the layer cannot tell.
    virtual std::string LastFailure() const { return {}; }
    // Whether the last OpenUrl that gave null had sent its request: the server may have acted
    // on it though its answer never came.
    virtual bool LastRequestSent() const { return false; }
};

// A put's or get's bytes so far and its whole size (0: not known), told on the transferring
// thread as often as the layer looks, many times a second: it must cost next to nothing.
using TransferProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

struct FtpFailure {
    unsigned long code = 0;  // in the 12001-12111 numbering
    std::string message;     // the layer's own wording of the failure
};

// One logged-in FTP control connection. Every operation uses that same connection.
class IFtpConnection {
public:
    virtual ~IFtpConnection() = default;
    // The directory of the operations that follow. The server hears it with the next
    // operation, which fails when the server refuses the directory.
    virtual bool SetCurrentDirectory(const std::string& dir) = 0;
    // Binary put of the open local file `fd`, from its start, under `remoteName` (relative to
    // the current directory). The file is read through the descriptor alone.
    virtual bool PutFile(int fd, const std::string& remoteName) = 0;
    // As PutFile, for a file whose size the caller has just read: the put sends that many
    // bytes and no more, and does not ask the file again.
    virtual bool PutFileOfSize(int fd, const std::string& remoteName, std::uint64_t size)
    {
        (void)size;
        return PutFile(fd, remoteName);
    }
    // Binary get written into the open, empty local file `fd`.
    virtual bool GetFile(const std::string& remotePath, int fd) = 0;
    // Whether `name` is listed in the current directory.
    virtual bool FindFile(const std::string& name) = 0;
    // The server's size of a remote file, when the server answers SIZE.
    virtual std::optional<std::uint64_t> GetRemoteSize(const std::string& remoteName) = 0;
    // Error code of the last failed operation on this connection (12001-12111 numbering).
    virtual unsigned long LastError() const = 0;
    // The system's wording when the last failure was local (a full disk, no permission),
    // which the internet numbering can only call internal; empty otherwise.
    virtual std::string LastLocalError() const { return {}; }
    // Whether the connection can carry another operation: still logged in, and the server has
    // neither closed it nor spoken unasked (a 421 before it hangs up). Asks nothing of the
    // server. A layer that cannot tell says no, and its connections serve one file each.
    virtual bool IsAlive() { return false; }
    // Told of every later put's and get's bytes until set again (empty: no one is told).
    virtual void SetProgress(TransferProgress /*progress*/) {}
    virtual void Close() = 0;
};

// One transfer pass's session (connect/send/receive time-outs, proxy from the system).
class IInternetSession {
public:
    virtual ~IInternetSession() = default;
    virtual void SetTimeouts(long connectMs, long sendMs, long receiveMs) = 0;
    // Exactly one login attempt. `host` may carry ":port", which then wins over `port`.
    virtual std::unique_ptr<IFtpConnection> GetFtpConnection(const std::string& host,
                                                             const std::string& user,
                                                             const std::string& password, int port,
                                                             bool passive, FtpFailure* failure) = 0;
};

class IInternet {
public:
    virtual ~IInternet() = default;
    // Null when the internet cannot be opened at all.
    virtual std::unique_ptr<IInternetHandle> Open(const std::string& userAgent) = 0;
    virtual std::unique_ptr<IInternetSession> OpenSession(const std::string& userAgent,
                                                          unsigned long context) = 0;
    // Aborts every running and later transfer promptly (used at exit). Irreversible.
    virtual void Cancel() = 0;
    // Exit, kept promises: nothing new starts from now on and every transfer is aborted at
    // once, but for requests opened with kUrlFinishAtStop already on their way: they have up
    // to `graceMs` more for their answer. Cancel() still ends everything at once. Irreversible.
    virtual void Stop(long /*graceMs*/) { Cancel(); }
    // While on, the calling thread's web requests keep their connections open for the next
    // request to the same host (TLS sessions resumed); switching it off closes them. The
    // requests themselves do not change.
    virtual void KeepWebConnections(bool /*on*/) {}
    // Bounds the time that transfers started from the calling thread may spend, all together,
    // on a server that keeps still past a normal wait for a reply or drips under the low-speed
    // rate (a slow link's round trips are not charged); once it is spent, the transfer under
    // way and every later one end as time-outs. 0: none.
    virtual void SetWaitBudget(long /*ms*/) {}
    // Whether the calling thread's budget is spent: its requests fail at once from now on.
    virtual bool WaitBudgetSpent() const { return false; }
    // What is left of the calling thread's budget, to hand to a thread that shares its work;
    // 0: none set.
    virtual long WaitBudgetLeft() const { return 0; }
    // Spends the calling thread's budget at once (another thread sharing its work spent its).
    virtual void SpendWaitBudget() {}
    // Hands the calling thread's kept web connections to another thread, which adopts them:
    // a pass's notifications go on the cycle's one connection from whichever thread sends
    // them. Null where there are none to hand.
    virtual std::shared_ptr<void> ReleaseWebConnections() { return nullptr; }
    virtual void AdoptWebConnections(std::shared_ptr<void> /*kept*/) {}
    // How many FTP sessions a pass may run side by side on this layer: several only where
    // every session, web request and budget is the calling thread's own.
    virtual int MostFtpSessions() const { return 1; }
};

// A transfer that moves fewer than `lowSpeedBytes` a second for `lowSpeedSeconds` in a row is
// given up as a time-out: a server that drips its answer must not hold a cycle for ever. The
// stall time-outs still catch a transfer that moves nothing at all.
struct TransferLimits {
    long lowSpeedBytes = 1024;
    long lowSpeedSeconds = 60;
    int mostFtpSessions = 3;  // side by side in one pass, for a backlog
};

// The real layer (libcurl). `caFile`: PEM to trust instead of the system store, or empty.
std::unique_ptr<IInternet> CreateInternet(const std::string& caFile,
                                          const TransferLimits& limits = {});
