// Whole cycles, passive and active, against a production FTP server (proFTPD from Debian,
// started here on loopback with its own user file), the emulator serving only the web host:
// what works against the emulator works against a real server.
#include "core/cycle/Automation.h"
#include "support/NetTestSupport.h"
#include "support/cycle_util.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <arpa/inet.h>
#include <crypt.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using orbidex::test::ServiceEmulator;

constexpr const char* kProftpd = "/usr/sbin/proftpd";

bool Accepts(int port)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// proFTPD in the foreground, chrooted to `root`, with the service's two accounts in a user
// file of its own. It needs root to chroot and to log users in.
class CProftpd {
public:
    explicit CProftpd(const std::string& dir) : m_dir(dir), m_root(dir + "/ftp")
    {
        fs::create_directories(m_root + "/nimbrel.example/nimbreluploads");
        std::ofstream users(m_dir + "/users");
        users << "nimbrel:" << crypt("qorulimet4", "$6$orbidex$") << ":0:0::" << m_root
              << ":/bin/false\n"
              << "nimbreldn:" << crypt("bexomtu", "$6$orbidex$") << ":0:0::" << m_root
              << ":/bin/false\n";
        users.close();
        fs::permissions(m_dir + "/users", fs::perms::owner_read | fs::perms::owner_write);
        for (int tries = 0; tries < 3 && m_pid < 0; ++tries)
            Start(nettest::ClosedPort());  // free a moment ago
    }
    ~CProftpd()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool Running() const { return m_pid > 0; }
    int Port() const { return m_port; }
    const std::string& Root() const { return m_root; }
    // How often the server heard `command` (e.g. "USER ").
    int Heard(const std::string& command) const
    {
        const std::string log = ReadAll(m_dir + "/commands.log");
        int count = 0;
        for (auto at = log.find("\"" + command); at != std::string::npos;
             at = log.find("\"" + command, at + 1))
            ++count;
        return count;
    }

private:
    void Start(int port)
    {
        const std::string conf = m_dir + "/proftpd.conf";
        std::ofstream(conf)
            << "ServerType standalone\nDefaultServer on\nPort " << port
            << "\nDefaultAddress 127.0.0.1\nUseIPv6 off\nUser root\nGroup root\nRootLogin on\n"
            << "PidFile " << m_dir << "/pid\nScoreboardFile " << m_dir << "/scoreboard\n"
            << "DelayTable none\nWtmpLog off\nTransferLog none\nUseReverseDNS off\n"
            << "SystemLog " << m_dir << "/system.log\nAuthOrder mod_auth_file.c\n"
            << "ExtendedLog " << m_dir << "/commands.log ALL\n"
            << "AuthUserFile " << m_dir << "/users\nAuthPAM off\nRequireValidShell off\n"
            << "DefaultRoot " << m_root << "\nAllowOverwrite on\n"
            << "<Directory " << m_root << "/*>\n  <Limit WRITE>\n    DenyAll\n  </Limit>\n"
            << "</Directory>\n<Directory " << m_root << "/nimbrel.example/nimbreluploads>\n"
            << "  <Limit WRITE>\n    AllowUser nimbrel\n    DenyAll\n  </Limit>\n</Directory>\n";
        char* argv[] = {const_cast<char*>(kProftpd),     const_cast<char*>("-n"),
                        const_cast<char*>("-q"),         const_cast<char*>("-c"),
                        const_cast<char*>(conf.c_str()), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, kProftpd, nullptr, nullptr, argv, environ) != 0)
            return;
        for (int waited = 0; waited < 5000; waited += 20) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return;  // gave up, the port taken perhaps
            if (Accepts(port)) {
                m_pid = pid;
                m_port = port;
                return;
            }
            usleep(20000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    std::string m_dir;
    std::string m_root;
    pid_t m_pid = -1;
    int m_port = 0;
};

class RealFtpServer : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (access(kProftpd, X_OK) != 0)
            GTEST_SKIP() << "proFTPD is not installed (tools/setup installs it)";
        if (geteuid() != 0)
            GTEST_SKIP() << "proFTPD needs root here to chroot and log users in";
        m_ftp = std::make_unique<CProftpd>(m_dir.path().toStdString());
        ASSERT_TRUE(m_ftp->Running()) << ReadAll(m_dir.path().toStdString() + "/system.log");
        m_emu.addAuthor("ab12", "secret");
        m_ep = orbidex::test::EndpointsFor(m_emu);
        m_ep.ftpHost = "127.0.0.1:" + std::to_string(m_ftp->Port());
        m_internet = CreateInternet(m_emu.caFile());
        fs::create_directories(m_src);
        fs::create_directories(m_down);
        CSettings s = CycleSettings(m_src, m_down);
        s.PASV = GetParam();
        s.Dir[1] = m_src;
        s.Ext[1] = "rtf";
        m_record.Replace(s);
        m_lines = std::make_unique<CEventWriter>(m_display, nullptr, m_ep.supportEmail);
        m_auto = std::make_unique<CAutomation>(*m_lines, m_internet.get(), m_ep, m_record);
        m_auto->SetSettleTime(0);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CProftpd> m_ftp;
    ServiceEmulator m_emu;
    std::string m_src = m_dir.path().toStdString() + "/src/";
    std::string m_down = m_dir.path().toStdString() + "/down/";
    CRecordingDisplay m_display{m_dir.path().toStdString() + "/Orbidex.log"};
    std::unique_ptr<CEventWriter> m_lines;  // made with the endpoints
    CEndpoints m_ep;
    std::unique_ptr<IInternet> m_internet;
    CSettingsRecord m_record;
    std::unique_ptr<CAutomation> m_auto;
};

TEST_P(RealFtpServer, WholeCycleUploadsAnnouncesArchivesDownloadsAndConfirms)
{
    ASSERT_TRUE(WriteWav(m_src + "memo.wav", 489600));  // 61.2 s
    WriteText(m_src + "letter.rtf", std::string(300000, '\r') + "end");
    const std::string docs = m_ftp->Root() + "/downloads/ab12/";
    fs::create_directories(docs);
    WriteText(docs + "reply one.rtf", std::string(70000, '\n') + "reply");
    WriteText(docs + "empty.rtf", "");
    m_emu.setFaults({{"list_body",
                      "countoffiles = 3<br>\r\nSourceDir=/downloads/ab12<br>\r\n"
                      "file_1 = \"reply one.rtf\"<br>\r\nfileid_1 = 501<br>\r\n"
                      "file_2 = \"empty.rtf\"<br>\r\nfileid_2 = 502<br>\r\n"
                      "file_3 = \"missing.rtf\"<br>\r\nfileid_3 = 503<br>\r\n"}});

    m_auto->StartAutomation();
    ASSERT_TRUE(WaitFor([this] { return !m_auto->IsBusy(); }, 60000));

    const std::string up = m_ftp->Root() + "/nimbrel.example/nimbreluploads/";
    for (const char* name : {"memo.wav", "letter.rtf"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadAll(up + "ab12_" + name), ReadAll(m_src + name));
        EXPECT_TRUE(fsys::IsReadOnly(m_src + name));
        EXPECT_EQ(ReadAll(m_src + "tolvane/" + name), ReadAll(m_src + name));
    }
    std::vector<std::string> notified;
    for (const QJsonObject& n : Objects(m_emu.records("notifications")))
        notified.push_back(n["file"].toString().toStdString() + "=" +
                           n["length"].toString().toStdString());
    EXPECT_EQ(notified, (std::vector<std::string>{"ab12_memo.wav=61", "ab12_letter.rtf=0"}));

    EXPECT_EQ(ReadAll(m_down + "reply one.rtf"), ReadAll(docs + "reply one.rtf"));
    EXPECT_TRUE(fs::exists(m_down + "empty.rtf"));
    EXPECT_FALSE(fs::exists(m_down + "missing.rtf"));
    std::vector<std::string> confirmed;
    for (const QJsonObject& c : Objects(m_emu.records("confirmations")))
        confirmed.push_back(c["fileid"].toString().toStdString());
    EXPECT_EQ(confirmed, (std::vector<std::string>{"501", "502"}));
    const std::string log = ReadAll(m_dir.path().toStdString() + "/Orbidex.log");
    EXPECT_EQ(log.find("Upload Fail"), std::string::npos) << log;
    // The one listed file that the server lacks is the one failure.
    EXPECT_EQ(log.find("Download Failed"), log.rfind("Download Failed")) << log;
    EXPECT_NE(log.find("missing.rtf not found on Server"), std::string::npos) << log;
    // One session for the uploads, one for the downloads, the failed get included.
    EXPECT_EQ(m_ftp->Heard("USER "), 2) << ReadAll(m_dir.path().toStdString() + "/commands.log");
    EXPECT_EQ(m_ftp->Heard("STOR "), 2);
}

INSTANTIATE_TEST_SUITE_P(Modes, RealFtpServer, ::testing::Values(1, 0),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
