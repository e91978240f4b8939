#include "platform/CurlInternet.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace curlnet {

namespace {
// The time a thread's transfers may still spend on a service that is not moving data.
struct WaitBudget {
    bool active = false;
    std::chrono::milliseconds left{0};
};
thread_local WaitBudget t_budget;
// Waiting this long for a reply is a link's normal pace (a round trip, a busy service), not a
// service holding the cycle: only silence past it is charged.
constexpr std::chrono::milliseconds kFreeWait{2000};
// The span over which a flowing transfer's pace is judged: long enough to see a drip of a byte
// every second or two as one.
constexpr std::chrono::milliseconds kPaceWindow{3000};
}  // namespace

void SetThreadWaitBudget(long ms)
{
    t_budget.active = ms > 0;
    t_budget.left = std::chrono::milliseconds(ms);
}

long ThreadWaitBudgetLeft()
{
    if (!t_budget.active)
        return 0;
    return std::max<long>(1, static_cast<long>(t_budget.left.count()));
}

void SpendThreadWaitBudget()
{
    t_budget.active = true;
    t_budget.left = std::chrono::milliseconds(0);
}

bool TransferWatch::WaitingSpent()
{
    return t_budget.active && t_budget.left.count() <= 0;
}

void TransferWatch::Arm(CURL* easy, long stallMs, const TransferProgress* progress, bool upload)
{
    m_progress = progress && *progress ? progress : nullptr;
    m_upload = upload;
    m_web = false;
    m_stallMs = stallMs;
    m_down = 0;
    m_up = 0;
    m_lastMove = m_lastTick = m_windowStart = std::chrono::steady_clock::now();
    m_windowMoved = 0;
    m_windowCharged = std::chrono::milliseconds(0);
    m_dripping = false;
    m_stop = Stop::None;
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TransferWatch::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
}

int TransferWatch::OnProgress(void* self, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                              curl_off_t ulnow)
{
    auto* watch = static_cast<TransferWatch*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (watch->m_shared.Ended(watch->m_web, now)) {
        watch->m_stop = Stop::Cancelled;
        return 1;
    }
    if (dlnow != watch->m_down || ulnow != watch->m_up) {
        watch->m_down = dlnow;
        watch->m_up = ulnow;
        watch->m_lastMove = now;
    }
    // The cycle is charged for silence past a normal wait for a reply, and for the whole time
    // of a transfer that moves, but under the low-speed rate: a slow link's round trips cost
    // nothing, a service that keeps still or drips its answers ends the cycle in the end.
    using std::chrono::milliseconds;
    const auto tick = std::chrono::duration_cast<milliseconds>(now - watch->m_lastTick);
    watch->m_lastTick = now;
    const auto silence = std::chrono::duration_cast<milliseconds>(now - watch->m_lastMove);
    milliseconds charge =
        watch->m_dripping ? tick : std::clamp(silence - kFreeWait, milliseconds(0), tick);
    const curl_off_t moved = dlnow + ulnow;
    if (now - watch->m_windowStart >= kPaceWindow) {
        const auto window = std::chrono::duration_cast<milliseconds>(now - watch->m_windowStart);
        const curl_off_t inWindow = moved - watch->m_windowMoved;
        const bool dripped = watch->m_dripping;
        watch->m_dripping =
            inWindow > 0 && static_cast<double>(inWindow) <
                                static_cast<double>(watch->m_shared.limits.lowSpeedBytes) *
                                    std::chrono::duration<double>(window).count();
        // A drip found: its whole window counts, not only what is left of it.
        if (watch->m_dripping && !dripped)
            charge = std::max(charge, window - watch->m_windowCharged);
        watch->m_windowStart = now;
        watch->m_windowMoved = moved;
        watch->m_windowCharged = milliseconds(0);
    }
    watch->m_windowCharged += charge;
    if (t_budget.active && charge.count() > 0) {
        t_budget.left -= charge;
        if (t_budget.left.count() <= 0) {
            watch->m_stop = Stop::OutOfWaiting;
            return 1;
        }
    }
    if (watch->m_stallMs > 0 && silence >= milliseconds(watch->m_stallMs)) {
        watch->m_stop = Stop::Stalled;
        return 1;
    }
    if (watch->m_progress) {
        const curl_off_t done = watch->m_upload ? ulnow : dlnow;
        const curl_off_t total = watch->m_upload ? ultotal : dltotal;
        (*watch->m_progress)(static_cast<std::uint64_t>(std::max<curl_off_t>(done, 0)),
                             static_cast<std::uint64_t>(std::max<curl_off_t>(total, 0)));
    }
    return 0;
}

void ApplyCommonOptions(CURL* easy, const Shared& shared)
{
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, shared.limits.lowSpeedBytes);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, shared.limits.lowSpeedSeconds);
    // Proxies: libcurl reads the system's (environment) settings by default; nothing to set.
    if (!shared.caFile.empty()) {
        // Trusted instead of the system store, not in addition to it.
        curl_easy_setopt(easy, CURLOPT_CAINFO, shared.caFile.c_str());
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
}

namespace {

constexpr long kWebTimeoutMs = 60000;

// The calling thread's web handle while it keeps its connections (KeepWebConnections): libcurl
// keeps a handle's connections, one per host, and its TLS sessions across requests.
thread_local EasyPtr t_keptWeb;
thread_local bool t_keepWeb = false;
// Far above any answer of the service; a runaway body must not eat the memory.
constexpr std::size_t kMaxBody = 32u << 20;

class CCurlUrlHandle final : public IUrlHandle {
public:
    CCurlUrlHandle(std::string body, long status) : m_body(std::move(body)), m_status(status) {}

    bool Read(char* buf, std::size_t cap, std::size_t* got) override
    {
        const std::size_t n = std::min(cap, m_body.size() - m_pos);
        if (n > 0)
            std::memcpy(buf, m_body.data() + m_pos, n);
        m_pos += n;
        *got = n;
        return true;
    }
    long StatusCode() const override { return m_status; }

private:
    std::string m_body;
    long m_status;
    std::size_t m_pos = 0;
};

struct BodySink {
    std::string body;
    bool overflow = false;
};

size_t HeardHeader(char*, size_t size, size_t count, void* watch)
{
    static_cast<TransferWatch*>(watch)->Heard();
    return size * count;
}

size_t CollectBody(char* data, size_t size, size_t count, void* user)
{
    auto* sink = static_cast<BodySink*>(user);
    const size_t n = size * count;
    if (sink->body.size() + n > kMaxBody) {
        sink->overflow = true;
        return 0;
    }
    sink->body.append(data, n);
    return n;
}

class CCurlInternetHandle final : public IInternetHandle {
public:
    CCurlInternetHandle(std::shared_ptr<const Shared> shared, std::string userAgent)
        : m_shared(std::move(shared)), m_userAgent(std::move(userAgent))
    {
    }

    // The answer is received whole here; of `flags`, only kUrlFinishAtStop means anything here:
    // the others concern a cache, and there is none.
    std::unique_ptr<IUrlHandle> OpenUrl(const std::string& url, unsigned flags) override
    {
        m_lastFailure.clear();
        m_sent = false;
        if (m_shared->cancelled.load() || m_shared->stopping.load())
            return m_lastFailure = "cancelled", nullptr;
        if (TransferWatch::WaitingSpent())
            return m_lastFailure = "the server was too slow", nullptr;
        EasyPtr fresh;
        CURL* h = nullptr;
        if (t_keepWeb && t_keptWeb) {
            curl_easy_reset(t_keptWeb.get());  // options only: connections stay
            h = t_keptWeb.get();
        } else {
            fresh.reset(curl_easy_init());
            h = fresh.get();
            if (t_keepWeb)
                t_keptWeb = std::move(fresh);
        }
        if (!h)
            return nullptr;
        ApplyCommonOptions(h, *m_shared);
        BodySink sink;
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_USERAGENT, m_userAgent.c_str());
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
        // Redirects are followed, as the first platform's URL open did, but never from HTTPS
        // down to plain HTTP: the query may hold the author's password.
        const bool secure = url.rfind("https:", 0) == 0;
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kWebTimeoutMs);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CollectBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
        TransferWatch watch(*m_shared);
        watch.Arm(h, kWebTimeoutMs);
        if (flags & inet::kUrlFinishAtStop)
            watch.GraceAtStop();
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HeardHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &watch);
        const CURLcode code = curl_easy_perform(h);
        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        long requestBytes = 0;
        curl_easy_getinfo(h, CURLINFO_REQUEST_SIZE, &requestBytes);
        m_sent = requestBytes > 0;
        if (!fresh)
            curl_easy_reset(h);  // the kept handle must not point at this call's sink and watch
        if (code != CURLE_OK) {
            m_lastFailure = PlainCause(code, watch.Reason());
            return nullptr;
        }
        return std::make_unique<CCurlUrlHandle>(std::move(sink.body), status);
    }

    std::string LastFailure() const override { return m_lastFailure; }
    bool LastRequestSent() const override { return m_sent; }

private:
    std::shared_ptr<const Shared> m_shared;
    std::string m_userAgent;
    std::string m_lastFailure;
    bool m_sent = false;
};

class CCurlSession final : public IInternetSession {
public:
    explicit CCurlSession(std::shared_ptr<const Shared> shared) : m_shared(std::move(shared)) {}

    void SetTimeouts(long connectMs, long sendMs, long receiveMs) override
    {
        m_timeouts = FtpTimeouts{connectMs, sendMs, receiveMs};
    }

    std::unique_ptr<IFtpConnection> GetFtpConnection(const std::string& host,
                                                     const std::string& user,
                                                     const std::string& password, int port,
                                                     bool passive, FtpFailure* failure) override
    {
        return OpenFtpConnection(m_shared, m_timeouts, host, user, password, port, passive,
                                 failure);
    }

private:
    std::shared_ptr<const Shared> m_shared;
    FtpTimeouts m_timeouts;
};

class CCurlInternet final : public IInternet {
public:
    CCurlInternet(const std::string& caFile, const TransferLimits& limits)
        : m_shared(std::make_shared<Shared>())
    {
        m_shared->caFile = caFile;
        m_shared->limits = limits;
    }

    std::unique_ptr<IInternetHandle> Open(const std::string& userAgent) override
    {
        return std::make_unique<CCurlInternetHandle>(m_shared, userAgent);
    }

    std::unique_ptr<IInternetSession> OpenSession(const std::string&, unsigned long) override
    {
        // The FTP login does not send a user agent; the context has no use without callbacks.
        return std::make_unique<CCurlSession>(m_shared);
    }

    void Cancel() override { m_shared->cancelled.store(true); }
    void Stop(long graceMs) override
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
        m_shared->graceEnd.store(end.time_since_epoch().count());
        m_shared->stopping.store(true);
    }
    void KeepWebConnections(bool on) override
    {
        t_keepWeb = on;
        if (!on)
            t_keptWeb.reset();
    }
    std::shared_ptr<void> ReleaseWebConnections() override
    {
        if (!t_keptWeb)
            return nullptr;
        return std::make_shared<EasyPtr>(std::move(t_keptWeb));
    }
    void AdoptWebConnections(std::shared_ptr<void> kept) override
    {
        t_keepWeb = true;
        if (kept)
            t_keptWeb = std::move(*static_cast<EasyPtr*>(kept.get()));
    }
    void SetWaitBudget(long ms) override { SetThreadWaitBudget(ms); }
    bool WaitBudgetSpent() const override { return TransferWatch::WaitingSpent(); }
    long WaitBudgetLeft() const override { return ThreadWaitBudgetLeft(); }
    void SpendWaitBudget() override { SpendThreadWaitBudget(); }
    int MostFtpSessions() const override { return m_shared->limits.mostFtpSessions; }

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace
}  // namespace curlnet

std::unique_ptr<IInternet> CreateInternet(const std::string& caFile, const TransferLimits& limits)
{
    // Before any worker thread makes a request (CreateInternet runs on the UI thread).
    static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (init != CURLE_OK)
        return nullptr;
    return std::make_unique<curlnet::CCurlInternet>(caFile, limits);
}
