#include "support/FakeService.h"

#include <algorithm>
#include <unistd.h>

namespace {

const FtpFailure kCancelled{inet::kErrOperationCancelled, "Operation cancelled"};

std::string Join(const std::string& dir, const std::string& name)
{
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

}  // namespace

class CFakeService::Url final : public IUrlHandle {
public:
    Url(CFakeService& s, Page page) : m_s(s), m_page(std::move(page))
    {
        m_s.Add(&Record::liveHandles, 1);
    }
    ~Url() override { m_s.Add(&Record::liveHandles, -1); }
    bool Read(char* buf, std::size_t cap, std::size_t* got) override
    {
        if (m_page.readsBeforeFailure >= 0 && m_reads++ >= m_page.readsBeforeFailure)
            return false;
        *got = std::min(cap, m_page.body.size() - m_at);
        std::copy_n(m_page.body.data() + m_at, *got, buf);
        m_at += *got;
        return true;
    }
    long StatusCode() const override { return m_page.status; }

private:
    CFakeService& m_s;
    Page m_page;
    std::size_t m_at = 0;
    int m_reads = 0;
};

class CFakeService::Handle final : public IInternetHandle {
public:
    Handle(CFakeService& s, std::string agent) : m_s(s), m_agent(std::move(agent))
    {
        m_s.Add(&Record::liveHandles, 1);
    }
    ~Handle() override { m_s.Add(&Record::liveHandles, -1); }
    std::unique_ptr<IUrlHandle> OpenUrl(const std::string& url, unsigned flags) override
    {
        {
            std::lock_guard g(m_s.m_lock);
            m_s.m_seen.requests.push_back({m_agent, url, flags});
            if (m_s.m_cancelled)
                return nullptr;
        }
        if (m_s.onRequest)
            m_s.onRequest(url);
        const std::pair<const std::string, Page>* best = nullptr;
        for (const auto& entry : m_s.pages)
            if (url.find(entry.first) != std::string::npos &&
                (!best || entry.first.size() > best->first.size()))
                best = &entry;
        if (!best)
            return nullptr;
        return std::make_unique<Url>(m_s, best->second);
    }

private:
    CFakeService& m_s;
    std::string m_agent;
};

class CFakeService::Ftp final : public IFtpConnection {
public:
    explicit Ftp(CFakeService& s) : m_s(s) { m_s.Add(&Record::openConnections, 1); }
    ~Ftp() override
    {
        if (m_open)
            m_s.Add(&Record::openConnections, -1);
    }
    bool SetCurrentDirectory(const std::string& dir) override
    {
        Lock l(m_s.m_lock);
        if (Failed(Op::Cwd, l))
            return false;
        m_cwd = dir;
        return true;
    }
    bool PutFile(int fd, const std::string& remote) override
    {
        Lock l(m_s.m_lock);
        if (Failed(Op::Put, l))
            return false;
        std::string content;
        char buf[4096];
        ssize_t n = 0;
        for (off_t at = 0; (n = ::pread(fd, buf, sizeof buf, at)) > 0; at += n)
            content.append(buf, static_cast<std::size_t>(n));
        if (n < 0)
            return Fail(inet::kErrInternal);
        m_s.files[Join(m_cwd, remote)] = content;
        m_s.m_seen.puts.push_back({m_cwd, remote, std::move(content)});
        return true;
    }
    bool GetFile(const std::string& remote, int fd) override
    {
        Lock l(m_s.m_lock);
        m_s.m_seen.gets.push_back(remote);
        char target[4096] = {};
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        (void)!::readlink(self.c_str(), target, sizeof target - 1);
        m_s.m_seen.getTargets.push_back(target);
        const std::optional<Fault> fault = m_s.Call(Op::Get, l);
        const auto it = m_s.files.find(remote);
        if (fault && (fault->keep == 0 || it == m_s.files.end()))
            return Fail(fault->failure.code);
        if (it == m_s.files.end())
            return Fail(inet::kErrExtended);  // a server's 550
        const std::size_t n = fault ? std::min(fault->keep, it->second.size()) : it->second.size();
        if (::write(fd, it->second.data(), n) != static_cast<ssize_t>(n))
            return Fail(inet::kErrInternal);
        if (m_s.afterGet)
            m_s.afterGet(remote);
        return fault ? Fail(fault->failure.code) : true;
    }
    bool FindFile(const std::string& name) override
    {
        Lock l(m_s.m_lock);
        return !Failed(Op::Find, l) && m_s.files.count(Join(m_cwd, name)) > 0;
    }
    std::optional<std::uint64_t> GetRemoteSize(const std::string& remote) override
    {
        Lock l(m_s.m_lock);
        if (Failed(Op::Size, l))
            return std::nullopt;
        if (m_s.sizeAnswer)
            return m_s.sizeAnswer;
        const auto it = m_s.files.find(Join(m_cwd, remote));
        if (it == m_s.files.end())
            return std::nullopt;
        return it->second.size();
    }
    unsigned long LastError() const override { return m_error; }
    // As a real session: it carries the next file until it is closed.
    bool IsAlive() override { return m_open; }
    void Close() override
    {
        std::lock_guard g(m_s.m_lock);
        ++m_s.m_seen.closes;
        m_s.m_seen.openConnections -= m_open ? 1 : 0;
        m_open = false;
    }

private:
    bool Fail(unsigned long code)
    {
        m_error = code;
        return false;
    }
    bool Failed(Op op, Lock& l)
    {
        const std::optional<Fault> fault = m_s.Call(op, l);
        if (fault)
            m_error = fault->failure.code;
        return fault.has_value();
    }

    CFakeService& m_s;
    std::string m_cwd = "/";
    unsigned long m_error = 0;
    bool m_open = true;
};

class CFakeService::Session final : public IInternetSession {
public:
    Session(CFakeService& s, std::size_t index) : m_s(s), m_index(index) {}
    void SetTimeouts(long connectMs, long sendMs, long receiveMs) override
    {
        std::lock_guard g(m_s.m_lock);
        long* t = m_s.m_seen.sessions[m_index].timeouts;
        t[0] = connectMs;
        t[1] = sendMs;
        t[2] = receiveMs;
    }
    std::unique_ptr<IFtpConnection> GetFtpConnection(const std::string&, const std::string& user,
                                                     const std::string&, int, bool,
                                                     FtpFailure* failure) override
    {
        {
            Lock l(m_s.m_lock);
            m_s.m_seen.logins.push_back(user);
            if (const std::optional<Fault> fault = m_s.Call(Op::Login, l)) {
                *failure = fault->failure;
                return nullptr;
            }
        }
        return std::make_unique<Ftp>(m_s);
    }

private:
    CFakeService& m_s;
    std::size_t m_index;
};

std::optional<CFakeService::Fault> CFakeService::Call(Op op, Lock& lock)
{
    const int n = ++m_calls[static_cast<int>(op)];
    std::optional<Fault> fault;
    for (const Fault& f : faults)
        if (f.op == op && n >= f.first && n - f.first < f.count) {
            fault = f;
            break;
        }
    if (fault && fault->hang) {
        ++m_seen.hanging;
        m_wake.wait_for(lock, hangBound, [this] { return m_cancelled; });
        --m_seen.hanging;
    }
    if (m_cancelled)
        return Fault{op, n, 1, kCancelled};
    return fault;
}

void CFakeService::Add(int Record::*counter, int delta)
{
    std::lock_guard g(m_lock);
    m_seen.*counter += delta;
}

CFakeService::Record CFakeService::Seen() const
{
    std::lock_guard g(m_lock);
    return m_seen;
}

std::vector<std::string> CFakeService::Urls(const std::string& part) const
{
    std::vector<std::string> urls;
    for (const Request& r : Seen().requests)
        if (r.url.find(part) != std::string::npos)
            urls.push_back(r.url);
    return urls;
}

std::unique_ptr<IFtpConnection> CFakeService::Connection()
{
    return std::make_unique<Ftp>(*this);
}

std::unique_ptr<IInternetHandle> CFakeService::Open(const std::string& userAgent)
{
    {
        std::lock_guard g(m_lock);
        m_seen.agents.push_back(userAgent);
    }
    if (failOpen)
        return nullptr;
    return std::make_unique<Handle>(*this, userAgent);
}

std::unique_ptr<IInternetSession> CFakeService::OpenSession(const std::string& userAgent,
                                                            unsigned long context)
{
    std::lock_guard g(m_lock);
    m_seen.sessions.push_back({userAgent, context});
    return std::make_unique<Session>(*this, m_seen.sessions.size() - 1);
}

void CFakeService::Cancel()
{
    std::lock_guard g(m_lock);
    m_cancelled = true;
    m_wake.notify_all();
}
