#pragma once
// What the tests of the internet layer share: a recording display with its log in a temporary
// folder, endpoints pointing at the emulator, and a loopback port where nothing listens.
#include "core/settings/Endpoints.h"
#include "support/EmulatorSuite.h"
#include "support/Files.h"
#include "support/RecordingDisplay.h"
#include "support/ServiceEmulator.h"

#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace nettest {

// A port that was free a moment ago: connecting to it is refused.
inline int ClosedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

inline CEndpoints DeadEndpoints()
{
    const std::string port = std::to_string(ClosedPort());
    CEndpoints e;
    e.httpOrigin = "http://127.0.0.1:" + port;
    e.httpsOrigin = "https://127.0.0.1:" + port;
    e.httpBareOrigin = e.httpOrigin;
    e.ftpHost = "127.0.0.1:" + port;
    return e;
}

// A display whose log lives in a fresh temporary folder, on a fixed clock.
struct DisplayFixture {
    QTemporaryDir dir;
    CFixedClock clock{1796601042};  // Sun Dec 06 23:50:42 2026 UTC
    std::unique_ptr<CRecordingDisplay> display;

    DisplayFixture() : display(std::make_unique<CRecordingDisplay>(LogPath(), &clock)) {}
    std::string LogPath() const { return dir.filePath("Orbidex.log").toStdString(); }
    std::string Log() const { return ReadAll(LogPath()); }
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
};

}  // namespace nettest
