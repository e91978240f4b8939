#pragma once
// The internet layer in memory, for the paths a real server cannot be made to take on demand:
// web pages by URL, an FTP server whose files live in a map, scripted failures and hangs, and a
// record of everything the agent asked for. Set it up before use; read it through Seen().
#include "platform/Internet.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CFakeService final : public IInternet {
public:
    enum class Op { Login, Cwd, Put, Get, Find, Size, kCount };
    static constexpr int kEvery = 1 << 30;
    static inline const FtpFailure kRefused{inet::kErrCannotConnect, "Connection refused"};

    struct Page {
        std::string body;
        int readsBeforeFailure = -1;  // reads that succeed before one fails; -1: none fails
        long status = 200;
    };
    // Calls first .. first + count - 1 of `op` (counted from 1 over all connections) fail.
    struct Fault {
        Op op = Op::Login;
        int first = 1;
        int count = 1;         // kEvery: every call from `first` on
        FtpFailure failure{};  // a login's failure; otherwise the code LastError() reports
        std::size_t keep = 0;  // bytes a failing get writes before it fails
        bool hang = false;     // blocks first, until Cancel() or for hangBound
    };

    struct Request {
        std::string agent, url;
        unsigned flags = 0;
    };
    struct SessionRecord {
        std::string agent;
        unsigned long context = 0;
        long timeouts[3] = {0, 0, 0};  // connect, send, receive
    };
    struct PutRecord {
        std::string dir, remote, content;
    };
    struct Record {
        std::vector<std::string> agents;  // of every Open()
        std::vector<Request> requests;    // every URL opened, answered or not
        std::vector<SessionRecord> sessions;
        std::vector<std::string> logins;            // user of every login attempt
        std::vector<PutRecord> puts;                // puts the server accepted
        std::vector<std::string> gets, getTargets;  // remote path, and what the local file was
        int openConnections = 0;                    // handed out and neither closed nor destroyed
        int closes = 0;                             // Close() calls
        int liveHandles = 0;                        // internet and URL handles not yet destroyed
        int hanging = 0;                            // calls blocked in a scripted hang now
    };

    // Web: the page whose key is the longest part of the URL answers; none: it cannot be opened.
    std::map<std::string, Page> pages;
    bool failOpen = false;                                  // Open() returns null
    std::function<void(const std::string& url)> onRequest;  // runs as each URL is opened
    // Runs as each get has written its file, with the fake's lock held: it may change `files`.
    std::function<void(const std::string& remote)> afterGet;
    // FTP: content by full remote path; puts land here too.
    std::map<std::string, std::string> files;
    std::vector<Fault> faults;
    std::optional<std::uint64_t> sizeAnswer;  // what SIZE says of any file; none: its real size
    std::chrono::milliseconds hangBound{10000};

    Record Seen() const;
    std::vector<std::string> Urls(const std::string& part = {}) const;  // those containing part
    // A connection handed out without a login, standing for one that was there before.
    std::unique_ptr<IFtpConnection> Connection();

    std::unique_ptr<IInternetHandle> Open(const std::string& userAgent) override;
    std::unique_ptr<IInternetSession> OpenSession(const std::string& userAgent,
                                                  unsigned long context) override;
    // Ends every hang; every later URL and FTP call fails as cancelled.
    void Cancel() override;

private:
    class Handle;
    class Url;
    class Session;
    class Ftp;
    using Lock = std::unique_lock<std::mutex>;
    // Counts a call of `op`; the failure it ends in, after its hang, if it is scripted to fail.
    std::optional<Fault> Call(Op op, Lock& lock);
    void Add(int Record::*counter, int delta);

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    Record m_seen;
    int m_calls[static_cast<int>(Op::kCount)] = {};
    bool m_cancelled = false;
};
