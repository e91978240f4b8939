#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class IAgentEvents;
class IFtpConnection;
class IInternetSession;

// The English sentence for an internet error code; empty for a code without one.
std::string GetInternetErrorText(unsigned long code);

// Account codes: 'u' logs in with the upload account, any other character with the download one.
inline constexpr char kUploadAccount = 'u';
inline constexpr char kDownloadAccount = 'd';
inline constexpr int kFtpPort = 21;
inline constexpr int kConnectAttempts = 5;

// One login attempt on `ftpHost` (which may carry ":port"), passive when pasv > 0.
// 0: connected, the connection is in `connection`. 1: not. An internet failure resets
// `connection` and puts the layer's message in `why` and its code in `code`; any other failure
// leaves them as they were.
int ConnectFtp(IInternetSession& session, char account,
               const std::string& ftpHost, int32_t pasv,
               std::unique_ptr<IFtpConnection>& connection, std::string* why = nullptr,
               unsigned long* code = nullptr);

// The transfer passes' connect. A `connection` still alive (IFtpConnection::IsAlive) is kept
// as it is, without a word. Otherwise up to kConnectAttempts calls of ConnectFtp with no pause
// between them, each reported (Connecting, then ConnectAttemptFailed when the layer said why)
// with `connection` closed and emptied first; stops at the first that connects. Once
// `cancelled` is set no further attempt starts.
// False when none connected, with `connection` empty and, unless cancelled, the failure
// reported (a refused login apart from a server that is not there).
bool ConnectFtpWithRetries(IAgentEvents& events, IInternetSession& session, char account,
                           const std::string& ftpHost, int32_t pasv,
                           const std::atomic<bool>& cancelled,
                           std::unique_ptr<IFtpConnection>& connection);

// Reports the server as not reachable, with the reason when there is one.
void ReportConnectFailure(IAgentEvents& events, char account, const std::string& why = {});
