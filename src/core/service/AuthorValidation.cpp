#include "core/service/AuthorValidation.h"

#include "core/service/ServiceUrls.h"
#include "core/service/WebFailure.h"
#include "core/service/WebRequests.h"

EAuthorCheck ValidateAuthor(IAgentEvents& events, IInternet& internet, const CEndpoints& endpoints,
                            const CSettings& settings, CWebReply* answer)
{
    if (settings.Author.empty())
        return EAuthorCheck::NotConfigured;
    if (settings.PasswordLocked)
        return EAuthorCheck::Unchecked;
    const CWebReply reply =
        FetchUrl(internet, AuthorVerifyUrl(endpoints, settings.Author, settings.Password));
    if (reply.result == EFetchResult::NoInternet)
        ReportNoInternet(events);
    if (answer)
        *answer = reply;
    if (reply.Accepted())
        return EAuthorCheck::Valid;
    return reply.Answered() ? EAuthorCheck::Refused : EAuthorCheck::Unchecked;
}
