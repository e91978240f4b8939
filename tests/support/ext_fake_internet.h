#pragma once
#include "platform/Internet.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// An internet that serves one body to every URL, in pieces of the reader's size, and records
// what it was asked and whether every handle it gave out was closed again.
class CExtFakeInternet final : public IInternet {
public:
    bool failOpen = false;
    bool failUrl = false;
    int failReadAfter = -1;  // reads that succeed before one fails; -1: never
    std::string body;
    std::vector<std::string> agents;
    std::vector<std::string> urls;
    std::vector<unsigned> flags;
    int liveHandles = 0;

    std::unique_ptr<IInternetHandle> Open(const std::string& userAgent) override
    {
        agents.push_back(userAgent);
        if (failOpen)
            return nullptr;
        return std::make_unique<Handle>(*this);
    }
    std::unique_ptr<IInternetSession> OpenSession(const std::string&, unsigned long) override
    {
        return nullptr;
    }
    void Cancel() override {}

private:
    struct Url final : IUrlHandle {
        explicit Url(CExtFakeInternet& n) : net(n) { ++net.liveHandles; }
        ~Url() override { --net.liveHandles; }
        bool Read(char* buf, std::size_t cap, std::size_t* got) override
        {
            if (net.failReadAfter >= 0 && reads++ >= net.failReadAfter)
                return false;
            *got = std::min(cap, net.body.size() - pos);
            std::copy_n(net.body.data() + pos, *got, buf);
            pos += *got;
            return true;
        }
        CExtFakeInternet& net;
        std::size_t pos = 0;
        int reads = 0;
    };
    struct Handle final : IInternetHandle {
        explicit Handle(CExtFakeInternet& n) : net(n) { ++net.liveHandles; }
        ~Handle() override { --net.liveHandles; }
        std::unique_ptr<IUrlHandle> OpenUrl(const std::string& url, unsigned f) override
        {
            net.urls.push_back(url);
            net.flags.push_back(f);
            if (net.failUrl)
                return nullptr;
            return std::make_unique<Url>(net);
        }
        CExtFakeInternet& net;
    };
};
