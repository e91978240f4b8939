#pragma once
#include <sndfile.h>
#include "support/Files.h"

#include <fstream>
#include <string>
#include <vector>

// Test audio written with libsndfile: `frames` frames of a quiet saw tooth.
inline bool WriteWav(const std::string& path, long frames, int rate = 8000,
                     int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<short> block(4096);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<short>((i % 64) * 16);
    for (long left = frames; left > 0;) {
        const long n = left < 4096 ? left : 4096;
        sf_write_short(f, block.data(), n);
        left -= n;
    }
    return sf_close(f) == 0;
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}
