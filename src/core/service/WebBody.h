#pragma once
#include <string>

class IUrlHandle;

// Reads a whole body in pieces of at most 1023 bytes; a zero byte ends the text of its piece.
std::string ReadBody(IUrlHandle& url);
