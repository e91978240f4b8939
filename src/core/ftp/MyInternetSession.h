#pragma once
#include <memory>
#include <string>

class IInternet;
class IInternetSession;

// The internet session of one transfer pass: it lives for the pass and is released at its end,
// which closes whatever it still holds.
class CMyInternetSession {
public:
    static constexpr unsigned long kContext = 1;
    // 20 tries of 2000 ms each: a silent server is given up after 40 s in every phase.
    static constexpr long kTimeoutMs = 20 * 2000;

    // Access type and proxy come from the system; there are no flags (synchronous operation).
    CMyInternetSession(IInternet& internet, const std::string& userAgent, unsigned long context);

    bool IsOpen() const { return m_session != nullptr; }
    IInternetSession& Session() { return *m_session; }

private:
    std::unique_ptr<IInternetSession> m_session;
};

// The transfer session: application title as user agent, context 1, the 40 s time-outs set before
// the first connection. Null when the internet layer cannot open a session.
std::unique_ptr<CMyInternetSession> OpenTransferSession(IInternet& internet);
