// Same work for bench/agent_pass: the protocol work of one agent cycle done by plain libcurl in
// one process, with nothing else around it. Probe, author check, then one login for the uploads
// and per file of the source folder on it: data connection, (TYPE once), STOR, SIZE; the
// upload notification, the archive copy and the read-only mark; then the download list, one
// login for the downloads and per listed file data connection, SIZE, RETR, and the
// confirmation. Web requests share one handle, so one connection per host, as the agent's do.
//
//   bench_floor HTTP_ORIGIN HTTPS_ORIGIN CA_FILE FTP_HOST TOP_DIR AUTHOR PASSWORD SRC DOWN PASV
//
// Prints one JSON line: {"files_up", "files_down", "cpu_ms"}; the wall times are taken from
// the service's records by the caller, as for the other clients.
#include "bench_util.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::Append;
using bench::Archive;
using bench::CpuMs;
using bench::Item;

struct Args {
    std::string http, https, ca, ftp, top, author, password, src, down;
    bool passive = true;
};

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using List = std::unique_ptr<curl_slist, ListDeleter>;


size_t ToFile(char* data, size_t size, size_t count, void* user)
{
    return std::fwrite(data, 1, size * count, static_cast<std::FILE*>(user));
}

std::string Get(const Args& a, const std::string& url)
{
    static Easy h(curl_easy_init());  // one handle: its connections stay for the next request
    curl_easy_reset(h.get());
    std::string body;
    curl_easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(h.get(), CURLOPT_CAINFO, a.ca.c_str());
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(h.get()) != CURLE_OK)
        return {};
    return body;
}

Easy FtpLogin(const Args& a, bool upload)
{
    Easy h(curl_easy_init());
    CURL* e = h.get();
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_USERNAME, upload ? "nimbrel" : "nimbreldn");
    curl_easy_setopt(e, CURLOPT_PASSWORD, upload ? "qorulimet4" : "bexomtu");
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    if (!a.passive)
        curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(e, CURLOPT_URL, ("ftp://" + a.ftp + "/").c_str());
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    if (curl_easy_perform(e) != CURLE_OK)
        return nullptr;
    curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
    return h;
}

bool Put(const Args& a, const Easy& h, const std::string& local, const std::string& remoteDir,
         const std::string& remoteName)
{
    std::FILE* in = std::fopen(local.c_str(), "rb");
    if (!h || !in) {
        if (in)
            std::fclose(in);
        return false;
    }
    CURL* e = h.get();
    List size(curl_slist_append(nullptr, ("*SIZE " + remoteDir + remoteName).c_str()));
    char* escaped = curl_easy_escape(e, remoteName.c_str(), 0);
    const std::string url = "ftp://" + a.ftp + "/%2F" + remoteDir.substr(1) + escaped;
    curl_free(escaped);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_POSTQUOTE, size.get());
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_READDATA, in);
    const bool ok = curl_easy_perform(e) == CURLE_OK;
    curl_easy_setopt(e, CURLOPT_POSTQUOTE, nullptr);
    std::fclose(in);
    return ok;
}

bool Fetch(const Args& a, const Easy& h, const std::string& remoteDir, const std::string& name,
           const std::string& local)
{
    std::FILE* out = std::fopen(local.c_str(), "wb");
    if (!h || !out) {
        if (out)
            std::fclose(out);
        return false;
    }
    CURL* e = h.get();
    char* escaped = curl_easy_escape(e, name.c_str(), 0);
    const std::string url = "ftp://" + a.ftp + "/%2F" + remoteDir.substr(1) + "/" + escaped;
    curl_free(escaped);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &ToFile);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, out);
    const bool ok = curl_easy_perform(e) == CURLE_OK;
    return std::fclose(out) == 0 && ok;
}




}  // namespace

int main(int argc, char** argv)
{
    if (argc != 11) {
        std::fprintf(
            stderr,
            "usage: bench_floor HTTP HTTPS CA FTP_HOST TOP AUTHOR PASSWORD SRC DOWN PASV\n");
        return 2;
    }
    const Args a{argv[1], argv[2], argv[3], argv[4], argv[5],
                 argv[6], argv[7], argv[8], argv[9], std::atoi(argv[10]) > 0};
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const double cpu0 = CpuMs();
    if (Get(a, a.http + "//").empty() ||
        Get(a, a.https + "/nimbrel/authorverify.php?username=" + a.author + "&wp=" + a.password)
                .find("Username Valid!") == std::string::npos) {
        std::fprintf(stderr, "probe or author check failed\n");
        return 1;
    }
    std::vector<std::string> names;
    if (DIR* d = opendir(a.src.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_type == DT_REG)
                names.emplace_back(e->d_name);
        closedir(d);
    }
    const std::string uploadDir = "/" + a.top + "/nimbreluploads/";
    mkdir((a.src + "tolvane").c_str(), 0777);
    int up = 0;
    {
    const Easy upload = names.empty() ? nullptr : FtpLogin(a, true);  // QUIT as it goes
    for (const std::string& name : names) {
        const std::string remote = a.author + "_" + name;
        if (!Put(a, upload, a.src + name, uploadDir, remote))
            continue;
        const std::string answer = Get(a, a.http + "/nimbrel/copywav.php?username=" + a.author +
                                              "&file=" + remote + "&length=0");
        if (answer.find("Username Valid!") != std::string::npos &&
            Archive(a.src + name, a.src + "tolvane/" + name))
            ++up;
    }
    }
    const std::string list =
        Get(a, a.https + "/nimbrel/orbidexdload.php?author=" + a.author + "&nbupw=" + a.password);
    const int count = std::atoi(Item(list, "countoffiles", false).c_str());
    const std::string sourceDir = Item(list, "SourceDir", false);
    int down = 0;
    const Easy download = count > 0 ? FtpLogin(a, false) : nullptr;
    for (int n = 1; n <= count; ++n) {
        const std::string name = Item(list, "file_" + std::to_string(n) + " ", true);
        const std::string id = Item(list, "fileid_" + std::to_string(n) + " ", false);
        if (!Fetch(a, download, sourceDir, name, a.down + name))
            continue;
        Get(a, a.http + "/nimbrel/nbdlsuccess.php?username=" + a.author + "&nbupw=" + a.password +
                   "&fileid=" + id);
        ++down;
    }
    std::printf("{\"files_up\": %d, \"files_down\": %d, \"cpu_ms\": %.1f}\n", up, down,
                CpuMs() - cpu0);
    return 0;
}
