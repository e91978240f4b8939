#include "core/ftp/FtpConnect.h"

#include "core/state/AgentEvent.h"
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

int ConnectFtp(IInternetSession& session, char account, const std::string& ftpHost,
               int32_t pasv, std::unique_ptr<IFtpConnection>& connection, std::string* why,
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
        if (why)
            *why = failure.message.empty() ? GetInternetErrorText(failure.code) : failure.message;
        if (code)
            *code = failure.code;
    }
    return result;
}

namespace {
bool LoginRefused(unsigned long code)
{
    return code == inet::kErrLoginFailure || code == inet::kErrIncorrectUserName ||
           code == inet::kErrIncorrectPassword;
}
}  // namespace

bool ConnectFtpWithRetries(IAgentEvents& events, IInternetSession& session, char account,
                           const std::string& ftpHost, int32_t pasv,
                           const std::atomic<bool>& cancelled,
                           std::unique_ptr<IFtpConnection>& connection)
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
        events.Report(ev::Connecting{account, ftpHost, attempt, kConnectAttempts});
        unsigned long failed = 0;
        if (ConnectFtp(session, account, ftpHost, pasv, connection, &why, &failed) == 0 &&
            connection) {
            events.Report(ev::FtpConnected{account, ftpHost});
            return true;
        }
        if (failed != 0) {
            code = failed;
            events.Report(ev::ConnectAttemptFailed{account, why});
        }
    }
    connection.reset();
    if (!cancelled.load()) {
        // A server that refuses our login is up: the author must hear it is not a network fault.
        if (LoginRefused(code))
            events.Report(ev::FtpLoginRefused{account, ftpHost, why});
        else
            events.Report(ev::FtpUnreachable{account, ftpHost, why});
    }
    return false;
}

void ReportConnectFailure(IAgentEvents& events, char account, const std::string& why)
{
    events.Report(ev::FtpUnreachable{account, {}, why});
}
