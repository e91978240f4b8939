// The emulator is what every integration test trusts about the service, so
// it is checked here through the same client library the agent uses.
#include <cstdio>
#include "support/ServiceEmulator.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>

#include <curl/curl.h>

#include <chrono>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <memory>
#include <string>
#include <vector>

using orbidex::test::ServiceEmulator;

namespace {

struct Reply {
    CURLcode rc = CURLE_OK;
    long status = 0;
    std::string body;
};

struct Upload {
    const std::string* data;
    size_t pos = 0;
};

size_t collect(char* p, size_t s, size_t n, void* ud)
{
    static_cast<std::string*>(ud)->append(p, s * n);
    return s * n;
}

size_t feed(char* p, size_t s, size_t n, void* ud)
{
    auto* u = static_cast<Upload*>(ud);
    size_t k = std::min(s * n, u->data->size() - u->pos);
    std::copy_n(u->data->data() + u->pos, k, p);
    u->pos += k;
    return k;
}

enum class Mode { Passive, Active };

// One request on a fresh handle; `upload` switches an FTP URL to STOR.
Reply perform(const std::string& url, const std::string& caFile = {}, Mode mode = Mode::Passive,
              const std::string* upload = nullptr, long timeoutMs = 5000)
{
    std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), curl_easy_cleanup);
    Reply r;
    Upload up{upload};
    curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &r.body);
    if (!caFile.empty())
        curl_easy_setopt(h.get(), CURLOPT_CAINFO, caFile.c_str());
    if (mode == Mode::Active)
        curl_easy_setopt(h.get(), CURLOPT_FTPPORT, "-");
    if (upload) {
        curl_easy_setopt(h.get(), CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(h.get(), CURLOPT_READFUNCTION, feed);
        curl_easy_setopt(h.get(), CURLOPT_READDATA, &up);
        curl_easy_setopt(h.get(), CURLOPT_INFILESIZE_LARGE,
                         static_cast<curl_off_t>(upload->size()));
    }
    r.rc = curl_easy_perform(h.get());
    curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &r.status);
    return r;
}

std::string readFile(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return "<missing " + path + ">";
    return f.readAll().toStdString();
}

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) % 251);
    return s;
}

QJsonObject item(const QJsonArray& a, qsizetype i)
{
    return a.at(i).toObject();
}

const std::string kUp = "nimbrel:qorulimet4@";
const std::string kDown = "nimbreldn:bexomtu@";

class Emulator : public ::testing::Test {
protected:
    static void SetUpTestSuite() { emu = new ServiceEmulator(); }
    static void TearDownTestSuite()
    {
        delete emu;
        emu = nullptr;
    }
    void SetUp() override
    {
        emu->reset();
        emu->addAuthor("ab12", "s3+cr&t pw");
    }
    std::string ftp(const std::string& account, const std::string& path) const
    {
        return "ftp://" + account + emu->ftpHost() + path;
    }
    static ServiceEmulator* emu;
};
ServiceEmulator* Emulator::emu = nullptr;

TEST(EmulatorLifecycle, StartsOnLoopbackPortsAndStopsWithinASecond)
{
    ServiceEmulator e;
    std::string dataDir = e.dataDir();
    EXPECT_TRUE(e.running());
    EXPECT_GT(e.httpPort(), 0);
    EXPECT_NE(e.httpPort(), e.httpsPort());
    EXPECT_NE(e.ftpPort(), e.adminPort());
    EXPECT_TRUE(std::filesystem::is_regular_file(e.caFile()));
    EXPECT_TRUE(std::filesystem::is_directory(e.uploadDirLocal()));
    EXPECT_EQ(e.uploadDir(), "/nimbrel.example/nimbreluploads/");

    pid_t pid = e.pid();
    auto t0 = std::chrono::steady_clock::now();
    e.stop();
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_NE(::kill(pid, 0), 0) << "emulator still alive after stop()";
    EXPECT_FALSE(std::filesystem::exists(dataDir));
    e.stop();  // idempotent
}

// Over the simulated link each exchange costs one round trip, whichever server sends it: a
// kept web connection one per request, a new HTTPS one the TLS flight more, and a get's end
// reply travels with its data.
TEST(EmulatorLink, EachExchangeCostsOneRoundTrip)
{
    constexpr long kRttMs = 200;
    ServiceEmulator::Options options;
    options.rttMs = kRttMs;
    ServiceEmulator e(options);
    e.putFile("/downloads/x.rtf", "x");
    struct Case {
        std::vector<std::string> urls;  // on one handle
        int roundTrips;
    };
    const Case cases[] = {
        {{e.httpOrigin() + "//", e.httpOrigin() + "//"}, 2},
        {{e.httpsOrigin() + "//"}, 2},
        // greeting, USER, PASS, PWD, CWD, EPSV, TYPE, SIZE, RETR
        {{"ftp://nimbreldn:bexomtu@" + e.ftpHost() + "/downloads/x.rtf"}, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.urls[0]);
        std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), curl_easy_cleanup);
        std::string body;
        curl_easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h.get(), CURLOPT_CAINFO, e.caFile().c_str());
        curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &body);
        curl_off_t us = 0;
        for (const std::string& url : c.urls) {
            curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
            ASSERT_EQ(curl_easy_perform(h.get()), CURLE_OK);
            curl_off_t one = 0;
            curl_easy_getinfo(h.get(), CURLINFO_TOTAL_TIME_T, &one);
            us += one;
        }
        EXPECT_GE(us / 1000, c.roundTrips * kRttMs);
        EXPECT_LT(us / 1000, c.roundTrips * kRttMs + kRttMs * 9 / 10);
    }
    EXPECT_EQ(e.records("web_connections").size(), 2);
}

// A test that crashes never runs the destructor; its emulator must still go.
TEST(EmulatorLifecycle, ExitsWhenTheProcessThatStartedItDies)
{
    // Orphans get reparented to us, so we can reap the emulator and know.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        pid_t emuPid = -1;
        char dir[256] = {};
        try {
            auto* orphan = new ServiceEmulator();
            emuPid = orphan->pid();
            std::snprintf(dir, sizeof dir, "%s", orphan->dataDir().c_str());
        } catch (...) {
        }
        (void)!::write(fds[1], &emuPid, sizeof emuPid);
        (void)!::write(fds[1], dir, sizeof dir);
        ::_exit(0);
    }
    ::close(fds[1]);
    pid_t emuPid = -1;
    ASSERT_EQ(::read(fds[0], &emuPid, sizeof emuPid), static_cast<ssize_t>(sizeof emuPid));
    char dir[256] = {};
    ASSERT_EQ(::read(fds[0], dir, sizeof dir), static_cast<ssize_t>(sizeof dir));
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    ASSERT_GT(emuPid, 0);

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    pid_t reaped = 0;
    while (reaped == 0 && std::chrono::steady_clock::now() < deadline) {
        reaped = ::waitpid(emuPid, nullptr, WNOHANG);
        if (reaped == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (reaped == 0) {
        ::kill(emuPid, SIGKILL);
        ::waitpid(emuPid, nullptr, 0);
    }
    EXPECT_EQ(reaped, emuPid) << "emulator outlived the process that started it";
    // Nobody ran the orphan's destructor: its data folder is ours to remove.
    if (std::string(dir).find("orbidex-emu-") != std::string::npos) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
}

TEST_F(Emulator, WebScriptsAnswerAndRecordDecodedQueries)
{
    Reply probe = perform(emu->httpOrigin() + "//");
    ASSERT_EQ(probe.rc, CURLE_OK);
    EXPECT_EQ(probe.status, 200);
    EXPECT_NE(probe.body.find("<html>"), std::string::npos);

    // The password holds "&" and a blank, percent-encoded on the wire.
    const std::string verify = emu->httpsOrigin() + "/nimbrel/authorverify.php?username=ab12&wp=";
    Reply ok = perform(verify + "s3+cr%26t%20pw", emu->caFile());
    ASSERT_EQ(ok.rc, CURLE_OK) << curl_easy_strerror(ok.rc);
    EXPECT_NE(ok.body.find("Username Valid!"), std::string::npos);
    // Unescaped, the "&" cuts the password, as on the real host.
    Reply cut = perform(verify + "s3+cr&t%20pw", emu->caFile());
    EXPECT_EQ(cut.body.find("Username Valid!"), std::string::npos);
    Reply untrusted = perform(verify + "x");
    EXPECT_EQ(untrusted.rc, CURLE_PEER_FAILED_VERIFICATION);

    Reply missing = perform(emu->httpOrigin() + "/nimbrel/nothing.php");
    EXPECT_EQ(missing.status, 404);
    Reply ext = perform(emu->httpOrigin() + "/nimbrel/extverify.php?ext=");
    EXPECT_EQ(ext.body, "dss, wav, rtf, doc, mp3");

    QJsonArray reqs = emu->records("web_requests");
    ASSERT_EQ(reqs.size(), 5);  // the untrusted one never got past TLS
    EXPECT_EQ(item(reqs, 0)["target"].toString(), "//");
    EXPECT_EQ(item(reqs, 1)["scheme"].toString(), "https");
    EXPECT_EQ(item(reqs, 1)["query"].toObject()["wp"].toString(), "s3+cr&t pw");
    EXPECT_EQ(item(reqs, 2)["query"].toObject()["wp"].toString(), "s3+cr");
    EXPECT_EQ(item(reqs, 3)["status"].toInt(), 404);
    EXPECT_LT(item(reqs, 0)["seq"].toInt(), item(reqs, 4)["seq"].toInt());
}

TEST_F(Emulator, DownloadListConfirmationAndNotifications)
{
    std::string id1 = emu->addPending("ab12", "letter.rtf", "one", "34543");
    std::string id2 = emu->addPending("ab12", "memo.wav", "two");
    EXPECT_EQ(id1, "34543");
    const std::string list =
        emu->httpsOrigin() + "/nimbrel/orbidexdload.php?author=ab12&nbupw=s3+cr%26t%20pw";

    Reply r = perform(list, emu->caFile());
    EXPECT_EQ(r.body,
              "countoffiles = 2<br>\r\nSourceDir=/downloads/ab12<br>\r\n"
              "file_1 = \"letter.rtf\"<br>\r\nfileid_1 = 34543<br>\r\n"
              "file_2 = \"memo.wav\"<br>\r\nfileid_2 = " +
                  id2 + "<br>\r\n");
    EXPECT_EQ(perform(list + "x", emu->caFile()).body.find("countoffiles"), std::string::npos);

    perform(emu->httpOrigin() +
            "/nimbrel/nbdlsuccess.php?username=ab12&nbupw=s3+cr%26t%20pw&fileid=34543");
    EXPECT_EQ(perform(list, emu->caFile()).body.substr(0, 16), "countoffiles = 1");
    QJsonArray conf = emu->records("confirmations");
    ASSERT_EQ(conf.size(), 1);
    EXPECT_TRUE(item(conf, 0)["removed"].toBool());

    emu->setFaults({{"list_body", "countoffiles = -1"}});
    EXPECT_EQ(perform(list, emu->caFile()).body, "countoffiles = -1");

    emu->setFaults({{"notify_refuse", QJsonArray{"ab12_bad.wav"}}});
    const std::string notify = emu->httpOrigin() + "/nimbrel/copywav.php?username=";
    EXPECT_NE(perform(notify + "ab12&file=ab12_good.wav&length=61").body.find("Username Valid!"),
              std::string::npos);
    EXPECT_EQ(perform(notify + "ab12&file=ab12_bad.wav&length=0").body.find("Username Valid!"),
              std::string::npos);
    EXPECT_EQ(perform(notify + "zz99&file=zz99_a.wav&length=1").body.find("Username Valid!"),
              std::string::npos);
    QJsonArray notes = emu->records("notifications");
    ASSERT_EQ(notes.size(), 3);
    EXPECT_EQ(item(notes, 0)["length"].toString(), "61");
    EXPECT_TRUE(item(notes, 0)["accepted"].toBool());
    EXPECT_TRUE(item(notes, 1)["refused_by_fault"].toBool());
    EXPECT_FALSE(item(notes, 2)["author_known"].toBool());
}

TEST_F(Emulator, WebFaultsForceStatusAndDelay)
{
    emu->setFaults({{"http_status", QJsonObject{{"status", 500}, {"body", "boom"}}}});
    Reply err = perform(emu->httpOrigin() + "/");
    EXPECT_EQ(err.status, 500);
    EXPECT_EQ(err.body, "boom");

    emu->setFaults({{"http_status", QJsonValue::Null},
                    {"http_delay", QJsonObject{{"ms", 1500}, {"path", "/nimbrel/extverify.php"}}}});
    EXPECT_EQ(perform(emu->httpOrigin() + "/").status, 200);
    Reply slow =
        perform(emu->httpOrigin() + "/nimbrel/extverify.php?ext=", {}, Mode::Passive, nullptr, 300);
    EXPECT_EQ(slow.rc, CURLE_OPERATION_TIMEDOUT);
}

class EmulatorFtp : public Emulator, public ::testing::WithParamInterface<Mode> {};

TEST_P(EmulatorFtp, AccountsStoreAndRetrieveOnlyWhereAllowed)
{
    const Mode mode = GetParam();
    const std::string data = pattern(70000);
    Reply put = perform(ftp(kUp, emu->uploadDir() + "ab12_a.wav"), {}, mode, &data);
    ASSERT_EQ(put.rc, CURLE_OK) << curl_easy_strerror(put.rc);
    EXPECT_EQ(readFile(emu->uploadDirLocal() + "/ab12_a.wav"), data);

    emu->addPending("ab12", "letter.rtf", QByteArray::fromStdString(data));
    Reply get = perform(ftp(kDown, "/downloads/ab12/letter.rtf"), {}, mode);
    ASSERT_EQ(get.rc, CURLE_OK) << curl_easy_strerror(get.rc);
    EXPECT_EQ(get.body, data);

    EXPECT_EQ(perform(ftp(kDown, emu->uploadDir() + "x.wav"), {}, mode, &data).rc,
              CURLE_UPLOAD_FAILED);
    EXPECT_EQ(perform(ftp(kUp, "/downloads/ab12/x.wav"), {}, mode, &data).rc, CURLE_UPLOAD_FAILED);
    EXPECT_EQ(perform(ftp("nimbreldn:wrong@", "/")).rc, CURLE_LOGIN_DENIED);

    QJsonObject st = emu->state();
    QJsonArray ups = st["uploads"].toArray();
    ASSERT_EQ(ups.size(), 1);
    EXPECT_EQ(item(ups, 0)["path"].toString(), "/nimbrel.example/nimbreluploads/ab12_a.wav");
    EXPECT_EQ(item(ups, 0)["size"].toInt(), 70000);
    EXPECT_TRUE(item(ups, 0)["complete"].toBool());
    EXPECT_EQ(st["downloads"].toArray().size(), 1);
    QJsonArray logins = st["ftp_logins"].toArray();
    ASSERT_EQ(logins.size(), 5);
    EXPECT_EQ(item(logins, 0)["user"].toString(), "nimbrel");
    EXPECT_FALSE(item(logins, 4)["ok"].toBool());
    EXPECT_EQ(item(logins, 4)["reason"].toString(), "bad credentials");
    bool sawTransferMode = false;
    for (const auto& c : st["ftp_commands"].toArray()) {
        QString cmd = c.toObject()["cmd"].toString();
        sawTransferMode |= mode == Mode::Active ? (cmd == "EPRT" || cmd == "PORT")
                                                : (cmd == "EPSV" || cmd == "PASV");
    }
    EXPECT_TRUE(sawTransferMode);
}

TEST_P(EmulatorFtp, DataConnectionCutAfterNBytes)
{
    const Mode mode = GetParam();
    const std::string data = pattern(300000);
    emu->addPending("ab12", "big.wav", QByteArray::fromStdString(data));

    emu->setFaults({{"ftp_cut", QJsonObject{{"after", 1000}, {"cmd", "RETR"}}}});
    Reply get = perform(ftp(kDown, "/downloads/ab12/big.wav"), {}, mode);
    EXPECT_NE(get.rc, CURLE_OK);
    EXPECT_EQ(get.body.size(), 1000u);

    emu->setFaults({{"ftp_cut", QJsonObject{{"after", 5000}, {"cmd", "STOR"}}}});
    Reply put = perform(ftp(kUp, emu->uploadDir() + "ab12_big.wav"), {}, mode, &data);
    EXPECT_NE(put.rc, CURLE_OK);
    EXPECT_EQ(readFile(emu->uploadDirLocal() + "/ab12_big.wav"), data.substr(0, 5000));

    QJsonObject st = emu->state();
    ASSERT_EQ(st["downloads"].toArray().size(), 1);
    EXPECT_FALSE(item(st["downloads"].toArray(), 0)["complete"].toBool());
    ASSERT_EQ(st["uploads"].toArray().size(), 1);
    EXPECT_FALSE(item(st["uploads"].toArray(), 0)["complete"].toBool());
}

TEST_F(Emulator, StalledTransferAndDroppedControlConnection)
{
    const std::string data = pattern(200000);
    emu->addPending("ab12", "big.wav", QByteArray::fromStdString(data));
    emu->setFaults({{"ftp_cut", QJsonObject{{"after", 2000}, {"mode", "stall"}}}});
    Reply get = perform(ftp(kDown, "/downloads/ab12/big.wav"), {}, Mode::Passive, nullptr, 400);
    EXPECT_EQ(get.rc, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(get.body.size(), 2000u);

    emu->setFaults({{"ftp_cut", QJsonValue::Null}, {"ftp_drop", QJsonObject{{"cmd", "STOR"}}}});
    Reply put = perform(ftp(kUp, emu->uploadDir() + "ab12_d.wav"), {}, Mode::Passive, &data);
    EXPECT_NE(put.rc, CURLE_OK);
    EXPECT_FALSE(std::filesystem::exists(emu->uploadDirLocal() + "/ab12_d.wav"));

    // The stalled download is recorded as incomplete once the client hung up.
    QJsonArray downs;
    for (int i = 0; i < 50 && downs.isEmpty(); ++i) {
        downs = emu->records("downloads");
        if (downs.isEmpty())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(downs.size(), 1);
    EXPECT_FALSE(item(downs, 0)["complete"].toBool());
}

INSTANTIATE_TEST_SUITE_P(Modes, EmulatorFtp, ::testing::Values(Mode::Passive, Mode::Active),
                         [](const auto& info) {
                             return info.param == Mode::Passive ? "Passive" : "Active";
                         });

TEST_F(Emulator, FtpRefusalsComeAtOnce)
{
    emu->setFaults({{"ftp_refuse_login", true}});
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(perform(ftp(kUp, "/")).rc, CURLE_LOGIN_DENIED);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    QJsonArray logins = emu->records("ftp_logins");
    ASSERT_EQ(logins.size(), 1);
    EXPECT_EQ(item(logins, 0)["reason"].toString(), "refused");

    const std::string data = "abc";
    emu->setFaults({{"ftp_refuse_login", false},
                    {"ftp_fail_stor", QJsonObject{{"file", "ab12_no.wav"}, {"code", 553}}}});
    EXPECT_EQ(perform(ftp(kUp, emu->uploadDir() + "ab12_no.wav"), {}, Mode::Passive, &data).rc,
              CURLE_UPLOAD_FAILED);
    EXPECT_EQ(perform(ftp(kUp, emu->uploadDir() + "ab12_yes.wav"), {}, Mode::Passive, &data).rc,
              CURLE_OK);

    emu->setFaults({{"ftp_delay", QJsonObject{{"ms", 2000}, {"cmd", "PASS"}}}});
    EXPECT_EQ(perform(ftp(kUp, "/"), {}, Mode::Passive, nullptr, 300).rc, CURLE_OPERATION_TIMEDOUT);
}

// A raw control connection, so the test decides when each command goes out.
class RawFtp {
public:
    explicit RawFtp(int port) : m_fd(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd >= 0 && connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~RawFtp()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    RawFtp(const RawFtp&) = delete;
    RawFtp& operator=(const RawFtp&) = delete;

    // The next reply line, or "" when none came within the time.
    std::string reply(int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_fd >= 0 && m_in.find("\r\n") == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char buf[512];
            const ssize_t n = recv(m_fd, buf, sizeof buf, 0);
            if (n <= 0)
                return {};
            m_in.append(buf, static_cast<size_t>(n));
        }
        const size_t eol = m_in.find("\r\n");
        if (eol == std::string::npos)
            return {};
        std::string line = m_in.substr(0, eol);
        m_in.erase(0, eol + 2);
        return line;
    }
    bool send(const std::string& line)
    {
        const std::string s = line + "\r\n";
        return m_fd >= 0 && ::send(m_fd, s.data(), s.size(), MSG_NOSIGNAL) == ssize_t(s.size());
    }

private:
    int m_fd;
    std::string m_in;
};

// An active-mode session that quits after its transfer must leave the descriptor its data
// channel had alone: by then the number may belong to a newer session's control connection.
TEST_F(Emulator, OldActiveSessionQuittingLeavesNewerSessionsServed)
{
    emu->addPending("ab12", "letter.rtf", QByteArray("hello"));
    std::unique_ptr<CURL, void (*)(CURL*)> old(curl_easy_init(), curl_easy_cleanup);
    std::string body;
    curl_easy_setopt(old.get(), CURLOPT_URL, ftp(kDown, "/downloads/ab12/letter.rtf").c_str());
    curl_easy_setopt(old.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(old.get(), CURLOPT_FTPPORT, "-");
    curl_easy_setopt(old.get(), CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(old.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(old.get(), CURLOPT_WRITEDATA, &body);
    ASSERT_EQ(curl_easy_perform(old.get()), CURLE_OK);
    ASSERT_EQ(body, "hello");

    // The data channel is closed now; newer sessions take the lowest free descriptors, one
    // of them the data channel's.
    std::vector<std::unique_ptr<RawFtp>> newer;
    for (int i = 0; i < 4; ++i) {
        newer.push_back(std::make_unique<RawFtp>(emu->ftpPort()));
        ASSERT_EQ(newer.back()->reply(3000).substr(0, 3), "220");
    }
    old.reset();  // QUIT on the old control connection
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (auto& s : newer) {
        ASSERT_TRUE(s->send("NOOP"));
        EXPECT_EQ(s->reply(2000).substr(0, 3), "200");
    }
}

}  // namespace
