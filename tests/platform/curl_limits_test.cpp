// A server that keeps a transfer alive by dripping bytes is given up as a time-out, like one
// that sends nothing: the web body and the FTP get both end within the low-speed window. A
// thread's wait budget bounds all its waiting on silent servers together. And a get that the
// local disk cannot hold is worded by the system, not as an internal error.
#include "platform/Internet.h"
#include "support/EmulatorSuite.h"
#include "support/FtpFiles.h"

#include <gtest/gtest.h>

#include <QJsonObject>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// 1 KB/s over 2 s instead of 60 s: the same rule, in test time.
constexpr TransferLimits kFast{1024, 2};

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class SlowServer : public orbidex::test::EmulatorSuite<> {
protected:
    TransferLimits Limits() const override { return kFast; }
};

TEST_F(SlowServer, DrippingWebBodyEndsWithinTheWindow)
{
    s_emu->setFaults({{"http_drip", QJsonObject{{"ms", 500}}}});
    auto inet = m_internet->Open("InetURL/1.0");
    ASSERT_TRUE(inet);
    const auto start = Clock::now();
    EXPECT_EQ(inet->OpenUrl(m_e.httpOrigin + "//", 0), nullptr);
    EXPECT_LT(Seconds(start), 8.0);
}

TEST_F(SlowServer, DrippingGetEndsAsATimeOutAndLeavesNoFile)
{
    const QByteArray content(64 * 1024, 'x');
    s_emu->putFile("/downloads/ab12/slow.rtf", content);
    s_emu->setFaults({{"ftp_cut", QJsonObject{{"after", 100}, {"cmd", "RETR"}, {"mode", "drip"}}}});
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        auto session = m_internet->OpenSession("Nimbrel Ravlet", 1);
        session->SetTimeouts(40000, 40000, 40000);
        FtpFailure failure;
        auto ftp =
            session->GetFtpConnection(m_e.ftpHost, "nimbreldn", "bexomtu", 21, passive, &failure);
        ASSERT_TRUE(ftp) << failure.message;
        QTemporaryDir dir;
        const std::string local = dir.filePath(QStringLiteral("slow.rtf")).toStdString();
        const auto start = Clock::now();
        EXPECT_FALSE(GetInto(*ftp, "/downloads/ab12/slow.rtf", local));
        EXPECT_LT(Seconds(start), 8.0);
        EXPECT_EQ(ftp->LastError(), inet::kErrTimeout);
        EXPECT_FALSE(std::filesystem::exists(local));
    }
}

TEST_F(SlowServer, FullDiskIsWordedByTheSystem)
{
    s_emu->putFile("/downloads/ab12/big.rtf", QByteArray(256 * 1024, 'x'));
    auto session = m_internet->OpenSession("Nimbrel Ravlet", 1);
    FtpFailure failure;
    auto ftp = session->GetFtpConnection(m_e.ftpHost, "nimbreldn", "bexomtu", 21, true, &failure);
    ASSERT_TRUE(ftp) << failure.message;
    // The device that is always full.
    const fsys::CFd full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(full);
    EXPECT_FALSE(ftp->GetFile("/downloads/ab12/big.rtf", full.Get()));
    EXPECT_EQ(ftp->LastLocalError(), std::strerror(ENOSPC));
    QTemporaryDir dir;

    EXPECT_FALSE(GetInto(*ftp, "/downloads/ab12/missing.rtf", dir.filePath("m").toStdString()));
    EXPECT_EQ(ftp->LastLocalError(), "");  // a server's refusal is no local failure
}

TEST_F(SlowServer, WaitBudgetBoundsAllTheThreadsWaitingTogether)
{
    s_emu->setFaults({{"http_delay", QJsonObject{{"ms", 30000}, {"path", "/"}}}});
    m_internet = CreateInternet(s_emu->caFile());  // the low-speed window of 60 s
    m_internet->SetWaitBudget(2000);
    auto inet = m_internet->Open("InetURL/1.0");
    auto start = Clock::now();
    EXPECT_EQ(inet->OpenUrl(m_e.httpOrigin + "/", 0), nullptr);  // cut once its 2 s are spent
    EXPECT_LT(Seconds(start), 6.0);
    // Spent: what follows fails at once, answering server or not.
    start = Clock::now();
    EXPECT_EQ(inet->OpenUrl(m_e.httpOrigin + "/nimbrel/extverify.php?ext=", 0), nullptr);
    auto session = m_internet->OpenSession("Nimbrel Ravlet", 1);
    FtpFailure failure;
    EXPECT_FALSE(
        session->GetFtpConnection(m_e.ftpHost, "nimbreldn", "bexomtu", 21, true, &failure));
    EXPECT_EQ(failure.code, inet::kErrTimeout);
    EXPECT_LT(Seconds(start), 1.0);
    // Another thread has a budget of its own.
    std::thread([&] {
        EXPECT_NE(inet->OpenUrl(m_e.httpOrigin + "/nimbrel/extverify.php?ext=", 0), nullptr);
    }).join();
    m_internet->SetWaitBudget(0);
    EXPECT_NE(inet->OpenUrl(m_e.httpOrigin + "/nimbrel/extverify.php?ext=", 0), nullptr);
}

}  // namespace
