#pragma once
#include <atomic>
#include <cstddef>
#include <string>

class IDisplay;
class IInternet;
struct CCycleContext;

inline constexpr const char* kArchiveFolder = "tolvane";
// The longest name, in bytes, the server's file system keeps.
inline constexpr std::size_t kMaxRemoteName = 255;

// "/<top>/nimbreluploads/": where the upload account puts files.
std::string UploadDirectory(const std::string& ftpTopDir);

// Sends every file of ctx.work: connect (ConnectFtpWithRetries), put as Author "_" name, announce,
// and once the service accepts, archive a copy and mark the file read-only. Stops at the first
// failed connect or put; what was not sent waits for the next cycle.
void UploadFiles(CCycleContext& ctx);

// Tells the service about a put; true when it accepted. A request that cannot be made is
// reported in a box, and `failure` (when given) receives the line that says so; it stays
// empty for an answer that refused the file. An empty URL is not requested. Nothing is
// reported once `cancelled` is set (exit).
bool AnnounceUpload(IDisplay& display, IInternet& internet, const std::string& url,
                    const std::atomic<bool>* cancelled = nullptr, std::string* failure = nullptr);
