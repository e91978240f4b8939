#include "platform/WavLength.h"

#include "platform/Format.h"

#include <cstdint>
#include <sndfile.h>
#include <strings.h>

std::optional<std::int64_t> WavLengthMs(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return std::nullopt;
    sf_close(file);
    // A damaged header can claim any frame count: refuse what would overflow the product.
    if (info.samplerate <= 0 || info.frames < 0 || info.frames > INT64_MAX / 1000)
        return std::nullopt;
    return static_cast<std::int64_t>(info.frames) * 1000 / info.samplerate;
}

double GetWavLength(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return 0;
    if (strcasecmp(path.c_str() + dot + 1, "wav") != 0)
        return 0;
    // A "wav" that cannot be read is announced with length 0 and still sent: the service
    // has the recording, and a person there can judge it.
    const std::optional<std::int64_t> ms = WavLengthMs(path);
    return ms ? static_cast<double>(*ms) / 1000.0 : 0.0;
}

std::string FormatLengthText(double seconds)
{
    std::string text = Format("%4.0f", seconds);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}
