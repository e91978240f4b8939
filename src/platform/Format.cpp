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

// The length of the control character at `at`, 0 for none: C0 and DEL; the C1 controls
// U+0080-U+009F (UTF-8 C2 80-C2 9F), of which U+0085 breaks lines; and the marks that turn the
// direction of text (U+200E, U+200F, U+202A-U+202E, U+2066-U+2069), which make a name shown in
// a line read as another; and the line and paragraph separators U+2028 and U+2029.
std::size_t ControlAt(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned a = byte(at);
    if (a < 0x20 || a == 0x7F)
        return 1;
    if (a == 0xC2 && byte(at + 1) >= 0x80 && byte(at + 1) <= 0x9F)
        return 2;
    if (a == 0xE2) {
        const unsigned b = byte(at + 1);
        const unsigned c = byte(at + 2);
        if ((b == 0x80 && (c == 0x8E || c == 0x8F || (c >= 0xA8 && c <= 0xAE))) ||
            (b == 0x81 && c >= 0xA6 && c <= 0xA9))
            return 3;
    }
    return 0;
}

}  // namespace

bool HasControlChars(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        if (ControlAt(text, i) > 0)
            return true;
    return false;
}

std::string EscapeControlChars(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = ControlAt(text, i);
        if (n == 0) {
            out += text[i++];
            continue;
        }
        for (const std::size_t end = i + n; i < end; ++i)
            out += Format("\\x%02X", static_cast<unsigned char>(text[i]));
    }
    return out;
}
