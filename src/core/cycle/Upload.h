#pragma once
#include "core/state/AgentEvent.h"

#include <cstddef>
#include <string>

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

// Tells the service about a put; true when it accepted. Otherwise `failure` (when given) says
// why, as the file's failure at its notice, to be reported by the caller. An empty URL is not
// requested.
bool AnnounceUpload(IInternet& internet, const std::string& url,
                    ev::FileFailed* failure = nullptr);
