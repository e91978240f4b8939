// Whole cycles against the emulator where one file, one rewrite or one earlier local copy
// must not cost the others: each fault stays with its file, and nothing the author wrote is lost.
#include "support/CycleSuite.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace {

using Hardening = orbidex::test::CycleSuite;

TEST_F(Hardening, RefusedFileAndUnsendableNameCostOnlyThemselves)
{
    for (const char* f : {"f1.wav", "f2.wav", "f3.wav", "f4.wav", "f5.wav", "a\nb.wav"})
        WriteText(m_src + f, std::string("content of ") + f);
    s_emu->setFaults({{"ftp_fail_stor", QJsonObject{{"file", "ab12_f2.wav"}, {"code", 553}}}});
    RunCycle();
    for (const char* f : {"f1.wav", "f3.wav", "f4.wav", "f5.wav"}) EXPECT_TRUE(Done(f)) << f;
    EXPECT_FALSE(fsys::IsReadOnly(m_src + "f2.wav"));
    EXPECT_FALSE(fsys::IsReadOnly(m_src + "a\nb.wav"));
    EXPECT_EQ(Notified().size(), 4u);
    const std::string log = Log();
    EXPECT_NE(log.find("The name \"a\\x0Ab.wav\" holds a control character and cannot be sent. "
                       "Rename the file.\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(InLog(".. Upload Fail"), 2) << log;

    s_emu->clearFaults();
    RunCycle();
    EXPECT_TRUE(Done("f2.wav"));
}

TEST_F(Hardening, FileRewrittenDuringItsPutIsNotAnnouncedUntilSentAgain)
{
    WriteText(m_src + "memo.wav", std::string(4000, 'a'));
    s_emu->setFaults({{"ftp_delay", QJsonObject{{"ms", 600}, {"cmd", "STOR"}}}});
    std::thread author([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        WriteText(m_src + "memo.wav", std::string(4000, 'b'));  // same size, new words
    });
    RunCycle();
    author.join();
    EXPECT_TRUE(Notified().empty());
    EXPECT_FALSE(fsys::IsReadOnly(m_src + "memo.wav"));
    EXPECT_NE(Log().find("memo.wav changed while it was sent: not announced"), std::string::npos);

    s_emu->clearFaults();
    RunCycle();
    EXPECT_TRUE(Done("memo.wav"));
    EXPECT_EQ(ReadAll(s_emu->uploadDirLocal() + "/ab12_memo.wav"), std::string(4000, 'b'));
    EXPECT_EQ(Notified(), std::vector<std::string>{"ab12_memo.wav"});
}

TEST_F(Hardening, SilentServerHoldsACycleNoLongerThanItsWaitBudget)
{
    for (const char* f : {"a.wav", "b.wav"}) WriteText(m_src + f, f);
    // Connections are taken, and nothing is ever said: each of 5 logins per file would wait 40 s.
    s_emu->setFaults({{"ftp_delay", QJsonObject{{"ms", 600000}, {"cmd", "CONNECT"}}}});
    m_auto->SetWaitBudget(3000);
    const auto start = std::chrono::steady_clock::now();
    RunCycle();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
    EXPECT_FALSE(fsys::IsReadOnly(m_src + "a.wav"));
    // The cycle ended there: its download waits for the next poll rather than waiting again.
    EXPECT_EQ(m_display.WindowText().find("Starting Auto-Download"), std::string::npos);
    EXPECT_NE(Log().find("The service is too slow"), std::string::npos);
}

// A notification answer dripped a byte at a time holds the cycle no longer than its budget:
// the request is cut on each session, the cycle ends before its download step, and no file
// goes twice in it.
// The cut file may be at the service: it is sent again at the next poll rather than lost.
TEST_F(Hardening, ADrippingAnswerEndsTheCycleWithinItsBudget)
{
    for (const char* f : {"a.wav", "b.wav", "c.wav", "d.wav"}) WriteText(m_src + f, f);
    s_emu->setFaults(
        {{"http_drip", QJsonObject{{"ms", 950}, {"path", "/nimbrel/copywav.php"}}}});
    m_auto->SetWaitBudget(3000);
    const auto start = std::chrono::steady_clock::now();
    RunCycle();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    // One notification cut on each session the four files opened (two); the files put beside
    // them are neither announced nor marked, and no file is put twice.
    const std::size_t cut = Notified().size();
    EXPECT_GE(cut, 1u);
    EXPECT_LE(cut, 2u);
    EXPECT_GE(s_emu->records("uploads").size(), static_cast<qsizetype>(cut));
    EXPECT_LE(s_emu->records("uploads").size(), 4);
    for (const char* f : {"a.wav", "b.wav", "c.wav", "d.wav"})
        EXPECT_FALSE(fsys::IsReadOnly(m_src + f)) << f;
    EXPECT_EQ(m_display.WindowText().find("Starting Auto-Download"), std::string::npos);
    EXPECT_EQ(Problems().back(), EProblem::ServiceFault);
    EXPECT_EQ(InLog("may already be at the service"), static_cast<int>(cut)) << Log();

    s_emu->clearFaults();
    m_auto->SetWaitBudget(kCycleWaitBudgetMs);
    RunCycle();
    for (const char* f : {"a.wav", "b.wav", "c.wav", "d.wav"}) EXPECT_TRUE(Done(f)) << f;
    EXPECT_EQ(Notified().size(), 4u + cut);
}

}  // namespace
