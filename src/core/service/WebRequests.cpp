#include "core/service/WebRequests.h"

#include "core/display/Display.h"
#include "core/resources/Resources.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebBody.h"
#include "platform/Internet.h"

bool ProbeInternet(IDisplay& display, IInternet& internet, const CEndpoints& endpoints)
{
    std::unique_ptr<IInternetHandle> inet = internet.Open(kWebUserAgent);
    if (!inet) {
        display.MessageBox("InternetOpen Failed");
        return false;
    }
    display.SetTrayResource(IDI_TRAY_BUSY);
    std::unique_ptr<IUrlHandle> url = inet->OpenUrl(ProbeUrl(endpoints), 0);
    if (!url) {
        display.SetTrayResource(IDI_TRAY_IDLE);
        return false;
    }
    url.reset();
    inet.reset();
    display.SetTrayResource(IDI_TRAY_IDLE);
    return true;
}

std::string FetchUrl(IDisplay& display, IInternet& internet, const std::string& url)
{
    std::unique_ptr<IInternetHandle> inet = internet.Open(kWebUserAgent);
    if (!inet) {
        const std::string text = display.GetTimeText() +
                                 " - Internet not avaiable. Please contact your Systems "
                                 "Administrator.";
        display.MessageBox(text);
        display.AddWindowLine(text);
        // Logged from the line buffer, which already ends in CR LF: an empty line follows.
        display.WriteLogLine(display.LineBuffer());
        return {};
    }
    std::unique_ptr<IUrlHandle> page = inet->OpenUrl(url, inet::kUrlNoCacheWrite);
    if (!page)
        return {};
    return ReadBody(*page);
}

bool QueueUploadJob(IDisplay& display, IInternet& internet, const std::string& url)
{
    if (url.empty())
        return false;
    std::unique_ptr<IInternetHandle> inet = internet.Open(kWebUserAgent);
    display.SetTrayResource(IDI_TRAY_BUSY);
    if (!inet) {
        display.MessageBox("InternetOpen Failed");
        display.SetTrayResource(IDI_TRAY_IDLE);
        return false;
    }
    std::unique_ptr<IUrlHandle> page = inet->OpenUrl(url, 0);
    if (!page) {
        display.MessageBox("No Network Access.");
        inet.reset();
        display.SetTrayResource(IDI_TRAY_IDLE);
        return false;
    }
    const bool accepted = ReadBody(*page).find(kAcceptMarker) != std::string::npos;
    page.reset();
    display.SetTrayResource(IDI_TRAY_IDLE);
    inet.reset();
    return accepted;
}
