#include "app/ExitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// One agent per process: one pipe. Read end, write end; -1 while none.
int g_pipe[2] = {-1, -1};

extern "C" void OnExitSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    // Non-blocking: a full pipe already holds a request to exit.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

CExitSignals::CExitSignals(std::function<void()> onExit, QObject* parent)
    : QObject(parent), m_onExit(std::move(onExit))
{
}

CExitSignals::~CExitSignals()
{
    if (!m_installed)
        return;
    for (int sig : kSignals) std::signal(sig, SIG_DFL);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool CExitSignals::Install()
{
    if (m_installed || g_pipe[0] != -1)
        return m_installed;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return false;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CExitSignals::OnReadable);
    struct sigaction sa {};
    sa.sa_handler = &OnExitSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kSignals) ::sigaction(sig, &sa, nullptr);
    m_installed = true;
    return true;
}

void CExitSignals::OnReadable()
{
    char buf[16];
    bool any = false;
    while (::read(g_pipe[0], buf, sizeof buf) > 0) any = true;
    if (any && m_onExit)
        m_onExit();
}
