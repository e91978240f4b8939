// SIGKILL at random moments of real cycles, in a separate agent process against the emulator.
// After every kill: a source file is read-only only if the server holds it whole and it was
// announced (and its archive copy is whole); nothing partial lies under a final name; earlier
// downloads survive. Then cycles left to run finish the work.
// ORBIDEX_CRASH_KILLS sets the number of kills (default 16), ORBIDEX_CRASH_SEED the seed.
#include "core/cycle/LocalState.h"
#include "platform/FileSystem.h"
#include "platform/StateFolder.h"
#include "support/EmulatorSuite.h"
#include "support/Files.h"
#include "support/wav_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using orbidex::test::ServiceEmulator;

int EnvInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_emu.addAuthor("ab12", "secret");
        fs::create_directories(m_src);
        fs::create_directories(m_down);
        // The agents' record of what they did, where the checks can read it.
        setenv("XDG_STATE_HOME", (m_root + "/state").c_str(), 1);
    }

    // Starts an agent and returns once its first cycle has begun; its pid, or -1.
    pid_t Start(int pasv, int cycles)
    {
        const std::vector<std::string> args = {
            CRASH_AGENT,     m_emu.httpOrigin(),   m_emu.httpsOrigin(),   m_emu.ftpHost(),
            m_emu.topDir(),  m_emu.caFile(),       m_src + "/",           m_down + "/",
            m_root + "/log", std::to_string(pasv), std::to_string(cycles)};
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0)
            return -1;
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        posix_spawn_file_actions_adddup2(&io, out[1], 1);
        posix_spawn_file_actions_addclose(&io, out[0]);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, CRASH_AGENT, &io, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&io);
        close(out[1]);
        // "start" (6 bytes) or the end of the pipe; bounded by the poll.
        char line[6] = {};
        std::size_t got = 0;
        pollfd p{out[0], POLLIN, 0};
        while (rc == 0 && got < sizeof line && poll(&p, 1, 10000) > 0) {
            const ssize_t n = read(out[0], line + got, sizeof line - got);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        close(out[0]);
        return rc == 0 && got == sizeof line ? pid : -1;
    }

    // Waits up to `ms` for the agent to end by itself; kills it when it does not.
    bool Reap(pid_t pid, int ms)
    {
        for (int waited = 0; waited < ms; waited += 5) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return false;
    }

    // Waits up to `ms` for `needle` in what the agent logged since the last look.
    void WaitForLog(const std::string& needle, long ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            const std::string log = ReadAll(m_root + "/log");
            const std::size_t at = log.find(needle, m_logSeen);
            if (at != std::string::npos) {
                m_logSeen = at + needle.size();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // A third of the kills fall anywhere in a cycle; the others within a few ms of the start
    // of an upload or a download pass, where a transfer or a copy is likely under way.
    void KillAtRandom(pid_t pid, long cycleMs)
    {
        m_logSeen = ReadAll(m_root + "/log").size();
        switch (m_rng() % 3) {
            case 0:
                std::this_thread::sleep_for(std::chrono::milliseconds(m_rng() % cycleMs));
                break;
            case 1:
                WaitForLog("UPLOADing", 2 * cycleMs);
                std::this_thread::sleep_for(std::chrono::milliseconds(m_rng() % 15));
                break;
            default:
                WaitForLog("DOWNLOADing", 2 * cycleMs);
                std::this_thread::sleep_for(std::chrono::milliseconds(m_rng() % 15));
                break;
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    std::string Bytes(std::size_t n)
    {
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(m_rng());
        return s;
    }
    // Half of them a few MiB, so that many kills land inside a transfer or a copy.
    std::size_t Size()
    {
        return m_rng() % 2 ? (2u << 20) + m_rng() % (6u << 20) : 1 + m_rng() % 20000;
    }

    void AddWork(int round)
    {
        const std::string name = "dict" + std::to_string(round) + ".dss";
        m_sources[name] = Bytes(Size());
        WriteText(m_src + "/" + name, m_sources[name]);
        const std::string doc = "doc" + std::to_string(round) + ".rtf";
        m_docs[doc] = Bytes(Size());
        m_emu.addPending("ab12", doc, QByteArray::fromStdString(m_docs[doc]));
    }

    // Whether `path` holds `content`; a file already seen whole is not read again while its
    // size and time are unchanged (the checks run after every kill, over every file).
    bool Holds(const std::string& path, const std::string& content)
    {
        const std::optional<fsys::FileStamp> stamp = fsys::GetFileStamp(path);
        if (!stamp)
            return false;
        auto seen = m_whole.find(path);
        if (seen != m_whole.end() && seen->second == *stamp)
            return true;
        if (ReadAll(path) != content)
            return false;
        m_whole[path] = *stamp;
        return true;
    }

    static bool Unnamed(const std::string& folder)
    {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    }

    // Returns the temporary files found.
    int CheckInvariants(const std::string& when)
    {
        SCOPED_TRACE(when);
        const QJsonObject state = m_emu.state();
        std::map<std::string, int> accepted;
        for (const auto& v : state["notifications"].toArray())
            accepted[v.toObject()["file"].toString().toStdString()] +=
                v.toObject()["accepted"].toBool();
        m_pending.clear();
        for (const auto& v : state["pending"].toObject()["ab12"].toArray())
            m_pending.insert(v.toObject()["name"].toString().toStdString());

        // Taken by the service, killed before the mark: the next start must not send it again.
        // The record follows the service's answer: what it had accepted by then is what it may
        // ever accept. (A kill between its answer and the record is a second announcement.)
        // Read on a copy, as the next start would: its reader rewrites what it reads.
        QTemporaryDir copy;
        std::error_code none;  // no record yet: nothing announced
        fs::copy_file(m_root + "/state/orbidex/sent-files",
                      copy.filePath("sent-files").toStdString(), none);
        std::set<std::string> announced;
        for (const CLocalState::CEntry& e :
             CLocalState(copy.path().toStdString()).Entries(CLocalState::EKind::Announced))
            announced.insert(e.path.substr(e.path.rfind('/') + 1));
        for (const std::string& name : announced)
            m_announcedAtKill.try_emplace(name, accepted["ab12_" + name]);
        for (const auto& [name, content] : m_sources) {
            if (!fsys::IsReadOnly(m_src + "/" + name)) {
                m_putNotMarked += ReadAll(m_emu.uploadDirLocal() + "/ab12_" + name) == content;
                continue;
            }
            EXPECT_TRUE(Holds(m_emu.uploadDirLocal() + "/ab12_" + name, content)) << name;
            EXPECT_GT(accepted["ab12_" + name], 0) << name;
            EXPECT_TRUE(Holds(m_src + "/tolvane/" + name, content)) << name;
        }
        int temps = 0;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(m_src + "/tolvane", ec)) {
            const std::string name = e.path().filename().string();
            if (m_sources.count(name))
                EXPECT_TRUE(Holds(e.path().string(), m_sources[name])) << name << " is partial";
            else
                ++temps;
        }
        for (const auto& e : fs::directory_iterator(m_down)) {
            const std::string name = e.path().filename().string();
            if (m_docs.count(name))
                EXPECT_TRUE(Holds(e.path().string(), m_docs[name])) << name << " is partial";
            else
                ++temps;
        }
        for (const std::string& doc : m_fetched)
            EXPECT_TRUE(Holds(m_down + "/" + doc, m_docs[doc])) << doc << " was lost";
        for (const auto& [doc, content] : m_docs) {
            if (!Holds(m_down + "/" + doc, content))
                continue;
            if (m_pending.count(doc))
                ++m_gotNotConfirmed;
            else
                m_fetched.insert(doc);
        }
        return temps;
    }

    ServiceEmulator m_emu;
    QTemporaryDir m_dir;
    std::string m_root = m_dir.path().toStdString();
    std::string m_src = m_root + "/src";
    std::string m_down = m_root + "/down";
    std::mt19937 m_rng;
    std::map<std::string, std::string> m_sources;
    std::map<std::string, std::string> m_docs;
    std::set<std::string> m_fetched;  // confirmed and on disk whole
    std::set<std::string> m_pending;  // listed by the service at the last check
    std::map<std::string, fsys::FileStamp> m_whole;
    std::size_t m_logSeen = 0;
    // Recorded as taken, not yet marked: how often the service had accepted it then.
    std::map<std::string, int> m_announcedAtKill;
    int m_putNotMarked = 0;     // kills between a whole put and the sent mark
    int m_gotNotConfirmed = 0;  // kills between a whole get and its confirmation
};

TEST_F(CrashSafety, KillsAtRandomMomentsBreakNoInvariantAndTheNextCyclesFinish)
{
    const int kills = EnvInt("ORBIDEX_CRASH_KILLS", 16);
    const unsigned seed = static_cast<unsigned>(
        EnvInt("ORBIDEX_CRASH_SEED", static_cast<int>(std::random_device{}() & 0x7FFFFFFF)));
    m_rng.seed(seed);
    SCOPED_TRACE("ORBIDEX_CRASH_SEED=" + std::to_string(seed));
    // How long one cycle with a round's work takes here: kills fall anywhere within it.
    AddWork(0);
    const auto begin = std::chrono::steady_clock::now();
    const pid_t first = Start(0, 1);
    ASSERT_GT(first, 0);
    ASSERT_TRUE(Reap(first, 60000));
    const auto cycleMs = std::max<long>(20, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - begin)
                                                .count());
    CheckInvariants("after a whole cycle");

    // Where new files can be made without a name, a kill during a copy or a download leaves
    // no name behind at all, not even one for the next cycle to sweep.
    const bool unnamed = Unnamed(m_src + "/tolvane") && Unnamed(m_down);
    int tempsSeen = 0;
    for (int round = 1; round <= kills; ++round) {
        AddWork(round);
        const pid_t pid = Start(round % 2, 0);
        ASSERT_GT(pid, 0);
        KillAtRandom(pid, cycleMs);
        const int temps = CheckInvariants("after kill " + std::to_string(round));
        if (unnamed) {
            EXPECT_EQ(temps, 0) << "kill " << round << " left a temporary name";
        }
        tempsSeen = std::max(tempsSeen, temps);
    }

    const pid_t pid = Start(1, 2);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(Reap(pid, 60000)) << "the cycles after the kills did not finish";
    const int tempsLeft = CheckInvariants("after the last cycles");
    for (const auto& [name, content] : m_sources)
        EXPECT_TRUE(fsys::IsReadOnly(m_src + "/" + name)) << name << " was never sent";
    EXPECT_EQ(tempsLeft, 0) << "the next cycles sweep what the kills left";
    EXPECT_TRUE(m_pending.empty());
    for (const auto& [doc, content] : m_docs)
        EXPECT_TRUE(Holds(m_down + "/" + doc, content)) << doc;

    // A killed STOR looks complete to the server (the data connection just ends): compare sizes.
    int partialUploads = 0;
    for (const auto& v : m_emu.records("uploads")) {
        const std::string name = v.toObject()["path"].toString().toStdString();
        const std::string local = name.substr(name.rfind("/ab12_") + 6);
        partialUploads +=
            v.toObject()["bytes"].toInteger() != static_cast<qint64>(m_sources[local].size());
    }
    std::map<std::string, int> accepted;
    for (const auto& v : m_emu.records("notifications"))
        accepted[v.toObject()["file"].toString().toStdString()] +=
            v.toObject()["accepted"].toBool();
    for (const auto& [name, then] : m_announcedAtKill) {
        EXPECT_GT(then, 0) << name << " was recorded as taken before the service took it";
        EXPECT_EQ(accepted["ab12_" + name], then) << name << " was announced again after a kill";
    }
    int partialDownloads = 0;
    for (const auto& v : m_emu.records("downloads"))
        partialDownloads += !v.toObject()["complete"].toBool();
    std::printf(
        "%d kills within a %ld ms cycle (seed %u): %zu files sent, %zu documents "
        "fetched. Left by the kills: %d uploads cut, %d downloads cut, %d files put "
        "whole but not yet marked sent (%zu of them announced), %d documents fetched but not "
        "yet confirmed, at most %d temporary files at once; %d temporary files after the last "
        "cycles\n",
        kills, cycleMs, seed, m_sources.size(), m_docs.size(), partialUploads, partialDownloads,
        m_putNotMarked, m_announcedAtKill.size(), m_gotNotConfirmed, tempsSeen, tempsLeft);
}

}  // namespace
