#include "platform/Format.h"

#include <cstdarg>
#include <cstdio>

std::string Format(const char* fmt, ...)
{
    std::va_list args;
    va_start(args, fmt);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        // The terminator goes into the string's own spare byte, which resize guarantees.
        std::vsnprintf(text.data(), text.size() + 1, fmt, again);
    }
    va_end(again);
    return text;
}

namespace {
bool IsControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}
}  // namespace

bool HasControlChars(std::string_view text)
{
    for (char c : text)
        if (IsControl(c))
            return true;
    return false;
}

std::string EscapeControlChars(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (IsControl(c))
            out += Format("\\x%02X", static_cast<unsigned char>(c));
        else
            out += c;
    }
    return out;
}
