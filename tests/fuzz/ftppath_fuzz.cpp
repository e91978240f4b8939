// Remote paths as a hostile list might name them (its SourceDir and file names): whatever the
// input, a resolved path stays under the server's root, in the one normal form every command
// uses, and nothing it resolves to can carry a second command.
#include "platform/Format.h"
#include "platform/FtpPath.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
void Check(bool holds)
{
    if (!holds)
        std::abort();
}
}  // namespace

// The input is the current directory, a line break, then the path to resolve from it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string base(reinterpret_cast<const char*>(data), size);
    std::string path;
    if (const std::size_t cut = base.find('\n'); cut != std::string::npos) {
        path.assign(base, cut + 1);
        base.resize(cut);
    }
    std::string cwd;
    if (!curlnet::Resolve("/", base, &cwd))
        cwd = "/";
    std::string out;
    if (!curlnet::Resolve(cwd, path, &out)) {
        Check(HasControlChars(path));
        return 0;
    }
    Check(!HasControlChars(out));
    Check(!out.empty() && out[0] == '/');
    for (const std::string& part : curlnet::Segments(out)) Check(part != ".." && part != ".");
    Check(out == "/" || (out.back() != '/' && out.find("//") == std::string::npos));
    std::string again;
    Check(curlnet::Resolve("/elsewhere", out, &again) && again == out);
    // A relative path that never climbs stays under the directory it was resolved from.
    if ((path.empty() || path[0] != '/') && path.find("..") == std::string::npos) {
        std::string under = cwd == "/" ? std::string() : cwd;
        under.push_back('/');
        Check(out == cwd || out.compare(0, under.size(), under) == 0);
    }
    const std::string parent = curlnet::Parent(out);
    Check(out.compare(0, parent.size(), parent) == 0);
    Check(curlnet::BaseName(out).find('/') == std::string::npos);
    return 0;
}
