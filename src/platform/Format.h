#pragma once
#include <string>
#include <string_view>

#if defined(__GNUC__) || defined(__clang__)
#define ORBIDEX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ORBIDEX_PRINTF_FORMAT(fmt, args)
#endif

// printf into a string of whatever length the text needs. Limits of the window's line and
// status buffers are the display's to enforce, where the text is shown; texts passed as %s
// must be C strings (.c_str()). Empty when the format cannot be expanded.
std::string Format(const char* fmt, ...) ORBIDEX_PRINTF_FORMAT(1, 2);

// Control characters in a text from outside, such as a file name or a server's answer, could
// forge lines in the status bar and the log: C0 and DEL, the C1 controls, and the marks that
// override the direction of text.
bool HasControlChars(std::string_view text);
// The text with each byte of a control character written as \xNN.
std::string EscapeControlChars(std::string_view text);
