#pragma once
#include "core/settings/Endpoints.h"

#include <string>

class IDisplay;
class IInternet;

// The user agent of every web request to the service.
inline constexpr const char* kWebUserAgent = "InetURL/1.0";
// The answer text by which the service accepts a login or an upload notification.
inline constexpr const char* kAcceptMarker = "Username Valid!";

// Whether the web host's root can be opened. Busy tray state while it is tried.
bool ProbeInternet(IDisplay& display, IInternet& internet, const CEndpoints& endpoints);

// The body of the answer; empty when the request failed (reported only when the internet itself
// cannot be opened).
std::string FetchUrl(IDisplay& display, IInternet& internet, const std::string& url);

// Sends an upload notification; true when the service answered with the accept marker.
bool QueueUploadJob(IDisplay& display, IInternet& internet, const std::string& url);
