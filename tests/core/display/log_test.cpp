#include "core/display/ActivityLog.h"
#include "support/Files.h"
#include "support/RecordingDisplay.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <thread>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// 2026-12-06 23:50:42 UTC, a Sunday (tests run with TZ=UTC)
constexpr std::time_t kSunday = 1796601042;
// 2026-12-07 09:05:03 UTC
constexpr std::time_t kMorning = 1796634303;

std::string Sep()
{
    return std::string(80, '=') + "\r\n";
}
}  // namespace

TEST(TimeText, EnglishNamesZeroPaddedDayFourDigitYear)
{
    EXPECT_EQ(FormatTimeText(kSunday), "Sun Dec 06 23:50:42 2026");
    EXPECT_EQ(FormatTimeText(kMorning), "Mon Dec 07 09:05:03 2026");
    EXPECT_EQ(FormatTimeText(kMorning).size(), 24u);
}

TEST(TransferLine, PadsWithBlanksNotZeros)
{
    EXPECT_EQ(FormatTransferLine(kMorning, "ab12_letter7.wav"),
              "[ 9: 5: 3] - ab12_letter7.wav Transferred");
    // Cut to 99 bytes, never through a UTF-8 character.
    const std::string longName(80, 'x');
    const std::string line = FormatTransferLine(kMorning, longName + "é");
    EXPECT_LE(line.size(), 99u);
    const std::string cut = FormatTransferLine(kMorning, std::string(100, 'y') + "é");
    EXPECT_EQ(cut.size(), 99u);
    // 13 bytes of head, 85 of name, then a 2-byte letter that would end at byte 100
    const std::string accent = FormatTransferLine(kMorning, std::string(85, 'z') + "é");
    EXPECT_EQ(accent, "[ 9: 5: 3] - " + std::string(85, 'z'));
}

TEST(ActivityLog, TwoRunsAreFramedByTheirBlocksByteForByte)
{
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("Orbidex.log").toStdString();
    {
        CActivityLog log(path);
        log.WriteLogHeader(kSunday);
        log.WriteLogLine("event one");
        log.WriteShutdownBlock(kSunday + 60);
    }
    {
        CActivityLog log(path);
        log.WriteLogHeader(kMorning);
        log.WriteShutdownBlock(kMorning);
    }
    const std::string expected =
        "\r\n\r\n" + Sep() + "Sun Dec 06 23:50:42 2026 - Tolvane's Orbidex Log Initialized\r\n" +
        Sep() + "event one\r\n" + "\r\n\r\n" + Sep() +
        "[Sun Dec 06 23:51:42 2026] * * * SHUTDOWN * * *\r\n" + Sep() + "\r\n\r\n" + Sep() +
        "Mon Dec 07 09:05:03 2026 - Tolvane's Orbidex Log Initialized\r\n" + Sep() + "\r\n\r\n" +
        Sep() + "[Mon Dec 07 09:05:03 2026] * * * SHUTDOWN * * *\r\n" + Sep();
    EXPECT_EQ(ReadAll(path), expected);
}

TEST(ActivityLog, KeepsAtMost509BytesOfText)
{
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("Orbidex.log").toStdString();
    CActivityLog log(path);
    log.WriteLogLine(std::string(509, 'a'));
    log.WriteLogLine(std::string(2000, 'b'));
    log.WriteLogLine(std::string(508, 'c') + "ü");  // the 2-byte letter would pass 509
    EXPECT_EQ(ReadAll(path), std::string(509, 'a') + "\r\n" + std::string(509, 'b') + "\r\n" +
                                 std::string(508, 'c') + "\r\n");
}

// A program holding the file means it: not reported. A file that cannot be opened is, once.
TEST(ActivityLog, LineIsLostWhileAnotherProgramHoldsTheFileOrItCannotBeOpened)
{
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("Orbidex.log").toStdString();
    CFixedClock clock(kMorning);
    CRecordingDisplay log(path, &clock);
    log.WriteLogLine("before");
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    log.WriteLogLine("while held");
    ::flock(fd, LOCK_UN);
    ::close(fd);
    log.WriteLogLine("after");
    EXPECT_EQ(ReadAll(path), "before\r\nafter\r\n");
    EXPECT_TRUE(log.StatusTexts().empty());

    const std::string missing = tmp.filePath("missing/folder/Orbidex.log").toStdString();
    CRecordingDisplay nowhere(missing, &clock);
    nowhere.AddWindowLine("shown");
    nowhere.WriteLogLine(nowhere.LineBuffer());  // no crash, nothing created
    nowhere.WriteLogLine("dropped");
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("missing")));
    const std::string report = "Cannot write the log " + missing + ": No such file or directory";
    EXPECT_EQ(nowhere.StatusTexts(), std::vector<std::string>{report});
    EXPECT_EQ(nowhere.WindowText(), "shown\r\nMon Dec 07 09:05:03 2026 - " + report +
                                        ". Log lines are lost until it can be written again.\r\n");
    EXPECT_EQ(nowhere.LineBuffer(), "shown\r\n");  // a cycle may read it back
}

// The log stays open between lines, yet follows its name: a file moved or deleted meanwhile is
// made anew, and the author's file names are for the author's eyes only.
TEST(ActivityLog, KeptOpenButFollowsItsNameAndIsTheOwnersAlone)
{
    struct Row {
        const char* what;
        std::function<void(const std::string&)> between;
        const char* kept;   // what the log's name holds after the second line
        const char* moved;  // what the moved-away file holds, if any
    };
    const Row rows[] = {
        {"left alone", [](const std::string&) {}, "one\r\ntwo\r\n", nullptr},
        {"moved", [](const std::string& p) { ::rename(p.c_str(), (p + ".1").c_str()); },
         "two\r\n", "one\r\n"},
        {"deleted", [](const std::string& p) { ::unlink(p.c_str()); }, "two\r\n", nullptr},
    };
    for (const Row& row : rows) {
        QTemporaryDir tmp;
        const std::string path = tmp.filePath("Orbidex.log").toStdString();
        CActivityLog log(path);
        log.WriteLogLine("one");
        row.between(path);
        log.WriteLogLine("two");
        EXPECT_EQ(ReadAll(path), row.kept) << row.what;
        EXPECT_EQ(ReadAll(path + ".1"), row.moved ? row.moved : "") << row.what;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << row.what;
    }
    // A log left readable by others is tightened when it is next opened.
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("Orbidex.log").toStdString();
    std::ofstream(path, std::ios::binary) << "old\r\n";
    ::chmod(path.c_str(), 0644);
    CActivityLog(path).WriteLogLine("new");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadAll(path), "old\r\nnew\r\n");
}

// A link planted at the log's name, at the start or between two lines, is neither written
// through nor has its target's mode changed.
TEST(ActivityLog, ALinkAtTheLogsNameIsNeverFollowed)
{
    for (const bool planted_later : {false, true}) {
        QTemporaryDir tmp;
        const std::string path = tmp.filePath("Orbidex.log").toStdString();
        const std::string target = tmp.filePath("someone-elses").toStdString();
        std::ofstream(target, std::ios::binary) << "theirs";
        ::chmod(target.c_str(), 0644);
        CFixedClock clock(kMorning);
        CRecordingDisplay log(path, &clock);
        if (planted_later) {
            log.WriteLogLine("one");
            ::unlink(path.c_str());
        }
        ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
        log.WriteLogLine("two");
        EXPECT_EQ(ReadAll(target), "theirs") << planted_later;
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u) << planted_later;
        ASSERT_EQ(log.StatusTexts().size(), 1u) << planted_later;
        EXPECT_NE(log.StatusTexts()[0].find("symbolic link"), std::string::npos);
    }
}

// Over a cycle the lock is ours from its first line to its end; a program that held the lock
// first still has its way.
TEST(ActivityLog, HeldOverACycleYetAnotherProgramsLockWins)
{
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("Orbidex.log").toStdString();
    CActivityLog log(path);
    log.HoldBetweenLines(true);
    log.WriteLogLine("one");
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    log.WriteLogLine("two");
    log.HoldBetweenLines(false);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    log.HoldBetweenLines(true);
    log.WriteLogLine("dropped while theirs");
    ::flock(fd, LOCK_UN);
    log.WriteLogLine("three");
    log.HoldBetweenLines(false);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    EXPECT_EQ(ReadAll(path), "one\r\ntwo\r\nthree\r\n");
}

// A log deleted during a cycle is made anew with that cycle's lines; one moved away keeps the
// lines written to it, and the next line starts a new log.
TEST(ActivityLog, DeletedOrMovedDuringACycleLosesNoLine)
{
    for (const bool deleted : {true, false}) {
        QTemporaryDir tmp;
        const std::string path = tmp.filePath("Orbidex.log").toStdString();
        const std::string moved = path + ".1";
        CActivityLog log(path);
        log.WriteLogLine("before");
        log.HoldBetweenLines(true);
        log.WriteLogLine("one");
        ASSERT_EQ(deleted ? ::unlink(path.c_str()) : ::rename(path.c_str(), moved.c_str()), 0);
        log.WriteLogLine("two");
        log.HoldBetweenLines(false);
        log.WriteLogLine("after");
        EXPECT_EQ(ReadAll(path), deleted ? "one\r\ntwo\r\nafter\r\n" : "after\r\n") << deleted;
        EXPECT_EQ(ReadAll(moved), deleted ? "" : "before\r\none\r\ntwo\r\n");
    }
}

TEST(ActivityLog, ConcurrentWritersNeverInterleave)
{
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("Orbidex.log").toStdString();
    CActivityLog log(path);
    auto writer = [&log](char c) {
        for (int i = 0; i < 200; ++i) log.WriteLogLine(std::string(300, c));
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    std::istringstream in(ReadAll(path));
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.size(), 301u);
        ASSERT_EQ(line.find_first_not_of(line[0]), 300u);  // then the CR
        ++lines;
    }
    EXPECT_EQ(lines, 400);
}

TEST(LineBuffer, WindowLineFromTheBufferShowsAnEmptyLineAndLogsTwoBreaks)
{
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("Orbidex.log").toStdString();
    CFixedClock clock(kMorning);
    CRecordingDisplay d(path, &clock);
    d.AddWindowLine(d.GetTimeText() + " - .. Done.\r\n");
    EXPECT_EQ(d.LineBuffer(), "Mon Dec 07 09:05:03 2026 - .. Done.\r\n\r\n");
    d.WriteLogLine(d.LineBuffer());
    d.LogTransfer("x.wav");
    EXPECT_EQ(d.WindowText(), "Mon Dec 07 09:05:03 2026 - .. Done.\r\n\r\n");
    EXPECT_EQ(ReadAll(path),
              "Mon Dec 07 09:05:03 2026 - .. Done.\r\n\r\n\r\n[ 9: 5: 3] - x.wav Transferred\r\n");
}

TEST(LineBuffer, LimitsCutWithoutOverrun)
{
    QTemporaryDir tmp;
    CRecordingDisplay d(tmp.filePath("Orbidex.log").toStdString());
    d.AddWindowLine(std::string(400, 'w'));
    EXPECT_EQ(d.LineBuffer(), std::string(253, 'w') + "\r\n");
    d.AddWindowLine(std::string(252, 'w') + "ß");  // would need 254 bytes
    EXPECT_EQ(d.LineBuffer(), std::string(252, 'w') + "\r\n");
    d.SetStatusText(std::string(5000, 's'));
    EXPECT_EQ(d.LastStatus(), std::string(1023, 's'));
}
