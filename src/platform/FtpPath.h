#pragma once
// Remote paths of the FTP connection, kept absolute on our side so that every command names
// its file in full whatever the server's current directory.
#include <string>
#include <vector>

namespace curlnet {

// A path segment for an ftp:// URL: everything but RFC 3986 unreserved characters escaped.
std::string EncodeSegment(const std::string& segment);
// The segments of a path with "." and ".." applied and empty ones (repeated slashes) dropped.
std::vector<std::string> Segments(const std::string& path);
// "/a/b" from {"a", "b"}; "/" from none.
std::string Join(const std::vector<std::string>& parts);
// `path` taken from `base` when relative, normalised. False for a control character, which
// would let a name smuggle a command onto the control connection.
bool Resolve(const std::string& base, const std::string& path, std::string* out);
std::string Parent(const std::string& absPath);
std::string BaseName(const std::string& path);
// "ftp://host:port" from "host", "host:port", "[v6]:port" or a bare IPv6 literal; a port in
// `host` wins over `port`.
std::string FtpOrigin(const std::string& host, int port);

}  // namespace curlnet
