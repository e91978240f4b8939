#pragma once
#include "core/state/AgentEvent.h"

#include <cstddef>
#include <string>

// A running transfer in words: "Sending big.wav: 48 of 101 MB, 2.1 MB/s, about 25 s left"
// ("Receiving ..." for a download), for the status bar and the status report.
std::string ProgressLine(const ev::Progress& p);
// The same line in at most `max` bytes, for the tray's tooltip: a long name loses its middle,
// the numbers stay.
std::string ProgressTip(const ev::Progress& p, std::size_t max);
