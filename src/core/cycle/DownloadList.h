#pragma once
#include "core/state/AgentEvent.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CCycleContext;


inline constexpr std::size_t kMaxListValue = 255;
inline constexpr std::size_t kMaxSourceDir = 99;
// Items taken from one list: each costs a login, so a runaway count must not hold a cycle for
// hours. The rest are listed again and taken at the next cycle.
inline constexpr int32_t kMaxListItems = 1000;

// What the service's download list says, or why it was given up and where to say so.
struct CDownloadList {
    bool countRead = false;    // the count was read and is not negative: its window line is due
    int32_t count = 0;         // as listed; at most kMaxListItems of them are read
    bool listStarted = false;  // the work list is to be replaced by names/ids below
    std::string sourceDir;
    std::vector<std::string> names;  // may hold one entry more than ids when a fileid failed
    std::vector<std::string> ids;

    bool stopped = false;
    std::string stopText;
    unsigned stopSinks = 0;
};

// Pure: reads `body` and nothing past it. Time linear in the size of the body; memory bounded
// by kMaxListItems, not by the body.
CDownloadList ParseDownloadList(std::string_view body);

// Asks the service for the list, reports each stop and hands a non-empty list to DownloadFiles.
void RequestDownloadList(CCycleContext& ctx);
