#pragma once
// Internals of the libcurl internet layer, shared by its web and FTP halves.
#include "platform/Internet.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace curlnet {

// What every handle of one internet shares; handles keep it alive, so a handle that outlives
// its IInternet still sees the cancel flag.
struct Shared {
    std::atomic<bool> cancelled{false};
    // Stop: nothing new starts; only a web request already on its way runs on, until graceEnd
    // (steady clock ticks).
    std::atomic<bool> stopping{false};
    std::atomic<std::chrono::steady_clock::rep> graceEnd{0};
    // Whether a transfer must end now; `web`: a request already sent, which has the grace.
    bool Ended(bool web, std::chrono::steady_clock::time_point now) const
    {
        if (cancelled.load())
            return true;
        return stopping.load() && (!web || now.time_since_epoch().count() >= graceEnd.load());
    }
    std::string caFile;
    TransferLimits limits;
};

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

// Watches one perform through libcurl's progress callback: stops it when the internet is
// cancelled or stopped, when nothing has moved either way for `stallMs` (the send/receive
// time-out), and when the calling thread's wait budget is spent. The budget is charged for
// silence past a normal wait for a reply and for a transfer that drips, never for a link's
// round trips. The callback runs at least about once a second while libcurl waits, which
// bounds how late any stop comes.
class TransferWatch {
public:
    enum class Stop { None, Cancelled, Stalled, OutOfWaiting };

    explicit TransferWatch(const Shared& shared) : m_shared(shared) {}
    // `progress` (may be null) hears of the bytes sent, or received when not `upload`.
    void Arm(CURL* easy, long stallMs, const TransferProgress* progress = nullptr,
             bool upload = false);
    // A web request: at a stop it has the grace to read its answer.
    void GraceAtStop() { m_web = true; }
    // A reply line or header arrived: the server is answering.
    void Heard() { m_lastMove = std::chrono::steady_clock::now(); }
    Stop Reason() const { return m_stop; }
    long StallMs() const { return m_stallMs; }
    // Whether the calling thread has spent its wait budget: its next transfers fail at once.
    static bool WaitingSpent();

private:
    static int OnProgress(void* self, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                          curl_off_t ulnow);

    const Shared& m_shared;
    const TransferProgress* m_progress = nullptr;
    bool m_upload = false;
    bool m_web = false;
    long m_stallMs = 0;
    curl_off_t m_down = 0;
    curl_off_t m_up = 0;
    std::chrono::steady_clock::time_point m_lastMove;
    std::chrono::steady_clock::time_point m_lastTick;     // of the budget's last charge
    std::chrono::steady_clock::time_point m_windowStart;  // of the pace window
    curl_off_t m_windowMoved = 0;                          // bytes moved when it started
    std::chrono::milliseconds m_windowCharged{0};          // charged to the budget in it
    bool m_dripping = false;  // the last window moved some bytes, but under the low-speed rate
    Stop m_stop = Stop::None;
};

// The calling thread's wait budget (IInternet::SetWaitBudget); 0 or less: none.
void SetThreadWaitBudget(long ms);
long ThreadWaitBudgetLeft();  // 0: none set
void SpendThreadWaitBudget();

// libcurl's result in the 12001-12111 numbering (0 for success).
unsigned long MapCurlCode(CURLcode code, TransferWatch::Stop stop);

// The layer's wording of a failure: libcurl's error buffer (its generic text when the buffer is
// empty), with the server's last reply line when that says more.
std::string DescribeFailure(CURLcode code, TransferWatch::Stop stop, long stallMs,
                            const char* errorBuffer, const std::string& lastReply);

// The cause of a failed web request in a few words an author understands.
std::string PlainCause(CURLcode code, TransferWatch::Stop stop);

// Options every handle gets: no signals (worker threads), the trust store, the system proxy,
// the low-speed limit.
void ApplyCommonOptions(CURL* easy, const Shared& shared);

struct FtpTimeouts {
    long connectMs = 60000;
    long sendMs = 60000;
    long receiveMs = 60000;
};

// One login; the connection on success, null with `failure` filled otherwise.
std::unique_ptr<IFtpConnection> OpenFtpConnection(std::shared_ptr<const Shared> shared,
                                                  const FtpTimeouts& timeouts,
                                                  const std::string& host, const std::string& user,
                                                  const std::string& password, int port,
                                                  bool passive, FtpFailure* failure);

}  // namespace curlnet
