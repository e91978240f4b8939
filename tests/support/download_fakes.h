#pragma once
// An in-memory service for the download pass: web answers by script name, an FTP server whose
// files live in a map, and a record of what the agent asked for.
#include "platform/Internet.h"

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct CFakeService {
    std::map<std::string, std::string> answers;  // script name (e.g. "orbidexdload.php") -> body
    std::vector<std::string> urls;               // every URL opened, in order
    std::map<std::string, std::string> files;    // remote path -> content
    unsigned long missingError = inet::kErrExtended;  // code of a get of an absent file
    int failConnects = 0;                             // this many logins fail first
    std::size_t cutAfter = std::string::npos;         // gets write this many bytes, then fail
    std::vector<std::string> logins;                  // user names of successful logins
    std::vector<std::string> gets;                    // remote paths asked for
    std::vector<std::string> getTargets;              // local paths written to
    int closes = 0;

    std::vector<std::string> UrlsWith(const std::string& part) const
    {
        std::vector<std::string> hits;
        for (const auto& u : urls)
            if (u.find(part) != std::string::npos)
                hits.push_back(u);
        return hits;
    }
};

class CFakeUrl final : public IUrlHandle {
public:
    explicit CFakeUrl(std::string body) : m_body(std::move(body)) {}
    bool Read(char* buf, std::size_t cap, std::size_t* got) override
    {
        *got = std::min(cap, m_body.size() - m_at);
        std::memcpy(buf, m_body.data() + m_at, *got);
        m_at += *got;
        return true;
    }

private:
    std::string m_body;
    std::size_t m_at = 0;
};

class CFakeHandle final : public IInternetHandle {
public:
    explicit CFakeHandle(CFakeService& s) : m_s(s) {}
    std::unique_ptr<IUrlHandle> OpenUrl(const std::string& url, unsigned) override
    {
        m_s.urls.push_back(url);
        for (const auto& [script, body] : m_s.answers)
            if (url.find(script) != std::string::npos)
                return std::make_unique<CFakeUrl>(body);
        return nullptr;
    }

private:
    CFakeService& m_s;
};

class CFakeFtp final : public IFtpConnection {
public:
    explicit CFakeFtp(CFakeService& s) : m_s(s) {}
    bool SetCurrentDirectory(const std::string& dir) override
    {
        m_cwd = dir;
        return true;
    }
    bool PutFile(const std::string&, const std::string&) override { return false; }
    bool GetFile(const std::string& remotePath, const std::string& localPath) override
    {
        m_s.gets.push_back(remotePath);
        m_s.getTargets.push_back(localPath);
        auto it = m_s.files.find(remotePath);
        if (it == m_s.files.end()) {
            m_error = m_s.missingError;
            return false;
        }
        std::ofstream out(localPath, std::ios::binary | std::ios::trunc);
        if (!out) {
            m_error = inet::kErrInternal;
            return false;
        }
        const std::size_t n = std::min(m_s.cutAfter, it->second.size());
        out.write(it->second.data(), static_cast<std::streamsize>(n));
        if (n < it->second.size()) {
            m_error = inet::kErrConnectionAborted;
            return false;
        }
        return true;
    }
    bool FindFile(const std::string& name) override { return m_s.files.count(m_cwd + "/" + name); }
    std::optional<std::uint64_t> GetRemoteSize(const std::string&) override { return {}; }
    unsigned long LastError() const override { return m_error; }
    void Close() override { ++m_s.closes; }

private:
    CFakeService& m_s;
    std::string m_cwd = "/";
    unsigned long m_error = 0;
};

class CFakeSession final : public IInternetSession {
public:
    explicit CFakeSession(CFakeService& s) : m_s(s) {}
    void SetTimeouts(long, long, long) override {}
    std::unique_ptr<IFtpConnection> GetFtpConnection(const std::string&, const std::string& user,
                                                     const std::string&, int, bool,
                                                     FtpFailure* failure) override
    {
        if (m_s.failConnects > 0) {
            --m_s.failConnects;
            failure->code = inet::kErrCannotConnect;
            failure->message = "Connection refused";
            return nullptr;
        }
        m_s.logins.push_back(user);
        return std::make_unique<CFakeFtp>(m_s);
    }

private:
    CFakeService& m_s;
};

class CFakeInternet final : public IInternet {
public:
    explicit CFakeInternet(CFakeService& s) : m_s(s) {}
    std::unique_ptr<IInternetHandle> Open(const std::string&) override
    {
        return std::make_unique<CFakeHandle>(m_s);
    }
    std::unique_ptr<IInternetSession> OpenSession(const std::string&, unsigned long) override
    {
        return std::make_unique<CFakeSession>(m_s);
    }
    void Cancel() override {}

private:
    CFakeService& m_s;
};
