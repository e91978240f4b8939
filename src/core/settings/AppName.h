#pragma once

// The agent's name where the system and the service see it: the internet layer's user agent,
// the windows' captions.
inline constexpr const char* kAppTitle = "Nimbrel Ravlet";
