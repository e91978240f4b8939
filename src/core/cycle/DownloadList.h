#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CCycleContext;

// Where a message of the list step goes.
enum : unsigned {
    kToWindow = 1u,
    kToStatus = 2u,
    kToLog = 4u,
    kToAll = kToWindow | kToStatus | kToLog,
};

inline constexpr std::size_t kMaxListValue = 255;
inline constexpr std::size_t kMaxSourceDir = 99;

// What the service's download list says, or why it was given up and where to say so.
struct CDownloadList {
    bool countRead = false;  // the count was read and is not negative: its window line is due
    int32_t count = 0;
    bool listStarted = false;  // the work list is to be replaced by names/ids below
    std::string sourceDir;
    std::vector<std::string> names;  // may hold one entry more than ids when a fileid failed
    std::vector<std::string> ids;

    bool stopped = false;
    std::string stopText;
    unsigned stopSinks = 0;
};

// Pure: reads `body` and nothing past it. Linear in the size of the body.
CDownloadList ParseDownloadList(std::string_view body);

// Asks the service for the list, reports each stop and hands a non-empty list to DownloadFiles.
void RequestDownloadList(CCycleContext& ctx);
