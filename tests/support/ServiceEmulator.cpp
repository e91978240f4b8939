#include "support/ServiceEmulator.h"

#include <QJsonDocument>

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef ORBIDEX_EMULATOR_PY
#error "ORBIDEX_EMULATOR_PY must name tools/service/emulator.py"
#endif
#ifndef ORBIDEX_PYTHON
#define ORBIDEX_PYTHON "/usr/bin/python3"
#endif

extern char** environ;

namespace orbidex::test {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error("ServiceEmulator: " + what);
}

std::string makeTempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/orbidex-emu-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        fail("mkdtemp failed: " + std::string(std::strerror(errno)));
    return buf.data();
}

// Reads one line from fd, bounded by a deadline; empty on EOF or time-out.
std::string readLine(int fd, Clock::time_point deadline, std::string& err)
{
    std::string line;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            err = "no ports line before the time-out";
            return {};
        }
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            continue;
        char c[256];
        ssize_t n = ::read(fd, c, sizeof c);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = "emulator exited before printing its ports";
            return {};
        }
        line.append(c, static_cast<size_t>(n));
        auto nl = line.find('\n');
        if (nl != std::string::npos)
            return line.substr(0, nl);
    }
}

size_t appendBody(char* data, size_t size, size_t nmemb, void* userdata)
{
    static_cast<std::string*>(userdata)->append(data, size * nmemb);
    return size * nmemb;
}

struct CurlDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

ServiceEmulator::ServiceEmulator() : ServiceEmulator(Options{}) {}

ServiceEmulator::ServiceEmulator(Options options) : m_options(std::move(options))
{
    static std::once_flag curlInit;
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    start();
}

ServiceEmulator::~ServiceEmulator()
{
    stop();
}

void ServiceEmulator::start()
{
    m_dataDir = makeTempDir();
    m_topDir = m_options.topDir;

    // Both pipes close on exec in every other child we or the test spawn:
    // the emulator must see EOF on stdin as soon as this process is gone.
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        fail("pipe2 failed");
    if (pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        fail("pipe2 failed");
    }

    std::vector<std::string> args = {ORBIDEX_PYTHON,
                                     ORBIDEX_EMULATOR_PY,
                                     "--data",
                                     m_dataDir,
                                     "--top-dir",
                                     m_topDir,
                                     "--parent-pid",
                                     std::to_string(::getpid()),
                                     "--exit-on-stdin-close"};
    if (m_options.verbose)
        args.push_back("--verbose");
    if (m_options.rttMs > 0) {
        args.push_back("--rtt");
        args.push_back(std::to_string(m_options.rttMs));
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    int rc = posix_spawn(&m_pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        m_pid = -1;
        ::close(in[1]);
        ::close(out[0]);
        fail(std::string("cannot run " ORBIDEX_PYTHON ": ") + std::strerror(rc));
    }
    m_stdinFd = in[1];

    std::string err;
    auto deadline = Clock::now() + std::chrono::milliseconds(m_options.startTimeoutMs);
    std::string line = readLine(out[0], deadline, err);
    ::close(out[0]);

    QJsonObject info;
    if (!line.empty()) {
        QJsonParseError pe{};
        info = QJsonDocument::fromJson(QByteArray::fromStdString(line), &pe).object();
        if (pe.error != QJsonParseError::NoError || info.isEmpty())
            err = "unreadable ports line: " + line;
    }
    if (!err.empty()) {
        stop();
        fail(err);
    }
    m_httpPort = info["http_port"].toInt();
    m_httpsPort = info["https_port"].toInt();
    m_ftpPort = info["ftp_port"].toInt();
    m_adminPort = info["admin_port"].toInt();
    m_caFile = info["ca_file"].toString().toStdString();
    m_ftpRoot = info["ftp_root"].toString().toStdString();
}

bool ServiceEmulator::running() const
{
    return m_pid > 0 && ::kill(m_pid, 0) == 0;
}

void ServiceEmulator::stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        bool reaped = false;
        auto deadline = Clock::now() + std::chrono::seconds(3);
        while (Clock::now() < deadline) {
            pid_t r = ::waitpid(m_pid, nullptr, WNOHANG);
            if (r == m_pid || (r < 0 && errno == ECHILD)) {
                reaped = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    if (m_stdinFd >= 0) {
        ::close(m_stdinFd);
        m_stdinFd = -1;
    }
    if (!m_dataDir.empty() && !m_options.keepData) {
        std::error_code ec;
        std::filesystem::remove_all(m_dataDir, ec);
        m_dataDir.clear();
    }
}

std::string ServiceEmulator::httpOrigin() const
{
    return "http://127.0.0.1:" + std::to_string(m_httpPort);
}

std::string ServiceEmulator::httpsOrigin() const
{
    return "https://127.0.0.1:" + std::to_string(m_httpsPort);
}

std::string ServiceEmulator::ftpHost() const
{
    return "127.0.0.1:" + std::to_string(m_ftpPort);
}

std::string ServiceEmulator::ftpUrl(const std::string& path) const
{
    return "ftp://" + ftpHost() + path;
}

std::string ServiceEmulator::uploadDir() const
{
    return "/" + m_topDir + "/nimbreluploads/";
}

std::string ServiceEmulator::uploadDirLocal() const
{
    return m_ftpRoot + "/" + m_topDir + "/nimbreluploads";
}

std::string ServiceEmulator::localPath(const std::string& remotePath) const
{
    return m_ftpRoot + (remotePath.empty() || remotePath[0] != '/' ? "/" : "") + remotePath;
}

QJsonObject ServiceEmulator::admin(const std::string& method, const std::string& path,
                                   const QJsonObject& body) const
{
    std::unique_ptr<CURL, CurlDeleter> h(curl_easy_init());
    if (!h)
        fail("curl_easy_init failed");
    const std::string url = "http://127.0.0.1:" + std::to_string(m_adminPort) + path;
    const std::string payload = QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
    std::string answer;
    std::unique_ptr<curl_slist, SlistDeleter> headers(
        curl_slist_append(nullptr, "Content-Type: application/json"));

    curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &answer);
    if (method == "POST") {
        curl_easy_setopt(h.get(), CURLOPT_POSTFIELDS, payload.c_str());
        curl_easy_setopt(h.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(payload.size()));
        curl_easy_setopt(h.get(), CURLOPT_HTTPHEADER, headers.get());
    } else if (method != "GET") {
        fail("unsupported admin method " + method);
    }

    CURLcode rc = curl_easy_perform(h.get());
    if (rc != CURLE_OK)
        fail(method + " " + path + ": " + curl_easy_strerror(rc));
    long status = 0;
    curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        fail(method + " " + path + " answered " + std::to_string(status) + ": " + answer);
    return QJsonDocument::fromJson(QByteArray::fromStdString(answer)).object();
}

void ServiceEmulator::addAuthor(const std::string& author, const std::string& password,
                                const std::string& sourceDir)
{
    QJsonObject body{{"author", QString::fromStdString(author)},
                     {"password", QString::fromStdString(password)}};
    if (!sourceDir.empty())
        body["source_dir"] = QString::fromStdString(sourceDir);
    admin("POST", "/author", body);
}

std::string ServiceEmulator::addPending(const std::string& author, const std::string& name,
                                        const QByteArray& content, const std::string& fileId)
{
    QJsonObject body{{"author", QString::fromStdString(author)},
                     {"name", QString::fromStdString(name)},
                     {"content_b64", QString::fromLatin1(content.toBase64())}};
    if (!fileId.empty())
        body["fileid"] = QString::fromStdString(fileId);
    return admin("POST", "/pending", body)["fileid"].toString().toStdString();
}

std::string ServiceEmulator::addMissingPending(const std::string& author, const std::string& name,
                                               const std::string& fileId)
{
    QJsonObject body{{"author", QString::fromStdString(author)},
                     {"name", QString::fromStdString(name)},
                     {"store", false}};
    if (!fileId.empty())
        body["fileid"] = QString::fromStdString(fileId);
    return admin("POST", "/pending", body)["fileid"].toString().toStdString();
}

void ServiceEmulator::putFile(const std::string& remotePath, const QByteArray& content)
{
    admin("POST", "/file",
          {{"path", QString::fromStdString(remotePath)},
           {"content_b64", QString::fromLatin1(content.toBase64())}});
}

void ServiceEmulator::setExtensions(const std::string& text)
{
    admin("POST", "/extensions", {{"extensions", QString::fromStdString(text)}});
}

void ServiceEmulator::setFaults(const QJsonObject& faults)
{
    admin("POST", "/fault", faults);
}

void ServiceEmulator::clearFaults()
{
    admin("POST", "/fault/clear");
}

void ServiceEmulator::clearRecords()
{
    admin("POST", "/clear");
}

void ServiceEmulator::reset()
{
    admin("POST", "/reset");
}

QJsonObject ServiceEmulator::state() const
{
    return admin("GET", "/state");
}

}  // namespace orbidex::test
