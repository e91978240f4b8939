#pragma once
#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define ORBIDEX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ORBIDEX_PRINTF_FORMAT(fmt, args)
#endif

// printf into a string of whatever length the text needs. Limits of the window's line and
// status buffers are the display's to enforce, where the text is shown; texts passed as %s
// must be C strings (.c_str()). Empty when the format cannot be expanded.
std::string Format(const char* fmt, ...) ORBIDEX_PRINTF_FORMAT(1, 2);
