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
