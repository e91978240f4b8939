#include "platform/CurlInternet.h"
#include "platform/FtpPath.h"

#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace curlnet {
namespace {

constexpr std::size_t kMaxListing = 16u << 20;
constexpr long kReceiveBufferBytes = 128L << 10;

size_t Discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

size_t CollectText(char* data, size_t size, size_t count, void* user)
{
    auto* text = static_cast<std::string*>(user);
    const size_t n = size * count;
    if (text->size() + n > kMaxListing)
        return 0;
    text->append(data, n);
    return n;
}

// The local file of a get, already open; each piece libcurl hands over goes out in one write.
struct GetSink {
    int fd = -1;
    int error = 0;  // errno of the local failure that stopped the get

    static size_t Write(char* data, size_t size, size_t count, void* user)
    {
        auto* sink = static_cast<GetSink*>(user);
        const size_t n = size * count;
        for (size_t done = 0; done < n;) {
            const ssize_t w = ::write(sink->fd, data + done, n - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                sink->error = w < 0 ? errno : ENOSPC;
                return done;
            }
            done += static_cast<size_t>(w);
        }
        return n;
    }
};

// The digits of a 213 answer to SIZE; none for anything else.
std::optional<std::uint64_t> ParseSize(const std::string& text)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// The local file of a put, read from its start whatever its descriptor's offset, up to the
// size the put announced: bytes appended since belong to a later put.
struct PutSource {
    int fd = -1;
    off_t at = 0;
    off_t size = 0;
};

size_t ReadLocal(char* buffer, size_t size, size_t count, void* user)
{
    auto* source = static_cast<PutSource*>(user);
    const size_t want =
        static_cast<size_t>(std::min<off_t>(static_cast<off_t>(size * count),
                                            std::max<off_t>(0, source->size - source->at)));
    if (want == 0)
        return 0;
    for (;;) {
        const ssize_t n = ::pread(source->fd, buffer, want, source->at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return CURL_READFUNC_ABORT;
        source->at += n;
        return static_cast<size_t>(n);
    }
}

struct Request {
    std::string target;  // the absolute path of the file or folder
    bool folder = false;
    bool askSize = false;  // SIZE of the target after a successful transfer
    // Set from the target by the session's way with paths (see PerformAt).
    std::string url;
    std::string cwd;  // sent as CWD before anything else; empty for none
    std::string sizeOf;
    long stallMs = 0;
    bool upload = false;
    bool nobody = false;
    bool listOnly = false;
    bool progress = false;  // a put's or get's own bytes, not a login's, listing's or SIZE's
    curl_write_callback write = &Discard;
    void* writeData = nullptr;
    PutSource* readFrom = nullptr;
    curl_off_t uploadSize = -1;
};

class CCurlFtpConnection final : public IFtpConnection {
public:
    CCurlFtpConnection(std::shared_ptr<const Shared> shared, const FtpTimeouts& timeouts,
                       std::string origin, bool passive)
        : m_shared(std::move(shared)),
          m_timeouts(timeouts),
          m_origin(std::move(origin)),
          m_easy(curl_easy_init()),
          m_watch(*m_shared)
    {
        if (!m_easy)
            return;
        CURL* h = m_easy.get();
        ApplyCommonOptions(h, *m_shared);
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errorBuffer);
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CCurlFtpConnection::OnReply);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
        // Absolute paths in every command (see PerformAt).
        curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
        // A big file is received 128 KiB at a time, not 16 KiB: an eighth of the receives and
        // wake-ups. With the unbuffered file (GetSink) a 1 GiB get on loopback went from about
        // 1.6 s to 1.2 s.
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, m_timeouts.connectMs);
        curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, m_timeouts.connectMs);
        curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, (m_timeouts.receiveMs + 999) / 1000);
        // An HTTP proxy from the system carries the FTP connections as tunnels.
        curl_easy_setopt(h, CURLOPT_HTTPPROXYTUNNEL, 1L);
        if (!passive)
            curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
    }

    ~CCurlFtpConnection() override { Close(); }

    bool Login(const std::string& user, const std::string& password, FtpFailure* failure)
    {
        if (!m_easy) {
            Record(CURLE_OUT_OF_MEMORY);
            Report(failure);
            return false;
        }
        curl_easy_setopt(m_easy.get(), CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(m_easy.get(), CURLOPT_PASSWORD, password.c_str());
        Request login;
        login.url = m_origin + "/";
        login.nobody = true;
        login.stallMs = m_timeouts.connectMs;
        if (!Perform(login)) {
            Report(failure);
            return false;
        }
        const char* entry = nullptr;
        if (curl_easy_getinfo(m_easy.get(), CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry &&
            entry[0] == '/')
            m_cwd = Join(Segments(entry));
        return true;
    }

    // Only remembered: relative names are resolved against it, and the server hears none of it
    // (see PerformAt). A refused directory fails the next operation.
    bool SetCurrentDirectory(const std::string& dir) override
    {
        std::string target;
        if (!ResolveOrFail(dir, &target))
            return false;
        m_cwd = target;
        return true;
    }

    bool PutFile(int fd, const std::string& remoteName) override
    {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            return LocalFailure("Cannot read local file");
        return PutFileOfSize(fd, remoteName, static_cast<std::uint64_t>(st.st_size));
    }

    bool PutFileOfSize(int fd, const std::string& remoteName, std::uint64_t size) override
    {
        std::string target;
        if (!ResolveOrFail(remoteName, &target))
            return false;
        const auto length = static_cast<curl_off_t>(size);
        PutSource source{fd, 0, static_cast<off_t>(size)};
        Request put;
        put.target = target;
        put.upload = true;
        put.readFrom = &source;
        put.uploadSize = length;
        put.progress = true;
        put.stallMs = m_timeouts.sendMs;
        // The size check that follows every put is asked on the put's own transfer.
        put.askSize = true;
        bool ok = PerformAt(put);
        curl_off_t sent = 0;
        curl_easy_getinfo(m_easy.get(), CURLINFO_SIZE_UPLOAD_T, &sent);
        if (ok && sent != length)
            ok = ShortTransfer(sent, length);
        return ok;
    }

    bool GetFile(const std::string& remotePath, int fd) override
    {
        std::string target;
        if (!ResolveOrFail(remotePath, &target))
            return false;
        GetSink sink{fd};
        Request get;
        get.target = target;
        get.write = &GetSink::Write;
        get.writeData = &sink;
        get.progress = true;
        get.stallMs = m_timeouts.receiveMs;
        bool ok = PerformAt(get);
        if (!ok && sink.error)
            m_localError = std::strerror(sink.error);
        if (ok) {
            curl_off_t expected = -1;
            curl_off_t got = 0;
            curl_easy_getinfo(m_easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
            curl_easy_getinfo(m_easy.get(), CURLINFO_SIZE_DOWNLOAD_T, &got);
            if (expected >= 0 && got != expected)
                ok = ShortTransfer(got, expected);
        }
        return ok;
    }

    bool FindFile(const std::string& name) override
    {
        std::string target;
        if (!ResolveOrFail(name, &target))
            return false;
        const std::string dir = Parent(target);
        std::string listing;
        Request list;
        list.target = dir;
        list.folder = true;
        list.listOnly = true;
        list.write = &CollectText;
        list.writeData = &listing;
        list.stallMs = m_timeouts.receiveMs;
        if (!PerformAt(list))
            return false;
        const std::string wanted = BaseName(target);
        std::size_t start = 0;
        while (start < listing.size()) {
            std::size_t end = listing.find('\n', start);
            if (end == std::string::npos)
                end = listing.size();
            std::string line = listing.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            // Some servers list "dir/name" when given a directory.
            if (BaseName(line) == wanted)
                return true;
            start = end + 1;
        }
        return false;
    }

    std::optional<std::uint64_t> GetRemoteSize(const std::string& remoteName) override
    {
        std::string target;
        if (!ResolveOrFail(remoteName, &target))
            return std::nullopt;
        if (m_sizeAfterPut && m_sizeAfterPut->path == target) {
            const std::optional<std::uint64_t> known = m_sizeAfterPut->size;
            m_sizeAfterPut.reset();
            return known;
        }
        Request size;
        size.target = target;
        size.nobody = true;
        size.stallMs = m_timeouts.receiveMs;
        if (!PerformAt(size))
            return std::nullopt;
        curl_off_t length = -1;
        curl_easy_getinfo(m_easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length < 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(length);
    }

    unsigned long LastError() const override { return m_lastError; }
    std::string LastLocalError() const override { return m_localError; }

    // libcurl keeps the control connection between operations and would log in again, once and
    // silently, if the server had closed it: a closed or closing connection is found here, at
    // no cost to the server, so that the caller reconnects with its own attempts.
    bool IsAlive() override
    {
        curl_socket_t control = CURL_SOCKET_BAD;
        if (!m_easy ||
            curl_easy_getinfo(m_easy.get(), CURLINFO_ACTIVESOCKET, &control) != CURLE_OK ||
            control == CURL_SOCKET_BAD)
            return false;
        // Between operations the server has nothing to say: anything pending is its close, an
        // error, or the 421 it sends before closing. Peeked, not read: libcurl owns the stream.
        pollfd quiet{control, POLLIN, 0};
        if (::poll(&quiet, 1, 0) != 0)
            return false;
        char pending = 0;
        const ssize_t n = ::recv(control, &pending, 1, MSG_PEEK | MSG_DONTWAIT);
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }

    void SetProgress(TransferProgress progress) override { m_progress = std::move(progress); }

    // Sends QUIT when the control connection is still good; libcurl skips it after a failure.
    void Close() override
    {
        if (m_multi && m_easy)
            curl_multi_remove_handle(m_multi.get(), m_easy.get());
        m_easy.reset();
        m_multi.reset();
    }

private:
    static size_t OnReply(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<CCurlFtpConnection*>(user);
        self->m_watch.Heard();
        std::string line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        // Server replies only: libcurl also passes its own "Content-Length:" lines here.
        if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])))
            self->m_lastReply = line;
        // Only SIZE answers 213 among the commands of a put.
        if (line.rfind("213 ", 0) == 0)
            self->m_sizeReply = line.substr(4);
        return size * count;
    }

    std::string DirUrl(const std::string& absDir) const
    {
        std::string url = m_origin + "/%2F";
        for (const std::string& part : Segments(absDir)) url += EncodeSegment(part) + "/";
        return url;
    }

    std::string FileUrl(const std::string& absPath) const
    {
        std::vector<std::string> parts = Segments(absPath);
        std::string url = m_origin + "/%2F";
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (i)
                url += '/';
            url += EncodeSegment(parts[i]);
        }
        return url;
    }

    bool ResolveOrFail(const std::string& path, std::string* out)
    {
        if (Resolve(m_cwd, path, out))
            return true;
        m_lastError = inet::kErrInvalidUrl;
        m_lastMessage = "Invalid character in remote path";
        return false;
    }

    bool Perform(const Request& r)
    {
        m_lastCode = CURLE_OK;
        if (!m_easy) {
            m_lastError = 12019;  // closed: not in the state for any operation
            m_lastMessage = "The connection is closed";
            return false;
        }
        if (m_shared->Ended(false, std::chrono::steady_clock::now())) {
            Record(CURLE_ABORTED_BY_CALLBACK, TransferWatch::Stop::Cancelled);
            return false;
        }
        if (TransferWatch::WaitingSpent()) {
            Record(CURLE_ABORTED_BY_CALLBACK, TransferWatch::Stop::OutOfWaiting);
            return false;
        }
        CURL* h = m_easy.get();
        // Options stick to the handle: every operation sets all of its own.
        SlistPtr quote;
        if (!r.cwd.empty())
            quote.reset(curl_slist_append(nullptr, ("CWD " + r.cwd).c_str()));
        // "*": a server without SIZE does not fail the transfer before it.
        SlistPtr postQuote;
        if (!r.sizeOf.empty())
            postQuote.reset(curl_slist_append(nullptr, ("*SIZE " + r.sizeOf).c_str()));
        curl_easy_setopt(h, CURLOPT_URL, r.url.c_str());
        curl_easy_setopt(h, CURLOPT_QUOTE, quote.get());
        curl_easy_setopt(h, CURLOPT_POSTQUOTE, postQuote.get());
        curl_easy_setopt(h, CURLOPT_UPLOAD, r.upload ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_NOBODY, r.nobody ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_DIRLISTONLY, r.listOnly ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, r.write);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, r.writeData);
        curl_easy_setopt(h, CURLOPT_READFUNCTION, &ReadLocal);
        curl_easy_setopt(h, CURLOPT_READDATA, r.readFrom);
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, r.uploadSize);
        m_errorBuffer[0] = '\0';  // active mode can leave a stale message after success
        m_lastReply.clear();
        m_sizeReply.clear();
        m_sizeAfterPut.reset();
        m_localError.clear();
        m_watch.Arm(h, r.stallMs, r.progress ? &m_progress : nullptr, r.upload);
        const CURLcode code = RunTransfer(h);
        curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
        curl_easy_setopt(h, CURLOPT_POSTQUOTE, nullptr);
        if (code == CURLE_OK) {
            if (!r.sizeOf.empty())
                m_sizeAfterPut = SizeAnswer{r.target, ParseSize(m_sizeReply)};
            return true;
        }
        Record(code, m_watch.Reason());
        return false;
    }

    // curl_easy_perform's own loop but for one thing: libcurl 7.88 can read the EPSV reply
    // before it hands back, and then has no socket to wait on until its data connection is
    // tried, and sleeps a whole wait (a second) with nothing to wake it. Then it is run again
    // at once. (A CWD before each EPSV also avoided it, at a round trip a file.)
    CURLcode RunTransfer(CURL* h)
    {
        if (!m_multi)
            m_multi.reset(curl_multi_init());
        CURLM* m = m_multi.get();
        if (!m)
            return CURLE_OUT_OF_MEMORY;
        // libcurl starts a transfer when its handle is added, so it is added again for each;
        // the connection stays in this multi handle's cache between them.
        curl_multi_remove_handle(m, h);
        if (curl_multi_add_handle(m, h) != CURLM_OK)
            return CURLE_FAILED_INIT;
        int quickMs = 1;
        for (int running = 1;;) {
            if (curl_multi_perform(m, &running) != CURLM_OK)
                return CURLE_OUT_OF_MEMORY;
            if (!running)
                break;
            // curl_multi_poll waits on every socket; fdset only tells whether there is one. It
            // leaves out a socket past FD_SETSIZE too, so the quick wait grows: a process with
            // that many descriptors is not woken a thousand times a second.
            fd_set r, w, e;
            FD_ZERO(&r);
            FD_ZERO(&w);
            FD_ZERO(&e);
            int most = -1;
            curl_multi_fdset(m, &r, &w, &e, &most);
            int waitMs = 1000;
            if (most < 0) {
                waitMs = quickMs;
                quickMs = std::min(quickMs * 2, 1000);
            } else {
                quickMs = 1;
            }
            if (curl_multi_poll(m, nullptr, 0, waitMs, nullptr) != CURLM_OK)
                return CURLE_OUT_OF_MEMORY;
        }
        CURLcode result = CURLE_OK;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(m, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == h)
                result = msg->data.result;
        return result;
    }

    // Each command names its file by its absolute path, with no CWD before it: a round trip
    // less per file. A server that refuses such a path is asked once more with CWD and the bare
    // name; once that works the session keeps to it, and once an absolute path works a refusal
    // is the file's own.
    bool PerformAt(Request& r)
    {
        if (m_paths != Paths::Relative) {
            Place(r, false);
            if (Perform(r)) {
                m_paths = Paths::Absolute;
                return true;
            }
            if (m_paths == Paths::Absolute || !Refused(m_lastCode))
                return false;
            if (r.readFrom)
                r.readFrom->at = 0;
        }
        Place(r, true);
        if (!Perform(r))
            return false;
        m_paths = Paths::Relative;
        return true;
    }

    void Place(Request& r, bool relative) const
    {
        const std::string name = r.folder ? std::string() : BaseName(r.target);
        if (relative) {
            r.cwd = r.folder ? r.target : Parent(r.target);
            r.url = m_origin + "/" + EncodeSegment(name);
        } else {
            r.cwd.clear();
            r.url = r.folder ? DirUrl(r.target) : FileUrl(r.target);
        }
        r.sizeOf = r.askSize ? (relative ? name : r.target) : std::string();
    }

    static bool Refused(CURLcode code)
    {
        return code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_UPLOAD_FAILED ||
               code == CURLE_REMOTE_ACCESS_DENIED || code == CURLE_FTP_COULDNT_RETR_FILE;
    }

    void Record(CURLcode code, TransferWatch::Stop stop = TransferWatch::Stop::None)
    {
        m_lastCode = code;
        m_lastError = MapCurlCode(code, stop);
        m_lastMessage = DescribeFailure(code, stop, m_watch.StallMs(), m_errorBuffer, m_lastReply);
        // libcurl calls a 421 a time-out; it is the server closing the session, at once.
        if (m_lastReply.rfind("421", 0) == 0 && code != CURLE_ABORTED_BY_CALLBACK) {
            m_lastError = inet::kErrConnectionAborted;
            m_lastMessage = "The server closed the connection - server said: " + m_lastReply;
        }
    }

    bool LocalFailure(const std::string& message, int error = 0)
    {
        m_lastError = inet::kErrInternal;
        m_lastMessage = message;
        m_localError = error ? std::strerror(error) : "";
        return false;
    }

    bool ShortTransfer(curl_off_t moved, curl_off_t expected)
    {
        m_lastError = inet::kErrConnectionAborted;
        m_lastMessage = "Transfer ended after " + std::to_string(moved) + " of " +
                        std::to_string(expected) + " bytes";
        return false;
    }

    void Report(FtpFailure* failure) const
    {
        if (failure) {
            failure->code = m_lastError;
            failure->message = m_lastMessage;
        }
    }

    std::shared_ptr<const Shared> m_shared;
    FtpTimeouts m_timeouts;
    std::string m_origin;
    struct MultiDeleter {
        void operator()(CURLM* m) const { curl_multi_cleanup(m); }
    };
    std::unique_ptr<CURLM, MultiDeleter> m_multi;  // declared before m_easy: outlives it
    EasyPtr m_easy;
    TransferWatch m_watch;
    TransferProgress m_progress;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    std::string m_lastReply;
    std::string m_sizeReply;
    struct SizeAnswer {
        std::string path;
        std::optional<std::uint64_t> size;  // none when the server did not answer SIZE
    };
    std::optional<SizeAnswer> m_sizeAfterPut;  // until the next operation
    std::string m_cwd = "/";
    enum class Paths { Unknown, Absolute, Relative } m_paths = Paths::Unknown;
    CURLcode m_lastCode = CURLE_OK;
    unsigned long m_lastError = 0;
    std::string m_lastMessage;
    std::string m_localError;
};

}  // namespace

std::unique_ptr<IFtpConnection> OpenFtpConnection(std::shared_ptr<const Shared> shared,
                                                  const FtpTimeouts& timeouts,
                                                  const std::string& host, const std::string& user,
                                                  const std::string& password, int port,
                                                  bool passive, FtpFailure* failure)
{
    auto connection = std::make_unique<CCurlFtpConnection>(std::move(shared), timeouts,
                                                           FtpOrigin(host, port), passive);
    if (!connection->Login(user, password, failure))
        return nullptr;
    return connection;
}

}  // namespace curlnet
