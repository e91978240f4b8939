#pragma once
// A scripted internet layer for the paths a real one cannot be made to take on demand
// (no internet handle at all, a failure that is not an internet failure).
#include "platform/Internet.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A connection that stands for "something was there before" in tests of what gets reset,
// and the one a scripted login hands out.
class CDummyConnection final : public IFtpConnection {
public:
    bool SetCurrentDirectory(const std::string&) override { return true; }
    bool PutFile(const std::string&, const std::string&) override { return true; }
    bool GetFile(const std::string&, const std::string&) override { return true; }
    bool FindFile(const std::string&) override { return true; }
    std::optional<std::uint64_t> GetRemoteSize(const std::string&) override { return {}; }
    unsigned long LastError() const override { return 0; }
    void Close() override {}
};

class CScriptedInternet final : public IInternet {
public:
    bool openFails = false;           // Open() returns null
    std::optional<std::string> body;  // OpenUrl's answer; none: the URL cannot be opened
    FtpFailure loginFailure;          // used when no connection is handed out
    bool loginSucceeds = false;
    // What the last session was opened and set up with.
    std::string sessionAgent;
    unsigned long sessionContext = 0;
    long timeouts[3] = {0, 0, 0};

    struct Opened {
        std::string agent, url;
        unsigned flags;
    };
    std::vector<Opened> Opens() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_opens;
    }
    int HandlesAlive() const { return m_alive; }

    std::unique_ptr<IInternetHandle> Open(const std::string& agent) override
    {
        if (openFails)
            return nullptr;
        return std::make_unique<Handle>(*this, agent);
    }
    std::unique_ptr<IInternetSession> OpenSession(const std::string& agent,
                                                  unsigned long context) override
    {
        sessionAgent = agent;
        sessionContext = context;
        return std::make_unique<Session>(*this);
    }
    void Cancel() override {}

private:
    class Url final : public IUrlHandle {
    public:
        explicit Url(std::string text) : m_text(std::move(text)) {}
        bool Read(char* buf, std::size_t cap, std::size_t* got) override
        {
            *got = std::min(cap, m_text.size() - m_pos);
            std::memcpy(buf, m_text.data() + m_pos, *got);
            m_pos += *got;
            return true;
        }

    private:
        std::string m_text;
        std::size_t m_pos = 0;
    };
    class Handle final : public IInternetHandle {
    public:
        Handle(CScriptedInternet& owner, std::string agent) : m_owner(owner), m_agent(agent)
        {
            ++m_owner.m_alive;
        }
        ~Handle() override { --m_owner.m_alive; }
        std::unique_ptr<IUrlHandle> OpenUrl(const std::string& url, unsigned flags) override
        {
            {
                std::lock_guard<std::mutex> g(m_owner.m_lock);
                m_owner.m_opens.push_back({m_agent, url, flags});
            }
            if (!m_owner.body)
                return nullptr;
            return std::make_unique<Url>(*m_owner.body);
        }

    private:
        CScriptedInternet& m_owner;
        std::string m_agent;
    };
    class Session final : public IInternetSession {
    public:
        explicit Session(CScriptedInternet& owner) : m_owner(owner) {}
        void SetTimeouts(long connectMs, long sendMs, long receiveMs) override
        {
            m_owner.timeouts[0] = connectMs;
            m_owner.timeouts[1] = sendMs;
            m_owner.timeouts[2] = receiveMs;
        }
        std::unique_ptr<IFtpConnection> GetFtpConnection(const std::string&, const std::string&,
                                                         const std::string&, int, bool,
                                                         FtpFailure* failure) override
        {
            if (m_owner.loginSucceeds)
                return std::make_unique<CDummyConnection>();
            *failure = m_owner.loginFailure;
            return nullptr;
        }

    private:
        CScriptedInternet& m_owner;
    };

    mutable std::mutex m_lock;
    std::vector<Opened> m_opens;
    int m_alive = 0;
};
