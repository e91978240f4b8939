#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Longest prefix of `text` of at most `maxBytes` bytes that does not split a UTF-8 sequence.
inline std::string_view CutUtf8(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t n = maxBytes;
    // Step back over continuation bytes, then drop the lead byte whose sequence would be split.
    std::size_t back = 0;
    while (n > 0 && back < 4 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        --n;
        ++back;
    }
    return text.substr(0, n);
}
