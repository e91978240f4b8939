#include "core/cycle/Automation.h"
#include "core/cycle/FileOrder.h"
#include "core/cycle/Lanes.h"
#include "support/NetTestSupport.h"
#include "support/CycleSuite.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <set>
#include <sstream>
#include <thread>

// A backlog shared by several FTP sessions: each file's commands, lines and fate as with one.

namespace {

class RecordKinds final : public IAgentEvents {
public:
    void Report(const CAgentEvent& e) override
    {
        const auto* started = e.As<ev::FileStarted>();
        const auto* done = e.As<ev::FileDone>();
        seen.push_back(started ? "start " + started->name : done ? "done " + done->name : "other");
    }
    std::vector<std::string> seen;
};

// Files 0..2 report from three threads in any order; the out side hears them by file.
TEST(FileOrder, EachFilesEventsGoOutWholeAndInListOrder)
{
    struct Row {
        const char* what;
        std::vector<int> doneOrder;  // the order in which the files finish
    } const rows[] = {
        {"in order", {0, 1, 2}},
        {"last first", {2, 1, 0}},
        {"middle first", {1, 2, 0}},
    };
    for (const Row& row : rows) {
        RecordKinds out;
        {
            CFileOrder order(out);
            std::vector<std::thread> files;
            std::atomic<int> turn{0};
            for (int index : row.doneOrder) {
                files.emplace_back([&, index, place = static_cast<int>(files.size())] {
                    CFileOrder::CSlot slot(order, index);
                    const std::string name = "f" + std::to_string(index);
                    slot.Report(ev::FileStarted{name, name, 1, index + 1, 3});
                    while (turn.load() != place) std::this_thread::yield();
                    slot.Report(ev::FileDone{EDirection::Up, name});
                    order.Done(index);
                    ++turn;
                });
            }
            for (std::thread& t : files) t.join();
        }
        EXPECT_EQ(out.seen, (std::vector<std::string>{"start f0", "done f0", "start f1", "done f1",
                                                      "start f2", "done f2"}))
            << row.what;
    }
}

TEST(FileOrder, FilesNoSessionFinishedStillSpeakAtTheEnd)
{
    RecordKinds out;
    {
        CFileOrder order(out);
        CFileOrder::CSlot(order, 1).Report(ev::FileStarted{"f1", "f1", 1, 2, 2});
        // File 0 never finishes (its session was lost before it spoke).
    }
    EXPECT_EQ(out.seen, (std::vector<std::string>{"start f1"}));
}

TEST(Sessions, OneForAFewFilesUpToThreeForABacklog)
{
    const std::pair<int, int> rows[] = {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {500, 3}};
    for (const auto& [files, sessions] : rows) {
        EXPECT_EQ(SessionsFor(files, kMostSessions), sessions) << files;
        EXPECT_EQ(SessionsFor(files, 1), 1) << files;
    }
}

class Backlog : public orbidex::test::ModeCycleSuite {
protected:
    void Configure(CSettings& s) override
    {
        ModeCycleSuite::Configure(s);
        s.Ext[0] = "rtf";
        s.PollTime = 5;
    }
    // The commands of each session of `user` that concern files, by session.
    std::map<int, std::vector<std::pair<std::string, std::string>>> Commands(const char* user)
    {
        static const std::set<std::string> fileCommands{"CWD",  "EPSV", "EPRT", "STOR",
                                                        "SIZE", "RETR"};
        std::map<int, std::vector<std::pair<std::string, std::string>>> out;
        for (const QJsonObject& c : Objects(s_emu->records("ftp_commands"))) {
            const std::string cmd = c["cmd"].toString().toStdString();
            if (c["user"].toString() == user && fileCommands.count(cmd))
                out[c["session"].toInt()].emplace_back(cmd, c["arg"].toString().toStdString());
        }
        return out;
    }
};

// Eight files each way over three sessions. A fault of one file stays that file's: a refused
// notification, a refused STOR, or a put cut off (which also ends its session) leave it
// waiting while the others go; every session sends each file's commands in the same order as
// one session does, and the window shows each file's lines whole, in list order.
TEST_P(Backlog, ThreeSessionsShareTheFilesAndAFaultStaysWithItsFile)
{
    constexpr int kFiles = 8;
    struct Row {
        const char* what;
        const char* faults;  // JSON of the emulator's faults
        bool a3Sent;
    } const rows[] = {
        {"clean", "{}", true},
        {"notification refused", R"({"notify_refuse": ["ab12_a3.rtf"]})", false},
        {"put refused", R"({"ftp_fail_stor": {"file": "ab12_a3.rtf"}})", false},
        {"put cut off", R"({"ftp_cut": {"after": 10, "cmd": "STOR", "file": "ab12_a3.rtf"}})",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Afresh();
        const std::size_t shown = m_display.WindowText().size();
        for (int i = 0; i < kFiles; ++i) {
            const std::string n = std::to_string(i);
            WriteText(m_src + "a" + n + ".rtf", std::string(100 + i * 50, char('a' + i)));
            s_emu->addPending("ab12", "d" + n + ".rtf", QByteArray(200 + i, char('k' + i)));
        }
        s_emu->setFaults(QJsonDocument::fromJson(row.faults).object());
        RunCycle();

        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "a" + std::to_string(i) + ".rtf";
            EXPECT_EQ(Archived(name), i != 3 || row.a3Sent) << name;
            EXPECT_EQ(ReadAll(m_down + "d" + std::to_string(i) + ".rtf"),
                      std::string(200 + i, char('k' + i)));
        }
        EXPECT_EQ(s_emu->records("confirmations").size(), kFiles);
        std::multiset<std::string> accepted;
        for (const QJsonObject& n : Objects(s_emu->records("notifications")))
            if (!n["refused_by_fault"].toBool())
                accepted.insert(n["file"].toString().toStdString());
        EXPECT_EQ(accepted.size(), row.a3Sent ? kFiles : kFiles - 1);
        EXPECT_EQ(std::set<std::string>(accepted.begin(), accepted.end()).size(), accepted.size())
            << "a file announced twice";

        // Per session, each file's commands as one session sends them.
        const std::string data = GetParam() ? "EPSV" : "EPRT";
        std::size_t sessionsWithFiles = 0;
        for (const auto& [session, cmds] : Commands("nimbrel")) {
            sessionsWithFiles += cmds.empty() ? 0 : 1;
            for (std::size_t i = 0; i + 1 < cmds.size(); ++i) {
                if (cmds[i].first != "STOR")
                    continue;
                ASSERT_GE(i, 1u);
                EXPECT_EQ(cmds[i - 1].first, data);
                if (row.a3Sent) {
                    EXPECT_EQ(cmds[i + 1], std::make_pair(std::string("SIZE"), cmds[i].second));
                }
            }
        }
        EXPECT_GE(sessionsWithFiles, 2u);
        std::size_t downSessions = 0;
        for (const auto& [session, cmds] : Commands("nimbreldn")) {
            downSessions += cmds.empty() ? 0 : 1;
            for (std::size_t i = 0; i < cmds.size(); ++i) {
                if (cmds[i].first != "RETR")
                    continue;
                ASSERT_GE(i, 2u);
                EXPECT_EQ(cmds[i - 2].first, data);
                EXPECT_EQ(cmds[i - 1].first, "SIZE");
            }
        }
        EXPECT_GE(downSessions, 2u);

        // Each file's window lines together and in list order: its start line ("3 of 8
        // Uploading ...") is followed by its own outcome, never by another file's start.
        const std::regex started(" ([0-9]) of 8 ");
        std::vector<int> numbers;
        bool open = false;
        std::istringstream window(m_display.WindowText().substr(shown));
        for (std::string line; std::getline(window, line);) {
            if (line.empty() || line == "\r")
                continue;
            std::smatch m;
            const bool start = std::regex_search(line, m, started);
            EXPECT_FALSE(start && open) << line;
            open = start;
            if (start)
                numbers.push_back(std::stoi(m.str(1)));
        }
        EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8}));
    }
}

INSTANTIATE_TEST_SUITE_P(PassiveAndActive, Backlog, ::testing::Values(1, 0),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
