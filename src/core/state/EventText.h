#pragma once
#include "core/state/AgentEvent.h"

#include <cstddef>
#include <string>
#include <vector>

// Where a rendered line goes. Transfer is the log's "Transferred" line of a name; Box waits
// for the author, PostBox does not.
enum class ESink { Window, Status, Log, Transfer, Box, PostBox };

struct CRendered {
    ESink sink;
    std::string text;
    bool operator==(const CRendered& o) const { return sink == o.sink && text == o.text; }
};

// A window line shows at most this many bytes (its CR LF follows); a log line that repeats a
// window line that already ends in a break is cut the same way.
inline constexpr std::size_t kWindowLineMax = 253;

// The one place where events become the window's lines, the log's lines, the status text and
// the boxes, worded as the agent always has, in the order they are shown. `time` is the
// window's time text of now; `support` the address that failures ask the author to write to.
std::vector<CRendered> RenderEvent(const CAgentEvent& event, const std::string& time,
                                   const std::string& support);

// A reason from below (the system, the server) made fit for one line of at most `max` bytes:
// no control characters, no trailing blanks or full stop, as a sentence goes on after it.
std::string CleanReason(std::string text, std::size_t max);

// The words of a file's problem that the window line and the notice share.
std::string FailureText(const ev::FileFailed& e);
std::string SkipText(const ev::LocalSkipped& e);

std::string NameOfPath(const std::string& path);
