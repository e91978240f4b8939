#pragma once
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

// The whole content of a file, bytes as they are; empty when it cannot be read.
inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The permission bits of `path` itself (a link's own); ~0 when it is not there.
inline unsigned ModeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : ~0u;
}
