#include "core/ftp/MyInternetSession.h"

#include "core/settings/AppName.h"
#include "platform/Internet.h"

CMyInternetSession::CMyInternetSession(IInternet& internet, const std::string& userAgent,
                                       unsigned long context)
    : m_session(internet.OpenSession(userAgent, context))
{
}

std::unique_ptr<CMyInternetSession> OpenTransferSession(IInternet& internet)
{
    auto session =
        std::make_unique<CMyInternetSession>(internet, kAppTitle, CMyInternetSession::kContext);
    if (!session->IsOpen())
        return nullptr;
    session->Session().SetTimeouts(CMyInternetSession::kTimeoutMs, CMyInternetSession::kTimeoutMs,
                                   CMyInternetSession::kTimeoutMs);
    return session;
}
