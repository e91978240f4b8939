#include "core/ftp/FtpConnect.h"

#include "core/display/Display.h"
#include "core/resources/Resources.h"
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
               std::unique_ptr<IFtpConnection>& connection, std::string* why)
{
    const FtpAccount& login = account == kUploadAccount ? kUploadLogin : kDownloadLogin;
    display.SetTrayResource(IDI_TRAY_BUSY);

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
    }
    display.SetTrayResource(IDI_TRAY_IDLE);
    return result;
}

bool ConnectFtpWithRetries(IDisplay& display, IInternetSession& session, char account,
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
    for (int attempt = 1; attempt <= kConnectAttempts && !cancelled.load(); ++attempt) {
        connection.reset();
        display.SetStatusText(Format("Connecting to %s (Attempt %d of %d)", ftpHost.c_str(),
                                     attempt, kConnectAttempts));
        if (ConnectFtp(display, session, account, ftpHost, pasv, connection, &why) == 0 &&
            connection)
            return true;
    }
    connection.reset();
    if (!cancelled.load())
        ReportConnectFailure(display, why);
    return false;
}

void ReportConnectFailure(IDisplay& display, const std::string& why)
{
    display.SetStatusText("Failed to connect to server");
    // The status bar alone is overwritten by the next step: the window and the log keep it,
    // with the reason the attempts' status texts gave, so that a refused login is not taken
    // for a server that is down.
    std::string reason(CutUtf8(why, 120));  // the advice after it must still fit the line
    std::replace(reason.begin(), reason.end(), '\r', ' ');
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    reason.erase(reason.find_last_not_of(' ') + 1);
    if (!reason.empty())
        reason = " (" + reason + ")";
    const std::string line = display.GetTimeText() + " - Failed to connect to server" + reason +
                             "; the files wait for the next poll.";
    display.AddWindowLine(line);
    display.WriteLogLine(line);
}
