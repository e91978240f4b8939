#pragma once
#include <cstdint>
#include <optional>
#include <string>

// Length of the audio of a wave file in whole milliseconds (frames x 1000 / sample rate, as the
// first platform's media control reports it); none when the file cannot be read as audio.
std::optional<std::int64_t> WavLengthMs(const std::string& path);

// Seconds for the upload notification: 0 unless the path's text after its last "." is "wav"
// in any case (and that dot is not the first character); 0 also for a "wav" that cannot be read.
// With `fd`, the audio is read from that open file and `path` only names it.
double GetWavLength(const std::string& path, int fd = -1);

// "%4.0f" of the seconds, stripped of leading blanks: 61.2 gives "61".
std::string FormatLengthText(double seconds);
