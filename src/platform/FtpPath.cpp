#include "platform/FtpPath.h"

#include "platform/Format.h"

namespace curlnet {

std::string EncodeSegment(const std::string& segment)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : segment) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::vector<std::string> Segments(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

bool Resolve(const std::string& base, const std::string& path, std::string* out)
{
    if (HasControlChars(path))
        return false;
    *out = Join(Segments(!path.empty() && path[0] == '/' ? path : base + "/" + path));
    return true;
}

std::string Parent(const std::string& absPath)
{
    std::vector<std::string> parts = Segments(absPath);
    if (!parts.empty())
        parts.pop_back();
    return Join(parts);
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FtpOrigin(const std::string& host, int port)
{
    std::string name = host;
    std::string portText = std::to_string(port);
    if (!host.empty() && host[0] == '[') {
        const std::size_t close = host.find(']');
        if (close != std::string::npos && close + 1 < host.size() && host[close + 1] == ':') {
            name = host.substr(0, close + 1);
            portText = host.substr(close + 2);
        }
    } else if (const std::size_t colon = host.find(':'); colon != std::string::npos) {
        if (host.find(':', colon + 1) == std::string::npos) {
            name = host.substr(0, colon);
            portText = host.substr(colon + 1);
        } else {
            name = "[" + host + "]";
        }
    }
    return "ftp://" + name + ":" + portText;
}
}  // namespace curlnet
