#include "ui/wayland/Weston.h"

#include "support/Files.h"

#include <QFile>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
using namespace std::chrono_literals;

bool Accepts(const std::string& path)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path))
        return false;
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}
}  // namespace

std::string CWeston::Missing()
{
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty())
        return "weston is not installed (apt-get install weston, or run tools/setup)";
    const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                           QStringLiteral("/platforms/libqwayland-generic.so");
    if (!QFile::exists(plugin))
        return "Qt's Wayland platform plugin is not installed (apt-get install qt6-wayland)";
    return {};
}

std::string CWeston::Start()
{
    char dir[] = "/tmp/orbidex-wayland.XXXXXX";  // mkdtemp makes it 0700
    if (!::mkdtemp(dir))
        return "cannot create a runtime folder";
    m_runtimeDir = dir;
    m_socket = "orbidex-" + std::to_string(::getpid());
    const std::string log = m_runtimeDir + "/weston.log";
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid < 0)
        return "fork failed";
    if (m_pid == 0) {
        // A test that crashes takes its compositor with it.
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent)
            ::_exit(125);
        // Nothing of the caller's session may leak in: its display, its compositor, its config.
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("WAYLAND_SOCKET");
        ::unsetenv("DISPLAY");
        ::setenv("XDG_RUNTIME_DIR", dir, 1);
        // Its clients may outlive it briefly: none may hold the test's output open.
        const int out = ::open((log + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)
            ::_exit(126);
        const std::string socket = "--socket=" + m_socket;
        const std::string logArg = "--log=" + log;
        ::execlp("weston", "weston", "--backend=headless-backend.so", "--no-config",
                 "--idle-time=0", socket.c_str(), logArg.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const std::string path = m_runtimeDir + "/" + m_socket;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return "weston exited at start:\n" + ReadAll(log);
        }
        if (Accepts(path))
            return {};
        std::this_thread::sleep_for(20ms);
    }
    return "weston did not accept connections within 10 s:\n" + ReadAll(log);
}

void CWeston::Stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        m_pid = -1;
    }
    if (!m_runtimeDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_runtimeDir, ec);
        m_runtimeDir.clear();
    }
}
