#include "platform/WakeEvent.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CWakeEvent::CWakeEvent() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CWakeEvent::~CWakeEvent()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CWakeEvent::Raise()
{
    const std::uint64_t one = 1;
    return m_fd >= 0 && ::write(m_fd, &one, sizeof one) == sizeof one;
}

void CWakeEvent::Reset()
{
    std::uint64_t count = 0;
    if (m_fd >= 0 && ::read(m_fd, &count, sizeof count) < 0)
        count = 0;  // nothing raised since the last reset: EAGAIN
}
