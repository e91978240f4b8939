#pragma once
// One emulator per test suite, cleared before each test, with the agent's endpoints pointed at
// it and a real internet layer that trusts its certificate.
#include "core/settings/Endpoints.h"
#include "platform/Internet.h"
#include "support/ServiceEmulator.h"

#include <gtest/gtest.h>

#include <memory>

namespace orbidex::test {

inline CEndpoints EndpointsFor(const ServiceEmulator& emu)
{
    CEndpoints e;
    e.httpOrigin = emu.httpOrigin();
    e.httpsOrigin = emu.httpsOrigin();
    e.httpBareOrigin = emu.httpOrigin();
    e.ftpHost = emu.ftpHost();
    e.ftpTopDir = emu.topDir();
    e.supportEmail = "support@nimbrel.example";
    e.caFile = emu.caFile();
    return e;
}

template <class Base = ::testing::Test>
class EmulatorSuite : public Base {
protected:
    static void SetUpTestSuite() { s_emu = new ServiceEmulator(); }
    static void TearDownTestSuite()
    {
        delete s_emu;
        s_emu = nullptr;
    }
    // What the internet layer is made with; a suite may narrow it.
    virtual TransferLimits Limits() const { return {}; }
    void SetUp() override
    {
        s_emu->clearFaults();
        s_emu->clearRecords();
        m_e = EndpointsFor(*s_emu);
        m_internet = CreateInternet(s_emu->caFile(), Limits());
        ASSERT_TRUE(m_internet);
    }

    static inline ServiceEmulator* s_emu = nullptr;
    CEndpoints m_e;
    std::unique_ptr<IInternet> m_internet;
};

}  // namespace orbidex::test
