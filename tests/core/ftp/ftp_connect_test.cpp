// ConnectFtp and its retries: accounts, modes, and what the status bar and tray show on each
// outcome.
#include "core/ftp/FtpConnect.h"
#include "core/ftp/MyInternetSession.h"
#include "support/EmulatorSuite.h"
#include "support/cycle_util.h"
#include "support/FakeService.h"
#include "support/NetTestSupport.h"
#include "support/RecordingEvents.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <thread>

namespace {

using orbidex::test::ServiceEmulator;
const std::string kConnecting = "Connecting to ftp (Attempt 1 of 5)";

class ConnectFtpLive : public orbidex::test::EmulatorSuite<> {
protected:
    void SetUp() override
    {
        EmulatorSuite::SetUp();
        m_session = OpenTransferSession(*m_internet);
        ASSERT_TRUE(m_session);
        Display().SetStatusText(kConnecting);
    }
    CRecordingDisplay& Display() { return *m_fx.display; }
    int Connect(char account, int32_t pasv, const std::string& host = {})
    {
        return ConnectFtp(m_session->Session(), account, host.empty() ? s_emu->ftpHost() : host,
                          pasv, m_connection, &m_why);
    }
    QString LastLoginUser() const
    {
        const QJsonArray logins = s_emu->records("ftp_logins");
        return logins.isEmpty() ? QString() : logins.last().toObject()["user"].toString();
    }

    nettest::DisplayFixture m_fx;
    std::unique_ptr<CMyInternetSession> m_session;
    CFakeService m_before;  // hands out a connection that stands for one there before
    std::unique_ptr<IFtpConnection> m_connection;
    std::string m_why;  // the layer's message of the last failed Connect
};

TEST_F(ConnectFtpLive, OnlyLowerCaseUSelectsTheUploadAccount)
{
    const std::pair<char, const char*> cases[] = {{'u', "nimbrel"},
                                                  {'d', "nimbreldn"},
                                                  {'U', "nimbreldn"},
                                                  {' ', "nimbreldn"},
                                                  {'x', "nimbreldn"}};
    for (const auto& [code, user] : cases) {
        m_connection.reset();
        EXPECT_EQ(Connect(code, 1), 0) << code;
        EXPECT_TRUE(m_connection) << code;
        EXPECT_EQ(LastLoginUser().toStdString(), user) << "account code '" << code << "'";
    }
    // Success leaves the caller's status text.
    EXPECT_EQ(Display().StatusTexts(), std::vector<std::string>{kConnecting});
}

TEST_F(ConnectFtpLive, PositivePasvIsPassiveAnythingElseActive)
{
    const std::pair<int32_t, bool> cases[] = {{1, true}, {7, true}, {0, false}, {-1, false}};
    for (const auto& [pasv, passive] : cases) {
        s_emu->clearRecords();
        // Closed first, as the transfer passes do: pyftpdlib 1.5.7 unregisters a stale file
        // descriptor of an active-mode data channel at QUIT, which can be a newer session's.
        m_connection.reset();
        ASSERT_EQ(Connect('d', pasv), 0);
        m_connection->FindFile("anything");
        bool sawPassive = false;
        bool sawActive = false;
        for (const auto& c : s_emu->records("ftp_commands")) {
            const QString cmd = c.toObject()["cmd"].toString();
            sawPassive |= cmd == "EPSV" || cmd == "PASV";
            sawActive |= cmd == "EPRT" || cmd == "PORT";
        }
        EXPECT_EQ(sawPassive, passive) << "PASV " << pasv;
        EXPECT_EQ(sawActive, !passive) << "PASV " << pasv;
    }
}

TEST_F(ConnectFtpLive, ARefusedLoginShowsTheLayersMessageAndDropsTheConnection)
{
    s_emu->setFaults({{"ftp_refuse_login", true}});
    m_connection = m_before.Connection();
    EXPECT_EQ(Connect('u', 1), 1);
    EXPECT_FALSE(m_connection);
    EXPECT_NE(m_why.find("530"), std::string::npos) << m_why;
    EXPECT_EQ(s_emu->records("ftp_logins").size(), 1) << "exactly one attempt";
}

// A kept session the server closed (its 421 between two commands) is not taken for the next file.
TEST_F(ConnectFtpLive, ASessionTheServerClosedIsNotAlive)
{
    ASSERT_EQ(Connect('u', 1), 0);
    EXPECT_TRUE(m_connection->IsAlive());
    s_emu->setFaults({{"ftp_hangup", QJsonObject{{"cmd", "SIZE"}}}});
    m_connection->GetRemoteSize("x.wav");
    EXPECT_TRUE(WaitFor([&] { return !m_connection->IsAlive(); }, 2000));
}

TEST_F(ConnectFtpLive, NothingListeningIsAnInternetFailure)
{
    m_connection = m_before.Connection();
    const std::string dead = "127.0.0.1:" + std::to_string(nettest::ClosedPort());
    EXPECT_EQ(Connect('d', 0, dead), 1);
    EXPECT_FALSE(m_connection);
    EXPECT_NE(m_why.find("onnect"), std::string::npos) << m_why;
}

TEST(ConnectFtpScripted, AFailureThatIsNotAnInternetFailureLeavesReasonAndConnection)
{
    CFakeService internet;
    internet.faults.push_back({.op = CFakeService::Op::Login, .failure = {0, "a file error"}});
    auto session = internet.OpenSession("x", 1);
    std::unique_ptr<IFtpConnection> connection = internet.Connection();
    IFtpConnection* before = connection.get();
    std::string why = kConnecting;
    EXPECT_EQ(ConnectFtp(*session, 'u', "h", 1, connection, &why), 1);
    EXPECT_EQ(connection.get(), before);
    EXPECT_EQ(why, kConnecting);
}

TEST(ConnectFtpScripted, ALongMessageIsCutToTheStatusBuffer)
{
    nettest::DisplayFixture fx;
    CFakeService internet;
    internet.faults.push_back(
        {.op = CFakeService::Op::Login,
         .failure = {12029, std::string(1020, 'x') + "\xC3\xA9\xC3\xA9tail"}});
    auto session = internet.OpenSession("x", 1);
    std::unique_ptr<IFtpConnection> connection;
    const std::atomic<bool> cancelled{false};
    ConnectFtpWithRetries(fx.display->Lines(), *session, 'd', "h", 0, cancelled, connection);
    // 1023 bytes at most, and never half a character.
    ASSERT_GE(fx.display->StatusTexts().size(), 2u);
    EXPECT_EQ(fx.display->StatusTexts()[1], std::string(1020, 'x') + "\xC3\xA9");
}

TEST(ConnectFtpWithRetries, FiveAttemptsEachAnnouncedThenTheFailureSaidOnce)
{
    const struct {
        int refused;  // logins refused before one succeeds
        bool cancelledBefore;
        int attempts;
    } cases[] = {{CFakeService::kEvery, false, 5}, {2, false, 3}, {4, false, 5}, {0, true, 0}};
    for (const auto& c : cases) {
        nettest::DisplayFixture fx;
        CFakeService internet;
        internet.faults.push_back(
            {.op = CFakeService::Op::Login, .count = c.refused, .failure = CFakeService::kRefused});
        auto session = internet.OpenSession("x", 1);
        std::atomic<bool> cancelled{c.cancelledBefore};
        std::unique_ptr<IFtpConnection> connection = internet.Connection();
        connection->Close();  // the server's end of an earlier session
        const bool connected = ConnectFtpWithRetries(fx.display->Lines(), *session, kDownloadAccount,
                                                     "h:21", 1, cancelled, connection);
        EXPECT_EQ(connected, c.attempts > c.refused);
        EXPECT_EQ(connection != nullptr, connected);
        std::vector<std::string> want;
        for (int i = 1; i <= c.attempts; ++i) {
            want.push_back("Connecting to h:21 (Attempt " + std::to_string(i) + " of 5)");
            if (i <= c.refused)
                want.push_back("Connection refused");
        }
        if (!connected && !c.cancelledBefore)
            want.push_back("Failed to connect to server");
        EXPECT_EQ(fx.display->StatusTexts(), want) << c.refused;
        EXPECT_EQ(internet.Seen().logins, std::vector<std::string>(c.attempts, "nimbreldn"));
    }
}

// Exit during a login: the flag is set, then the internet layer cancelled (as the cycle's owner
// does); the attempt ends and no further one starts.
TEST(ConnectFtpWithRetries, ExitDuringAnAttemptStartsNoOther)
{
    nettest::DisplayFixture fx;
    CFakeService internet;
    internet.faults.push_back({.op = CFakeService::Op::Login, .hang = true});
    auto session = internet.OpenSession("x", 1);
    std::atomic<bool> cancelled{false};
    std::unique_ptr<IFtpConnection> connection;
    std::thread worker([&] {
        EXPECT_FALSE(ConnectFtpWithRetries(fx.display->Lines(), *session, kUploadAccount, "h", 1, cancelled,
                                           connection));
    });
    EXPECT_TRUE(WaitFor([&] { return internet.Seen().hanging == 1; }, 5000));
    cancelled = true;
    internet.Cancel();
    worker.join();
    EXPECT_EQ(internet.Seen().logins, std::vector<std::string>{"nimbrel"});
    EXPECT_EQ(
        fx.display->StatusTexts(),
        (std::vector<std::string>{"Connecting to h (Attempt 1 of 5)", "Operation cancelled"}));
}

TEST(TransferSession, IsTheApplicationsWithFortySecondTimeouts)
{
    CFakeService internet;
    auto session = OpenTransferSession(internet);
    ASSERT_TRUE(session);
    const CFakeService::SessionRecord opened = internet.Seen().sessions.back();
    EXPECT_EQ(opened.agent, "Nimbrel Ravlet");
    EXPECT_EQ(opened.context, 1u);
    EXPECT_EQ(opened.timeouts[0], 40000);
    EXPECT_EQ(opened.timeouts[1], 40000);
    EXPECT_EQ(opened.timeouts[2], 40000);
}

}  // namespace

// A server that answers 530 is up: the author hears of a refused login, not of a network fault.
TEST_F(ConnectFtpLive, TheRetriesTellARefusedLoginFromAServerThatIsNotThere)
{
    s_emu->setFaults({{"ftp_refuse_login", true}});
    const std::string dead = "127.0.0.1:" + std::to_string(nettest::ClosedPort());
    const struct {
        std::string host;
        EEvent expected;
    } rows[] = {{s_emu->ftpHost(), EEvent::FtpLoginRefused}, {dead, EEvent::FtpUnreachable}};
    for (const auto& row : rows) {
        CRecordingEvents events(Display());
        const std::atomic<bool> cancelled{false};
        EXPECT_FALSE(ConnectFtpWithRetries(events, m_session->Session(), 'u', row.host, 1,
                                           cancelled, m_connection));
        EXPECT_EQ(events.Kinds(), std::vector<EEvent>{row.expected}) << row.host;
    }
}
