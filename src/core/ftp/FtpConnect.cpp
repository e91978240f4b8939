#include "core/ftp/FtpConnect.h"

#include "core/display/Display.h"
#include "core/state/EventWriter.h"
#include "platform/Format.h"
#include "platform/Internet.h"
#include "platform/Utf8.h"

#include <algorithm>

namespace {

struct FtpAccount {
    const char* user;
    const char* password;
};

constexpr FtpAccount kUploadLogin{"nimbrel", "qorulimet4"};
constexpr FtpAccount kDownloadLogin{"nimbreldn", "bexomtu"};

}  // namespace

int ConnectFtp(IDisplay& display, IInternetSession& session, char account,
               const std::string& ftpHost, int32_t pasv,
               std::unique_ptr<IFtpConnection>& connection, std::string* why,
               unsigned long* code)
{
    const FtpAccount& login = account == kUploadAccount ? kUploadLogin : kDownloadLogin;

    FtpFailure failure;
    std::unique_ptr<IFtpConnection> opened =
        session.GetFtpConnection(ftpHost, login.user, login.password, kFtpPort, pasv > 0, &failure);
    int result = 1;
    if (opened) {
        connection = std::move(opened);
        result = 0;
    } else if (failure.code != 0) {
        connection.reset();
        std::string message =
            failure.message.empty() ? GetInternetErrorText(failure.code) : failure.message;
        display.SetStatusText(std::string(CutUtf8(message, kStatusBufferSize - 1)));
        if (why)
            *why = std::move(message);
        if (code)
            *code = failure.code;
    }
    return result;
}

namespace {
void Emit(IDisplay& display, IAgentEvents* events, const CAgentEvent& e)
{
    if (events)
        events->Report(e);
    else
        CEventWriter(display, nullptr, {}).Report(e);
}

bool LoginRefused(unsigned long code)
{
    return code == inet::kErrLoginFailure || code == inet::kErrIncorrectUserName ||
           code == inet::kErrIncorrectPassword;
}
}  // namespace

bool ConnectFtpWithRetries(IDisplay& display, IInternetSession& session, char account,
                           const std::string& ftpHost, int32_t pasv,
                           const std::atomic<bool>& cancelled,
                           std::unique_ptr<IFtpConnection>& connection, IAgentEvents* events)
{
    // The pass's session carries its files one after the other; only a session the server
    // closed costs a new login, with the attempts of any connect.
    if (connection && !cancelled.load() && connection->IsAlive())
        return true;
    if (connection)
        connection->Close();
    std::string why;
    unsigned long code = 0;
    for (int attempt = 1; attempt <= kConnectAttempts && !cancelled.load(); ++attempt) {
        connection.reset();
        display.SetStatusText(Format("Connecting to %s (Attempt %d of %d)", ftpHost.c_str(),
                                     attempt, kConnectAttempts));
        if (ConnectFtp(display, session, account, ftpHost, pasv, connection, &why, &code) == 0 &&
            connection) {
            CAgentEvent e{EEvent::FtpConnected, ftpHost};
            e.account = account;
            if (events)
                events->Report(e);
            return true;
        }
    }
    connection.reset();
    if (!cancelled.load()) {
        // A server that refuses our login is up: the author must hear it is not a network fault.
        CAgentEvent e{LoginRefused(code) ? EEvent::FtpLoginRefused : EEvent::FtpUnreachable,
                      ftpHost, why};
        e.account = account;
        Emit(display, events, e);
    }
    return false;
}

void ReportConnectFailure(IDisplay& display, IAgentEvents* events, char account,
                          const std::string& why)
{
    CAgentEvent e{EEvent::FtpUnreachable, {}, why};
    e.account = account;
    Emit(display, events, e);
}
