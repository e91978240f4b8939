#include "core/service/AuthorValidation.h"

#include "core/display/Display.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"

EAuthorCheck ValidateAuthor(IDisplay& display, IInternet& internet, const CEndpoints& endpoints,
                            const CSettings& settings)
{
    if (settings.Author.empty()) {
        const std::string text = "Tolvane's Orbidex: Login ID not provided";
        display.SetStatusText(text);
        display.AddWindowLine(text);
        return EAuthorCheck::Refused;
    }
    const CWebReply reply =
        FetchUrl(internet, AuthorVerifyUrl(endpoints, settings.Author, settings.Password));
    if (reply.result == EFetchResult::NoInternet)
        ReportNoInternet(display);
    const bool valid = reply.Accepted();
    display.SetStatusText(valid ? "UserName Validation =*= OK =*="
                                : "UserName or Password Validation Fail");
    if (valid)
        return EAuthorCheck::Valid;
    return reply.Answered() ? EAuthorCheck::Refused : EAuthorCheck::Unchecked;
}
