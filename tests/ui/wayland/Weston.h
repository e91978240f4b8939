#pragma once
#include <string>
#include <sys/types.h>

// A private headless weston for one test program: its own runtime folder (0700) and socket
// name, stopped by its PID. Desktop shell as a user gets it, and no seat: no keyboard, no
// pointer, so no window is ever activated.
class CWeston {
public:
    ~CWeston() { Stop(); }
    // Empty when weston and Qt's Wayland plugin are installed, else what is missing.
    static std::string Missing();
    // Empty once the compositor accepts connections (bounded wait), else why not.
    std::string Start();
    void Stop();
    const std::string& RuntimeDir() const { return m_runtimeDir; }
    const std::string& Socket() const { return m_socket; }

private:
    std::string m_runtimeDir;
    std::string m_socket;
    pid_t m_pid = -1;
};
