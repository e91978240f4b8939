#include "core/service/AuthorValidation.h"

#include "core/display/Display.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"

EAuthorCheck ValidateAuthor(IDisplay& display, IInternet& internet, const CEndpoints& endpoints,
                            const CSettings& settings, CWebReply* answer, IAgentEvents* events)
{
    if (settings.Author.empty()) {
        const std::string text = "Tolvane's Orbidex: Login ID not provided";
        display.SetStatusText(text);
        display.AddWindowLine(text);
        return EAuthorCheck::NotConfigured;
    }
    if (settings.PasswordLocked)
        return EAuthorCheck::Unchecked;
    const CWebReply reply =
        FetchUrl(internet, AuthorVerifyUrl(endpoints, settings.Author, settings.Password));
    if (reply.result == EFetchResult::NoInternet)
        ReportNoInternet(display, events);
    if (answer)
        *answer = reply;
    if (reply.Accepted()) {
        display.SetStatusText("UserName Validation =*= OK =*=");
        return EAuthorCheck::Valid;
    }
    if (!reply.Answered())
        return EAuthorCheck::Unchecked;
    display.SetStatusText("UserName or Password Validation Fail");
    return EAuthorCheck::Refused;
}
