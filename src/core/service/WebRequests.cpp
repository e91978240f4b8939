#include "core/service/WebRequests.h"

#include "core/service/ServiceUrls.h"
#include "core/service/WebBody.h"
#include "platform/Internet.h"

CWebReply GetUrl(IInternet& internet, const std::string& url, unsigned flags)
{
    std::unique_ptr<IInternetHandle> inet = internet.Open(kWebUserAgent);
    if (!inet)
        return {EFetchResult::NoInternet, {}, 0, false, {}};
    std::unique_ptr<IUrlHandle> page = inet->OpenUrl(url, flags);
    if (!page) {
        return {EFetchResult::UrlFailed, {}, 0, false, inet->LastFailure(),
                inet->LastRequestSent()};
    }
    CWebReply reply{EFetchResult::Ok, {}, page->StatusCode(), false, {}, true};
    reply.body = ReadBody(*page, &reply.whole);
    return reply;
}

EFetchResult ProbeInternet(IInternet& internet, const CEndpoints& endpoints, std::string* cause)
{
    std::unique_ptr<IInternetHandle> inet = internet.Open(kWebUserAgent);
    if (!inet)
        return EFetchResult::NoInternet;
    if (inet->OpenUrl(ProbeUrl(endpoints), 0))
        return EFetchResult::Ok;
    if (cause)
        *cause = inet->LastFailure();
    return EFetchResult::UrlFailed;
}

CWebReply FetchUrl(IInternet& internet, const std::string& url)
{
    return GetUrl(internet, url, inet::kUrlNoCacheWrite);
}

CWebReply ConfirmDownload(IInternet& internet, const std::string& url)
{
    return GetUrl(internet, url, inet::kUrlNoCacheWrite | inet::kUrlFinishAtStop);
}

CWebReply QueueUploadJob(IInternet& internet, const std::string& url)
{
    return GetUrl(internet, url, inet::kUrlFinishAtStop);
}

std::string FaultReason(const CWebReply& reply)
{
    if (reply.result == EFetchResult::NoInternet)
        return "no internet access";
    if (reply.result == EFetchResult::UrlFailed)
        return reply.cause.empty() ? "no answer" : reply.cause;
    if (reply.status / 100 != 2)
        return "HTTP " + std::to_string(reply.status);
    if (!reply.whole)
        return "answer cut short";
    return {};
}
