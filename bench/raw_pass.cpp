// The physical floor for bench/agent_pass: the least the protocols need for one cycle's files,
// over bare sockets. One FTP login per direction (USER, PASS, TYPE I), then per file only the
// data connection (EPSV or EPRT), STOR or RETR and its end reply: no CWD, no SIZE, no QUIT.
// Notifications and confirmations go as bare GETs over one kept HTTP connection. The probe, the
// author check and the download list, once a cycle, go through libcurl (HTTPS). The archive
// copy and the read-only mark are made as the agent makes them.
//
//   bench_raw HTTP_ORIGIN HTTPS_ORIGIN CA_FILE FTP_HOST TOP_DIR AUTHOR PASSWORD SRC DOWN PASV
//
// Prints one JSON line: {"files_up", "files_down", "cpu_ms"}.
#include "bench_util.h"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bench::Append;
using bench::Archive;
using bench::CpuMs;
using bench::Item;

// host:port of an origin such as "http://127.0.0.1:8080" or "127.0.0.1:21".
sockaddr_in Address(std::string origin)
{
    if (const auto scheme = origin.find("://"); scheme != std::string::npos)
        origin = origin.substr(scheme + 3);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::atoi(origin.substr(origin.rfind(':') + 1).c_str())));
    inet_pton(AF_INET, origin.substr(0, origin.rfind(':')).c_str(), &a.sin_addr);
    return a;
}

int Connect(const sockaddr_in& a)
{
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return s;
}

void SendAll(int s, const std::string& text)
{
    for (std::size_t off = 0; off < text.size();) {
        const ssize_t n = send(s, text.data() + off, text.size() - off, MSG_NOSIGNAL);
        if (n <= 0) {
            std::perror("send");
            std::exit(1);
        }
        off += static_cast<std::size_t>(n);
    }
}

// A socket read line by line or by length, with what was read ahead kept.
struct Reader {
    int s = -1;
    std::string buffered;
    bool Fill()
    {
        char chunk[16384];
        const ssize_t n = recv(s, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffered.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    std::string Line()
    {
        std::size_t end;
        while ((end = buffered.find("\r\n")) == std::string::npos)
            if (!Fill()) {
                std::fprintf(stderr, "connection closed\n");
                std::exit(1);
            }
        std::string line = buffered.substr(0, end);
        buffered.erase(0, end + 2);
        return line;
    }
    std::string Bytes(std::size_t n)
    {
        while (buffered.size() < n)
            if (!Fill())
                std::exit(1);
        std::string out = buffered.substr(0, n);
        buffered.erase(0, n);
        return out;
    }
};

struct Ftp {
    Reader r;
    sockaddr_in server{};
    bool passive = true;

    // The last line of the reply (multi-line replies end with "NNN ").
    std::string Reply(const char* want)
    {
        std::string line;
        do
            line = r.Line();
        while (line.size() < 4 || line[3] != ' ');
        if (line.compare(0, std::strlen(want), want) != 0) {
            std::fprintf(stderr, "FTP: wanted %s, got %s\n", want, line.c_str());
            std::exit(1);
        }
        return line;
    }
    std::string Command(const std::string& cmd, const char* want)
    {
        SendAll(r.s, cmd + "\r\n");
        return Reply(want);
    }
    void Login(const char* user, const char* password)
    {
        r.s = Connect(server);
        Reply("220");
        Command(std::string("USER ") + user, "331");
        Command(std::string("PASS ") + password, "230");
        Command("TYPE I", "200");
    }
    // Runs `command` (STOR or RETR) with a data connection; returns it once the server's 150
    // has come and the connection is up.
    int Transfer(const std::string& command)
    {
        if (passive) {
            const std::string reply = Command("EPSV", "229");
            const std::size_t bars = reply.find("|||");
            sockaddr_in data = server;
            data.sin_port = htons(static_cast<uint16_t>(std::atoi(reply.c_str() + bars + 3)));
            const int d = Connect(data);
            Command(command, "1");
            return d;
        }
        const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local = server;
        local.sin_port = 0;
        socklen_t len = sizeof local;
        bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local);
        listen(listener, 1);
        getsockname(listener, reinterpret_cast<sockaddr*>(&local), &len);
        Command("EPRT |1|127.0.0.1|" + std::to_string(ntohs(local.sin_port)) + "|", "200");
        Command(command, "1");
        const int d = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        close(listener);
        return d;
    }
};

struct Http {
    Reader r;
    std::string host;
    std::string Get(const std::string& target)
    {
        SendAll(r.s, "GET " + target + " HTTP/1.1\r\nHost: " + host +
                         "\r\nUser-Agent: InetURL/1.0\r\nAccept: */*\r\n\r\n");
        std::size_t length = 0;
        for (std::string line = r.Line(); !line.empty(); line = r.Line())
            if (strncasecmp(line.c_str(), "Content-Length:", 15) == 0)
                length = std::strtoul(line.c_str() + 15, nullptr, 10);
        return r.Bytes(length);
    }
};


std::string CurlGet(const std::string& url, const std::string& ca)
{
    CURL* h = curl_easy_init();
    std::string body;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(h);
    curl_easy_cleanup(h);
    return body;
}




}  // namespace

int main(int argc, char** argv)
{
    if (argc != 11) {
        std::fprintf(stderr, "usage: bench_raw HTTP HTTPS CA FTP_HOST TOP AUTHOR PASSWORD SRC DOWN PASV\n");
        return 2;
    }
    const std::string http = argv[1], https = argv[2], ca = argv[3], author = argv[6],
                      password = argv[7], src = argv[8], down = argv[9];
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const double cpu0 = CpuMs();
    CurlGet(http + "//", ca);
    if (CurlGet(https + "/nimbrel/authorverify.php?username=" + author + "&wp=" + password, ca)
            .find("Username Valid!") == std::string::npos) {
        std::fprintf(stderr, "author check failed\n");
        return 1;
    }
    Http web;
    web.r.s = Connect(Address(http));
    web.host = http.substr(http.find("://") + 3);
    Ftp ftp;
    ftp.server = Address(argv[4]);
    ftp.passive = std::atoi(argv[10]) > 0;

    std::vector<std::string> names;
    if (DIR* d = opendir(src.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_type == DT_REG)
                names.emplace_back(e->d_name);
        closedir(d);
    }
    const std::string uploadDir = std::string("/") + argv[5] + "/nimbreluploads/";
    mkdir((src + "tolvane").c_str(), 0777);
    int up = 0;
    if (!names.empty())
        ftp.Login("nimbrel", "qorulimet4");
    for (const std::string& name : names) {
        const std::string remote = author + "_" + name;
        const int file = open((src + name).c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        fstat(file, &st);
        const int data = ftp.Transfer("STOR " + uploadDir + remote);
        for (off_t off = 0; off < st.st_size;)
            if (sendfile(data, file, &off, static_cast<std::size_t>(st.st_size - off)) <= 0)
                return 1;
        close(file);
        close(data);
        ftp.Reply("226");
        if (web.Get("/nimbrel/copywav.php?username=" + author + "&file=" + remote + "&length=0")
                    .find("Username Valid!") != std::string::npos &&
            Archive(src + name, src + "tolvane/" + name))
            ++up;
    }
    if (ftp.r.s >= 0)
        close(ftp.r.s);

    const std::string list =
        CurlGet(https + "/nimbrel/orbidexdload.php?author=" + author + "&nbupw=" + password, ca);
    const int count = std::atoi(Item(list, "countoffiles", false).c_str());
    const std::string sourceDir = Item(list, "SourceDir", false);
    int got = 0;
    if (count > 0)
        ftp.Login("nimbreldn", "bexomtu");
    for (int n = 1; n <= count; ++n) {
        const std::string name = Item(list, "file_" + std::to_string(n) + " ", true);
        const std::string id = Item(list, "fileid_" + std::to_string(n) + " ", false);
        const int data = ftp.Transfer("RETR " + sourceDir + "/" + name);
        const int file = open((down + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        char chunk[131072];
        for (ssize_t r; (r = recv(data, chunk, sizeof chunk, 0)) > 0;)
            if (write(file, chunk, static_cast<std::size_t>(r)) != r)
                return 1;
        close(data);
        if (close(file) != 0)
            return 1;
        ftp.Reply("226");
        web.Get("/nimbrel/nbdlsuccess.php?username=" + author + "&nbupw=" + password +
                "&fileid=" + id);
        ++got;
    }
    std::printf("{\"files_up\": %d, \"files_down\": %d, \"cpu_ms\": %.1f}\n", up, got,
                CpuMs() - cpu0);
    curl_global_cleanup();
    return 0;
}
