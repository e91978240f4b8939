#include "core/service/WebRequests.h"

#include "core/display/Display.h"
#include "core/resources/Resources.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebBody.h"
#include "platform/Internet.h"

CWebReply GetUrl(IInternet& internet, const std::string& url, unsigned flags)
{
    std::unique_ptr<IInternetHandle> inet = internet.Open(kWebUserAgent);
    if (!inet)
        return {EFetchResult::NoInternet, {}};
    std::unique_ptr<IUrlHandle> page = inet->OpenUrl(url, flags);
    if (!page)
        return {EFetchResult::UrlFailed, {}};
    CWebReply reply{EFetchResult::Ok, {}, page->StatusCode(), false};
    reply.body = ReadBody(*page, &reply.whole);
    return reply;
}

EFetchResult ProbeInternet(IDisplay& display, IInternet& internet, const CEndpoints& endpoints)
{
    std::unique_ptr<IInternetHandle> inet = internet.Open(kWebUserAgent);
    if (!inet)
        return EFetchResult::NoInternet;
    display.SetTrayResource(IDI_TRAY_BUSY);
    std::unique_ptr<IUrlHandle> url = inet->OpenUrl(ProbeUrl(endpoints), 0);
    if (!url) {
        display.SetTrayResource(IDI_TRAY_IDLE);
        return EFetchResult::UrlFailed;
    }
    url.reset();
    inet.reset();
    display.SetTrayResource(IDI_TRAY_IDLE);
    return EFetchResult::Ok;
}

CWebReply FetchUrl(IInternet& internet, const std::string& url)
{
    return GetUrl(internet, url, inet::kUrlNoCacheWrite);
}

CWebReply QueueUploadJob(IInternet& internet, const std::string& url)
{
    return GetUrl(internet, url, 0);
}
