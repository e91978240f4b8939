#pragma once
#include "platform/Internet.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// An internet layer in memory: web answers chosen by a function, an FTP server that keeps the
// put files in a map, and switches for the failures an upload pass has to survive.
class CFakeInternet final : public IInternet {
public:
    struct Put {
        std::string dir, remote, content;
    };
    // Web: the body for a URL, or none for a URL that cannot be opened.
    std::function<std::optional<std::string>(const std::string&)> answer = [](const std::string&) {
        return std::optional<std::string>("Username Valid!");
    };
    // FTP: login attempts that fail before one succeeds (-1: all fail).
    int failConnects = 0;
    // 1-based number of the put that fails (0: none), and the size the server then reports.
    int failPut = 0;
    std::optional<std::uint64_t> reportSizeOverride;
    int shortPut = 0;  // 1-based put whose server copy is one byte short, acknowledged anyway
    bool answersSize = true;
    std::function<void(const std::string& local)> duringPut;

    std::vector<std::string> Urls() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_urls;
    }
    std::vector<Put> Puts() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_puts;
    }
    int Logins() const { return m_logins; }
    int Sessions() const { return m_sessions; }
    int OpenConnections() const { return m_open; }
    void Cancel() override { m_cancelled = true; }

    std::unique_ptr<IInternetHandle> Open(const std::string&) override
    {
        return std::make_unique<Handle>(*this);
    }
    std::unique_ptr<IInternetSession> OpenSession(const std::string&, unsigned long) override
    {
        ++m_sessions;
        return std::make_unique<Session>(*this);
    }

private:
    struct Url final : IUrlHandle {
        std::string body;
        std::size_t pos = 0;
        bool Read(char* buf, std::size_t cap, std::size_t* got) override
        {
            *got = std::min(cap, body.size() - pos);
            body.copy(buf, *got, pos);
            pos += *got;
            return true;
        }
    };
    struct Handle final : IInternetHandle {
        explicit Handle(CFakeInternet& n) : net(n) {}
        CFakeInternet& net;
        std::unique_ptr<IUrlHandle> OpenUrl(const std::string& url, unsigned) override
        {
            {
                std::lock_guard<std::mutex> g(net.m_lock);
                net.m_urls.push_back(url);
            }
            std::optional<std::string> body = net.answer(url);
            if (!body || net.m_cancelled)
                return nullptr;
            auto h = std::make_unique<Url>();
            h->body = *body;
            return h;
        }
    };
    struct Ftp final : IFtpConnection {
        explicit Ftp(CFakeInternet& n) : net(n) { ++net.m_open; }
        ~Ftp() override { Close(); }
        CFakeInternet& net;
        std::string cwd = "/";
        bool open = true;
        std::map<std::string, std::uint64_t> sizes;
        bool SetCurrentDirectory(const std::string& dir) override
        {
            cwd = dir;
            return true;
        }
        bool PutFile(const std::string& local, const std::string& remote) override
        {
            const int n = ++net.m_putCount;
            if (net.duringPut)
                net.duringPut(local);
            std::ifstream in(local, std::ios::binary);
            if (!in || net.m_cancelled || n == net.failPut)
                return false;
            std::string content((std::istreambuf_iterator<char>(in)), {});
            if (n == net.shortPut && !content.empty())
                content.pop_back();
            sizes[remote] = content.size();
            std::lock_guard<std::mutex> g(net.m_lock);
            net.m_puts.push_back({cwd, remote, content});
            return true;
        }
        bool GetFile(const std::string&, const std::string&) override { return false; }
        bool FindFile(const std::string&) override { return false; }
        std::optional<std::uint64_t> GetRemoteSize(const std::string& remote) override
        {
            if (!net.answersSize)
                return std::nullopt;
            if (net.reportSizeOverride)
                return net.reportSizeOverride;
            auto it = sizes.find(remote);
            return it == sizes.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
        }
        unsigned long LastError() const override { return 0; }
        void Close() override
        {
            if (open)
                --net.m_open;
            open = false;
        }
    };
    struct Session final : IInternetSession {
        explicit Session(CFakeInternet& n) : net(n) {}
        CFakeInternet& net;
        void SetTimeouts(long, long, long) override {}
        std::unique_ptr<IFtpConnection> GetFtpConnection(const std::string&, const std::string&,
                                                         const std::string&, int, bool,
                                                         FtpFailure* failure) override
        {
            const int n = ++net.m_logins;
            if (net.m_cancelled || net.failConnects < 0 || n <= net.failConnects) {
                failure->code = inet::kErrCannotConnect;
                failure->message = "Connection refused";
                return nullptr;
            }
            return std::make_unique<Ftp>(net);
        }
    };

    mutable std::mutex m_lock;
    std::vector<std::string> m_urls;
    std::vector<Put> m_puts;
    std::atomic<int> m_logins{0}, m_sessions{0}, m_open{0}, m_putCount{0};
    std::atomic<bool> m_cancelled{false};
};
