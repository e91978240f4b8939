#pragma once
#include <string>

class IUrlHandle;

// Reads a whole body in pieces of at most 1023 bytes, every byte of it (zero bytes included).
// *whole (when given) says whether the body ended normally rather than in a failed read.
std::string ReadBody(IUrlHandle& url, bool* whole = nullptr);
