#pragma once
#include <cstdint>
#include <memory>
#include <string>

class IDisplay;
class IFtpConnection;
class IInternetSession;

// The English sentence for an internet error code; empty for a code without one.
std::string GetInternetErrorText(unsigned long code);

// Account codes: 'u' logs in with the upload account, any other character with the download one.
inline constexpr char kUploadAccount = 'u';
inline constexpr char kDownloadAccount = 'd';
inline constexpr int kFtpPort = 21;

// One login attempt on `ftpHost` (which may carry ":port"), passive when pasv > 0.
// 0: connected, the connection is in `connection`. 1: not. The tray is busy for the attempt and
// idle after it; an internet failure puts the layer's message into the status text and resets
// `connection`, any other failure leaves both as they were.
int ConnectFtp(IDisplay& display, IInternetSession& session, char account,
               const std::string& ftpHost, int32_t pasv,
               std::unique_ptr<IFtpConnection>& connection);
