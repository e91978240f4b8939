#pragma once
#include <string>

class IUrlHandle;

// Reads a whole body in pieces of at most 1023 bytes; a zero byte ends the text of its piece.
// *whole (when given) says whether the body ended normally rather than in a failed read.
std::string ReadBody(IUrlHandle& url, bool* whole = nullptr);
