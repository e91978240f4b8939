#pragma once
// Shared by the sources of the local file work: a failure in the system's wording or our own.
#include "platform/LocalFile.h"

#include <cerrno>
#include <sys/stat.h>

namespace fsys::detail {

inline bool Fail(std::string* why, int error = errno)
{
    if (why)
        *why = ErrorText(error);
    return false;
}

inline bool Fail(std::string* why, const char* text)
{
    if (why)
        *why = text;
    return false;
}

inline constexpr const char* kIsLink = "it is a symbolic link, which the agent never follows";
inline constexpr const char* kNoRecord = "the agent's state folder cannot be written";

inline FileId IdOf(int fd)
{
    struct stat st {};
    fstat(fd, &st);
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace fsys::detail
