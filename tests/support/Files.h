#pragma once
#include <fstream>
#include <sstream>
#include <string>

// The whole content of a file, bytes as they are; empty when it cannot be read.
inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
