// The libcurl FTP connection against the emulator, in passive and in active mode: what arrives
// on the server, the commands it saw, and the error codes of failures.
#include "platform/Internet.h"
#include "support/EmulatorSuite.h"
#include "support/FtpFiles.h"
#include "support/NetTestSupport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

namespace {

using orbidex::test::ServiceEmulator;
using Clock = std::chrono::steady_clock;

QByteArray Pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);  // zero bytes and CR LF included
    return data;
}

void WriteFile(const std::string& path, const QByteArray& data)
{
    std::ofstream(path, std::ios::binary).write(data.constData(), data.size());
}

long Ms(Clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

class CurlFtp : public orbidex::test::EmulatorSuite<::testing::TestWithParam<bool>> {
protected:
    void SetUp() override
    {
        EmulatorSuite::SetUp();
        m_session = m_internet->OpenSession("Nimbrel Ravlet", 1);
        m_session->SetTimeouts(40000, 40000, 40000);
    }

    std::unique_ptr<IFtpConnection> Login(bool upload, FtpFailure* failure = nullptr)
    {
        FtpFailure ignored;
        return m_session->GetFtpConnection(s_emu->ftpHost(), upload ? "nimbrel" : "nimbreldn",
                                           upload ? "qorulimet4" : "bexomtu", 21, GetParam(),
                                           failure ? failure : &ignored);
    }
    std::string Local(const char* name) const { return m_dir.filePath(name).toStdString(); }
    QJsonArray Commands() const { return s_emu->records("ftp_commands"); }

    QTemporaryDir m_dir;
    std::unique_ptr<IInternetSession> m_session;
};

TEST_P(CurlFtp, EveryOperationRunsOnTheOneLoggedInConnection)
{
    const QByteArray data = Pattern(70000);
    WriteFile(Local("a.wav"), data);
    auto ftp = Login(true);
    ASSERT_TRUE(ftp);
    const std::string up = s_emu->uploadDir();
    EXPECT_TRUE(ftp->SetCurrentDirectory(up));
    ASSERT_TRUE(PutFrom(*ftp, Local("a.wav"), "ab12_a b#1.wav"));
    EXPECT_EQ(ftp->GetRemoteSize("ab12_a b#1.wav"), std::optional<std::uint64_t>(70000));
    EXPECT_TRUE(ftp->FindFile("ab12_a b#1.wav"));
    EXPECT_FALSE(ftp->FindFile("ab12_a.wav"));
    EXPECT_FALSE(ftp->GetRemoteSize("missing.wav").has_value());
    ftp->Close();
    EXPECT_TRUE(ReadAll(s_emu->uploadDirLocal() + "/ab12_a b#1.wav") == data.toStdString());

    const QJsonArray logins = s_emu->records("ftp_logins");
    ASSERT_EQ(logins.size(), 1);
    EXPECT_EQ(logins[0].toObject()["user"].toString(), "nimbrel");
    const int session = logins[0].toObject()["session"].toInt();
    int dataSetups = 0;
    for (const auto& c : Commands()) {
        const QJsonObject cmd = c.toObject();
        EXPECT_EQ(cmd["session"].toInt(), session);
        const QString name = cmd["cmd"].toString();
        EXPECT_NE(name, "CWD") << "the paths are absolute: a CWD checks nothing";
        if (name == "EPSV" || name == "PASV" || name == "EPRT" || name == "PORT") {
            ++dataSetups;
            const bool passiveCmd = name == "EPSV" || name == "PASV";
            EXPECT_EQ(passiveCmd, GetParam());
        }
        if (name == "STOR") {
            EXPECT_EQ(cmd["arg"].toString().toStdString(), up + "ab12_a b#1.wav");
        }
    }
    EXPECT_EQ(dataSetups, 3);  // STOR and two NLST
}

// A put of a size read when the file was opened sends that many bytes: what was appended
// since waits for a later put, and a file cut short since fails the put (the caller sees the
// changed file).
TEST_P(CurlFtp, APutSendsTheSizeItWasGivenAndNoMore)
{
    const QByteArray data = Pattern(50000);
    struct Row {
        const char* what;
        std::uint64_t given;
        int onServer;  // -1: the put fails
    } const rows[] = {
        {"as opened", 50000, 50000},
        {"grown since", 20000, 20000},
        {"cut since", 60000, -1},
        {"empty", 0, 0},
    };
    auto ftp = Login(true);
    ASSERT_TRUE(ftp);
    EXPECT_TRUE(ftp->SetCurrentDirectory(s_emu->uploadDir()));
    for (const Row& row : rows) {
        WriteFile(Local("g.wav"), data);
        const fsys::CFd fd(::open(Local("g.wav").c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(fd);
        const bool put = ftp->PutFileOfSize(fd.Get(), "ab12_g.wav", row.given);
        EXPECT_EQ(put, row.onServer >= 0) << row.what;
        if (!put) {
            ftp = Login(true);
            ASSERT_TRUE(ftp);
            EXPECT_TRUE(ftp->SetCurrentDirectory(s_emu->uploadDir()));
            continue;
        }
        EXPECT_EQ(ftp->GetRemoteSize("ab12_g.wav"),
                  std::optional<std::uint64_t>(static_cast<std::uint64_t>(row.onServer)))
            << row.what;
        EXPECT_EQ(ReadAll(s_emu->uploadDirLocal() + "/ab12_g.wav"),
                  data.left(row.onServer).toStdString())
            << row.what;
    }
}

TEST_P(CurlFtp, GetReplacesTheLocalFileAndFollowsTheCurrentDirectory)
{
    // Several receive pieces and a part one: each piece is written as it comes.
    const QByteArray data = Pattern(3 * 131072 + 4097);
    s_emu->putFile("/downloads/ab12/letter.rtf", data);
    s_emu->putFile("/downloads/ab12/empty.rtf", QByteArray());
    WriteFile(Local("letter.rtf"), QByteArray(data.size() + 9000, 'x'));
    WriteFile(Local("empty.rtf"), QByteArray("old"));
    auto ftp = Login(false);
    ASSERT_TRUE(ftp);
    EXPECT_TRUE(GetInto(*ftp, "/downloads/ab12//letter.rtf", Local("letter.rtf")));
    EXPECT_TRUE(ReadAll(Local("letter.rtf")) == data.toStdString());

    EXPECT_TRUE(ftp->SetCurrentDirectory("/downloads"));
    EXPECT_TRUE(ftp->SetCurrentDirectory("ab12"));
    EXPECT_TRUE(ftp->FindFile("letter.rtf"));
    EXPECT_TRUE(GetInto(*ftp, "letter.rtf", Local("second.rtf")));
    EXPECT_TRUE(ReadAll(Local("second.rtf")) == data.toStdString());
    WriteFile(Local("fresh.rtf"), QByteArray());  // as a download's temporary is made
    EXPECT_TRUE(GetInto(*ftp, "letter.rtf", Local("fresh.rtf")));
    EXPECT_TRUE(ReadAll(Local("fresh.rtf")) == data.toStdString());
    EXPECT_TRUE(GetInto(*ftp, "empty.rtf", Local("empty.rtf")));
    EXPECT_TRUE(std::filesystem::exists(Local("empty.rtf")));
    EXPECT_EQ(ReadAll(Local("empty.rtf")), "");
    EXPECT_EQ(s_emu->records("ftp_logins").size(), 1);
}

// Transfers one after another on a kept connection, each EPSV the first command of its
// transfer, none preceded by a CWD: none may wait on a poll time-out.
TEST_P(CurlFtp, TransfersOnAKeptConnectionAreNeverStalled)
{
    s_emu->putFile("/top.rtf", QByteArray("top"));
    auto ftp = Login(false);
    ASSERT_TRUE(ftp);
    long worst = 0;
    for (int i = 0; i < 100; ++i) {
        const auto start = Clock::now();
        ASSERT_TRUE(GetInto(*ftp, "/top.rtf", Local("top.rtf")));
        worst = std::max(worst, Ms(Clock::now() - start));
    }
    EXPECT_LT(worst, 500) << "libcurl waited out a poll time-out";
}

// A server that takes names only in its current folder still gets and gives every file, and
// the session learns that once.
TEST_P(CurlFtp, AServerRefusingAbsolutePathsIsGivenNamesInItsFolder)
{
    const QByteArray data = Pattern(30000);
    WriteFile(Local("r.wav"), data);
    s_emu->putFile("/downloads/ab12/d.rtf", data);
    s_emu->setFaults({{"ftp_relative_only", true}});
    auto ftp = Login(true);
    auto down = Login(false);
    ASSERT_TRUE(ftp && down);
    const std::string up = s_emu->uploadDir();
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(PutFrom(*ftp, Local("r.wav"), up + "ab12_r.wav")) << i;
        EXPECT_EQ(ftp->GetRemoteSize(up + "ab12_r.wav"), std::optional<std::uint64_t>(30000));
        EXPECT_TRUE(ftp->FindFile(up + "ab12_r.wav"));
        ASSERT_TRUE(GetInto(*down, "/downloads/ab12/d.rtf", Local("d.rtf"))) << i;
        EXPECT_EQ(ReadAll(Local("d.rtf")), data.toStdString());
    }
    EXPECT_EQ(ReadAll(s_emu->uploadDirLocal() + "/ab12_r.wav"), data.toStdString());
    int refused = 0;
    for (const auto& c : Commands())
        refused += c.toObject()["arg"].toString().startsWith('/') &&
                   c.toObject()["cmd"].toString() != "CWD";
    EXPECT_EQ(refused, 2) << "the refusal is learnt once a session";
}

TEST_P(CurlFtp, FailedOperationsGiveTheirCodesAndLeaveLocalFilesAlone)
{
    WriteFile(Local("keep.rtf"), QByteArray("precious"));
    auto ftp = Login(false);
    ASSERT_TRUE(ftp);
    EXPECT_FALSE(GetInto(*ftp, "/downloads/ab12/missing.rtf", Local("keep.rtf")));
    EXPECT_EQ(ftp->LastError(), 12003u);
    EXPECT_EQ(ReadAll(Local("keep.rtf")), "precious");
    EXPECT_FALSE(GetInto(*ftp, "/downloads/ab12/missing.rtf", Local("new.rtf")));
    EXPECT_FALSE(std::filesystem::exists(Local("new.rtf")));

    // A directory change reaches the server with the next operation, which it then fails.
    EXPECT_TRUE(ftp->SetCurrentDirectory("/no/such/dir"));
    EXPECT_FALSE(ftp->FindFile("x.rtf"));
    EXPECT_EQ(ftp->LastError(), 12003u);
    // The download account may not write.
    WriteFile(Local("a.wav"), Pattern(100));
    EXPECT_FALSE(PutFrom(*ftp, Local("a.wav"), s_emu->uploadDir() + "x.wav"));
    EXPECT_NE(ftp->LastError(), 0u);
    // A name that would smuggle a command onto the control connection never leaves.
    EXPECT_FALSE(GetInto(*ftp, "a\r\nDELE x", Local("x")));
    EXPECT_EQ(ftp->LastError(), 12005u);
    // The connection is still good after all that.
    s_emu->putFile("/downloads/ok.rtf", QByteArray("ok"));
    EXPECT_TRUE(GetInto(*ftp, "/downloads/ok.rtf", Local("ok.rtf")));
}

TEST_P(CurlFtp, RefusedPutAndTransfersCutShortFail)
{
    WriteFile(Local("a.wav"), Pattern(200000));
    auto ftp = Login(true);
    ASSERT_TRUE(ftp);
    s_emu->setFaults({{"ftp_fail_stor", QJsonObject{{"code", 550}}}});
    EXPECT_FALSE(PutFrom(*ftp, Local("a.wav"), s_emu->uploadDir() + "ab12_a.wav"));
    EXPECT_EQ(ftp->LastError(), 12003u);

    s_emu->clearFaults();
    s_emu->putFile("/downloads/big.rtf", Pattern(200000));
    s_emu->setFaults({{"ftp_cut", QJsonObject{{"after", 1000}, {"cmd", "RETR"}}}});
    EXPECT_FALSE(GetInto(*ftp, "/downloads/big.rtf", Local("big.rtf")));
    EXPECT_NE(ftp->LastError(), 0u);
    EXPECT_FALSE(std::filesystem::exists(Local("big.rtf"))) << "partial file left behind";
}

TEST_P(CurlFtp, LoginFailuresAreInternetFailures)
{
    FtpFailure failure;
    auto ftp =
        m_session->GetFtpConnection(s_emu->ftpHost(), "nimbrel", "wrong", 21, GetParam(), &failure);
    EXPECT_FALSE(ftp);
    EXPECT_EQ(failure.code, 12015u);
    EXPECT_NE(failure.message.find("530"), std::string::npos) << failure.message;

    failure = {};
    const std::string dead = "127.0.0.1:" + std::to_string(nettest::ClosedPort());
    EXPECT_FALSE(
        m_session->GetFtpConnection(dead, "nimbrel", "qorulimet4", 21, GetParam(), &failure));
    EXPECT_EQ(failure.code, 12029u);
    EXPECT_FALSE(failure.message.empty());
}

TEST_P(CurlFtp, CancelAbortsARunningTransferAndEveryLaterOne)
{
    s_emu->putFile("/downloads/slow.rtf", Pattern(300000));
    s_emu->setFaults(
        {{"ftp_cut", QJsonObject{{"after", 2000}, {"cmd", "RETR"}, {"mode", "stall"}}}});
    auto ftp = Login(false);
    ASSERT_TRUE(ftp);
    auto get = std::async(std::launch::async,
                          [&] { return GetInto(*ftp, "/downloads/slow.rtf", Local("slow.rtf")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto cancelledAt = Clock::now();
    m_internet->Cancel();
    ASSERT_EQ(get.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_LT(Ms(Clock::now() - cancelledAt), 2000);
    EXPECT_FALSE(get.get());
    EXPECT_EQ(ftp->LastError(), 12017u);
    EXPECT_FALSE(std::filesystem::exists(Local("slow.rtf")));

    const auto start = Clock::now();
    EXPECT_FALSE(ftp->FindFile("slow.rtf"));
    EXPECT_EQ(ftp->LastError(), 12017u);
    FtpFailure failure;
    EXPECT_FALSE(Login(false, &failure));
    EXPECT_EQ(failure.code, 12017u);
    EXPECT_LT(Ms(Clock::now() - start), 200);
}

TEST_P(CurlFtp, CancelAbortsALoginWaitingForTheGreeting)
{
    s_emu->setFaults({{"ftp_delay", QJsonObject{{"ms", 20000}, {"cmd", "CONNECT"}}}});
    FtpFailure failure;
    auto login = std::async(std::launch::async, [&] { return Login(false, &failure); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_internet->Cancel();
    ASSERT_EQ(login.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_FALSE(login.get());
    EXPECT_EQ(failure.code, 12017u);
}

TEST_P(CurlFtp, ASilentServerTimesOut)
{
    m_session->SetTimeouts(1500, 1500, 1500);
    s_emu->putFile("/downloads/slow.rtf", Pattern(300000));
    auto ftp = Login(false);
    ASSERT_TRUE(ftp);
    s_emu->setFaults(
        {{"ftp_cut", QJsonObject{{"after", 2000}, {"cmd", "RETR"}, {"mode", "stall"}}}});
    const auto start = Clock::now();
    EXPECT_FALSE(GetInto(*ftp, "/downloads/slow.rtf", Local("slow.rtf")));
    const long took = Ms(Clock::now() - start);
    EXPECT_EQ(ftp->LastError(), 12002u);
    EXPECT_GE(took, 1400);
    EXPECT_LT(took, 4000);

    s_emu->setFaults({{"ftp_delay", QJsonObject{{"ms", 10000}, {"cmd", "CONNECT"}}}});
    FtpFailure failure;
    const auto loginStart = Clock::now();
    EXPECT_FALSE(Login(false, &failure));
    EXPECT_EQ(failure.code, 12002u);
    EXPECT_LT(Ms(Clock::now() - loginStart), 4000);
}

INSTANTIATE_TEST_SUITE_P(Modes, CurlFtp, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
