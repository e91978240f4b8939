#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <string>
#include <sys/types.h>

namespace orbidex::test {

// The local service emulator (tools/service/emulator.py) as a test fixture:
// the constructor starts it on fresh loopback ports with a fresh data folder,
// the destructor stops it and removes the folder.
//
//   ServiceEmulator emu;
//   emu.addAuthor("ab12", "secret");
//   endpoints.httpsOrigin = emu.httpsOrigin();   // trust emu.caFile()
//   ... run a cycle ...
//   QJsonArray notes = emu.state()["notifications"].toArray();
//
// Failures to start or to talk to the admin API throw std::runtime_error.
class ServiceEmulator {
public:
    struct Options {
        std::string topDir = "nimbrel.example";
        bool keepData = false;  // leave the data folder for inspection
        bool verbose = false;   // emulator logs to our stderr
        int startTimeoutMs = 10000;
        int rttMs = 0;  // the simulated link's round trip (--rtt)
    };

    ServiceEmulator();
    explicit ServiceEmulator(Options options);
    ~ServiceEmulator();
    ServiceEmulator(const ServiceEmulator&) = delete;
    ServiceEmulator& operator=(const ServiceEmulator&) = delete;

    int httpPort() const { return m_httpPort; }
    int httpsPort() const { return m_httpsPort; }
    int ftpPort() const { return m_ftpPort; }
    int adminPort() const { return m_adminPort; }
    pid_t pid() const { return m_pid; }

    std::string httpOrigin() const;                     // "http://127.0.0.1:PORT"
    std::string httpsOrigin() const;                    // "https://127.0.0.1:PORT"
    std::string ftpHost() const;                        // "127.0.0.1:PORT"
    std::string ftpUrl(const std::string& path) const;  // "ftp://127.0.0.1:PORT" + path
    const std::string& caFile() const { return m_caFile; }
    const std::string& dataDir() const { return m_dataDir; }
    const std::string& ftpRoot() const { return m_ftpRoot; }
    const std::string& topDir() const { return m_topDir; }
    std::string uploadDir() const;       // remote, "/<top>/nimbreluploads/"
    std::string uploadDirLocal() const;  // the same folder on disk
    std::string localPath(const std::string& remotePath) const;

    void addAuthor(const std::string& author, const std::string& password,
                   const std::string& sourceDir = {});
    // Lists a file for the author and stores it under the source directory;
    // returns its file id (fresh unless given).
    std::string addPending(const std::string& author, const std::string& name,
                           const QByteArray& content, const std::string& fileId = {});
    // A listed file that is absent from the FTP server.
    std::string addMissingPending(const std::string& author, const std::string& name,
                                  const std::string& fileId = {});
    void putFile(const std::string& remotePath, const QByteArray& content);
    void setExtensions(const std::string& text);

    // Merges fault switches (see tools/service/README.md); a null value clears one.
    void setFaults(const QJsonObject& faults);
    void clearFaults();
    void clearRecords();
    void reset();

    QJsonObject state() const;
    // Shortcuts into state().
    QJsonArray records(const char* list) const
    {
        return state()[QString::fromLatin1(list)].toArray();
    }

    // Raw admin call: returns the answer's JSON; throws on a non-2xx status.
    QJsonObject admin(const std::string& method, const std::string& path,
                      const QJsonObject& body = {}) const;

    // SIGTERM, then SIGKILL after a bounded wait. Idempotent.
    void stop();
    bool running() const;

private:
    void start();

    Options m_options;
    pid_t m_pid = -1;
    int m_stdinFd = -1;
    int m_httpPort = 0;
    int m_httpsPort = 0;
    int m_ftpPort = 0;
    int m_adminPort = 0;
    std::string m_caFile;
    std::string m_dataDir;
    std::string m_ftpRoot;
    std::string m_topDir;
};

}  // namespace orbidex::test
