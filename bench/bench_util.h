#pragma once
// What the libcurl and the bare-socket clients of bench/agent_pass share: body collection, the
// download list's items, the archive copy with its read-only mark, the process's CPU time.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <string>

namespace bench {

inline size_t Append(char* data, size_t size, size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

inline bool Archive(const std::string& from, const std::string& to)
{
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = in >= 0 && out >= 0;
    while (ok) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
        if (n == 0)
            break;
        ok = n > 0;
    }
    if (in >= 0)
        close(in);
    if (out >= 0)
        ok = close(out) == 0 && ok;
    return ok && chmod(from.c_str(), 0444) == 0;
}

// The value after "key" and its "=" (or, quoted, between the quotes that follow the key).
inline std::string Item(const std::string& body, const std::string& key, bool quoted)
{
    std::size_t at = body.find(key);
    if (at == std::string::npos)
        return {};
    if (quoted) {
        const std::size_t open = body.find('"', at);
        const std::size_t close = body.find('"', open + 1);
        return open == std::string::npos || close == std::string::npos
                   ? std::string()
                   : body.substr(open + 1, close - open - 1);
    }
    at = body.find('=', at);
    at = body.find_first_not_of(' ', at + 1);
    return body.substr(at, body.find_first_of(" \r\n<", at) - at);
}

inline double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

}  // namespace bench
