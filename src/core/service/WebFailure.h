#pragma once

class IAgentEvents;
class IDisplay;

// What a step of the cycle shows when a web request of its own could not be made. The request
// routines only report what happened; boxes are the steps' to raise, on the worker thread,
// which waits until each is closed.

// The probe and the upload notification when the internet cannot be opened at all.
inline constexpr const char* kInternetOpenFailed = "InternetOpen Failed";
// The upload notification when its URL cannot be opened.
inline constexpr const char* kNoNetworkAccess = "No Network Access.";

// After FetchUrl found no internet at all: "<time> - Internet not avaiable. Please contact
// your Systems Administrator." in a box, then as a window line and a log line, which keeps
// the window's line break (an empty log line follows).
// Through `events` (the agent state hears of it) when there are any.
void ReportNoInternet(IDisplay& display, IAgentEvents* events);
