#pragma once
#include "core/settings/Endpoints.h"

#include <string>

class IInternet;

// The user agent of every web request to the service.
inline constexpr const char* kWebUserAgent = "InetURL/1.0";
// The answer text by which the service accepts a login or an upload notification.
inline constexpr const char* kAcceptMarker = "Username Valid!";

// What became of a request. The routines below only say so: the step that made the request
// decides what the user is told (see WebFailure.h).
enum class EFetchResult { Ok, NoInternet, UrlFailed };

struct CWebReply {
    EFetchResult result = EFetchResult::UrlFailed;
    std::string body;    // empty unless Ok
    long status = 0;     // HTTP status when Ok
    bool whole = false;  // Ok and the body was read to its end
    std::string cause;   // UrlFailed: why, in the layer's plain words, when it can tell
    bool sent = false;   // UrlFailed after the request went out: the service may have acted

    // An answer the service meant: it arrived whole with a success status.
    bool Answered() const { return result == EFetchResult::Ok && whole && status / 100 == 2; }
    // Only an answer the service meant can accept: an error page or a cut body that happens to
    // hold the words is no acceptance.
    bool Accepted() const
    {
        return Answered() && body.find(kAcceptMarker) != std::string::npos;
    }
};

// One GET of `url` with our user agent and the given OpenUrl flags; every handle is closed
// again before it returns.
CWebReply GetUrl(IInternet& internet, const std::string& url, unsigned flags);

// Whether the web host's root can be opened; *cause (when given) says why not.
EFetchResult ProbeInternet(IInternet& internet, const CEndpoints& endpoints,
                           std::string* cause = nullptr);

// Why a request got no answer the service meant, in a few words ("HTTP 503", "no answer");
// empty for one it did mean.
std::string FaultReason(const CWebReply& reply);

// The answer to `url`, kept out of the platform's cache.
CWebReply FetchUrl(IInternet& internet, const std::string& url);

// A download's confirmation: as FetchUrl, and its answer is still read at a stop.
CWebReply ConfirmDownload(IInternet& internet, const std::string& url);

// An upload notification; Accepted() when the service took it. The platform's cache may be
// used; its answer is still read at a stop.
CWebReply QueueUploadJob(IInternet& internet, const std::string& url);
