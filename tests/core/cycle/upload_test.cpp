#include "support/PassSuite.h"
#include "support/wav_util.h"

#include <future>
#include <thread>

// The upload pass against an internet layer in memory: every line, status text, archive copy
// and read-only mark, and each way a pass must stop.
namespace {

using Op = CFakeService::Op;

TEST_F(UploadPass, SendsAnnouncesArchivesAndMarksEachFile)
{
    std::string wav = m_folder + "memo.wav";
    ASSERT_TRUE(WriteWav(wav, 489600));  // 61.2 s
    Files({{"letter.rtf", "{\\rtf1 hello}"}});
    m_work.m_fileList = {wav, m_folder + "letter.rtf"};
    m_work.m_nFileCount = 2;
    Run();

    ASSERT_EQ(m_net.Seen().puts.size(), 2u);
    EXPECT_EQ(m_net.Seen().puts[0].dir, "/top.example/nimbreluploads/");
    EXPECT_EQ(m_net.Seen().puts[0].remote, "ab12_memo.wav");
    EXPECT_EQ(m_net.Seen().puts[0].content, ReadAll(wav));
    EXPECT_EQ(m_net.Seen().puts[1].remote, "ab12_letter.rtf");
    EXPECT_EQ(m_net.Seen().puts[1].content, "{\\rtf1 hello}");
    EXPECT_EQ(Notifications(), (std::vector<std::string>{Notify("ab12_memo.wav", "61"),
                                                         Notify("ab12_letter.rtf", "0")}));
    EXPECT_TRUE(Done("memo.wav"));
    EXPECT_TRUE(Done("letter.rtf"));
    // One session and one login carry the pass, closed at its end.
    EXPECT_EQ(m_net.Seen().sessions.size(), 1u);
    EXPECT_EQ(m_net.Seen().logins.size(), 1u);
    EXPECT_EQ(m_net.Seen().openConnections, 0);
    EXPECT_EQ(m_work.m_nFileIndex, 2);
    EXPECT_EQ(m_events.Kinds(),
              (std::vector<EEvent>{EEvent::FtpConnected, EEvent::FileSent, EEvent::FileSent}));
}

TEST_F(UploadPass, RefusedNotificationLeavesOnlyThatFileWaiting)
{
    Files({{"one.wav", "not audio"}, {"two.wav", "neither"}});
    m_net.pages["ab12_one.wav"] = {"Invalid Username or Password"};
    m_net.pages[""] = {"<b>Username Valid!</b>"};
    Run();
    EXPECT_EQ(m_net.Seen().puts.size(), 2u);
    EXPECT_TRUE(Waiting("one.wav"));
    EXPECT_NE(m_display.WindowText().find("The service did not accept one.wav;"),
              std::string::npos);
    EXPECT_TRUE(Done("two.wav"));
    // An unreadable "wav" is announced with length 0 and the pass goes on.
    EXPECT_EQ(Notifications()[1], Notify("ab12_two.wav", "0"));
}

TEST_F(UploadPass, UnreachableNotificationChangesNothingLocally)
{
    Files({{"a.rtf", "x"}});
    m_net.pages.clear();
    Run();
    EXPECT_TRUE(Waiting("a.rtf"));
    EXPECT_EQ(m_display.MessageBoxes(), (std::vector<std::string>{"No Network Access."}));
}

TEST_F(UploadPass, FailedPutStopsThePassAndKeepsTheRestWaiting)
{
    Files({{"f1.wav", "1"}, {"f2.wav", "2"}, {"f3.wav", "3"}, {"f4.wav", "4"}, {"f5.wav", "5"}});
    m_net.faults.push_back({.op = Op::Put, .first = 2});
    Run();
    EXPECT_TRUE(Done("f1.wav"));
    for (const char* f : {"f2.wav", "f3.wav", "f4.wav", "f5.wav"}) EXPECT_TRUE(Waiting(f)) << f;
    EXPECT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(m_net.Seen().logins.size(), 1u);
    EXPECT_EQ(m_net.Seen().openConnections, 0);
    EXPECT_EQ(m_events.Kinds(),
              (std::vector<EEvent>{EEvent::FtpConnected, EEvent::FileSent, EEvent::FileFailed}));
    // Logged from the line buffer: two empty lines follow the fail line.
    EXPECT_EQ(Log(), "UPLOADing 5 files\r\n[ 9: 5: 3] - f1.wav Transferred\r\n" + kTime +
                         " - .. Upload Fail, will attempt later.\r\n\r\n\r\n");
    EXPECT_EQ(m_display.LastStatus(), ".. Upload Fail, will attempt later.");

    // The next pass sends what waits, from where the scan finds it.
    m_net.faults.clear();
    m_work.m_fileList.erase(m_work.m_fileList.begin());
    m_work.m_nFileCount = 4;
    Run();
    for (const char* f : {"f2.wav", "f3.wav", "f4.wav", "f5.wav"}) EXPECT_TRUE(Done(f)) << f;
}

TEST_F(UploadPass, FileGoneSinceTheScanDoesNotHoldBackTheOthers)
{
    Files({{"gone.wav", "1"}, {"next.wav", "2"}});
    ASSERT_EQ(std::remove((m_folder + "gone.wav").c_str()), 0);
    Run();
    EXPECT_TRUE(Done("next.wav"));
    EXPECT_EQ(Notifications(), std::vector<std::string>{Notify("ab12_next.wav", "0")});
    EXPECT_EQ(m_display.WindowText(), kTime + " - 1 of 2 Uploading gone.wav\r\n" + kTime +
                                          " - gone.wav could not be read: No such file or "
                                          "directory.\r\n" +
                                          kTime + " - .. Upload Fail, will attempt later.\r\n\r\n" +
                                          kTime + " - 2 of 2 Uploading next.wav\r\n" + kTime +
                                          " - .. Done.\r\n\r\n");
    EXPECT_EQ(m_net.Seen().openConnections, 0);
}

TEST_F(UploadPass, FiveFailedConnectsEndThePassWithOneLine)
{
    Files({{"a.wav", "1"}, {"b.wav", "2"}});
    m_net.faults.push_back(
        {.op = Op::Login, .count = CFakeService::kEvery, .failure = CFakeService::kRefused});
    Run();
    EXPECT_EQ(m_net.Seen().logins.size(), 5u);
    EXPECT_TRUE(m_net.Seen().puts.empty());
    EXPECT_TRUE(Waiting("a.wav"));
    const std::string line = m_display.GetTimeText() +
                             " - Failed to connect to server (Connection refused); the files wait "
                             "for the next poll.\r\n";
    EXPECT_EQ(m_display.WindowText(), line);
    EXPECT_EQ(Log(), "UPLOADing 2 files\r\n" + line);
    std::vector<std::string> want;
    for (int i = 1; i <= 5; ++i) {
        want.push_back("Connecting to ftp.test:2121 (Attempt " + std::to_string(i) + " of 5)");
        want.push_back("Connection refused");  // the connect's own wording of the failure
    }
    want.push_back("Failed to connect to server");
    EXPECT_EQ(m_display.StatusTexts(), want);
}

TEST_F(UploadPass, ConnectSucceedsOnTheFifthAttempt)
{
    Files({{"a.wav", "1"}});
    m_net.faults.push_back({.op = Op::Login, .count = 4, .failure = CFakeService::kRefused});
    Run();
    EXPECT_TRUE(Done("a.wav"));
    EXPECT_EQ(m_display.StatusTexts()[8], "Connecting to ftp.test:2121 (Attempt 5 of 5)");
}

TEST_F(UploadPass, ServerCopyOfAnotherSizeIsAFailedPut)
{
    Files({{"a.wav", "0123456789"}, {"b.wav", "x"}});
    m_net.sizeAnswer = 9;  // the server kept one byte less than was sent
    Run();
    EXPECT_TRUE(Waiting("a.wav"));
    EXPECT_TRUE(Waiting("b.wav"));
    EXPECT_TRUE(Notifications().empty());
    EXPECT_EQ(m_display.LastStatus(), ".. Upload Fail, will attempt later.");
}

TEST_F(UploadPass, ServerWithoutSizeIsTrustedOnItsReply)
{
    Files({{"a.wav", "0123456789"}});
    m_net.faults.push_back({.op = Op::Size, .count = CFakeService::kEvery});
    Run();
    EXPECT_TRUE(Done("a.wav"));
}

TEST_F(UploadPass, FileStillBeingWrittenIsNeverMarkedDone)
{
    Files({{"growing.wav", "first part"}, {"after.wav", "x"}});
    // The recorder appends while the notification is on its way.
    m_net.onRequest = [this](const std::string& url) {
        if (url.find("growing") != std::string::npos) {
            std::ofstream(m_folder + "growing.wav", std::ios::app) << " and more";
        }
    };
    Run();
    EXPECT_TRUE(Waiting("growing.wav"));
    EXPECT_TRUE(Done("after.wav"));
    EXPECT_EQ(ReadAll(m_folder + "growing.wav"), "first part and more");
}

TEST_F(UploadPass, ArchiveReplacesAnEarlierCopy)
{
    Files({{"a.wav", "new take"}});
    QDir().mkpath(QString::fromStdString(m_folder + "tolvane"));
    WriteText(m_folder + "tolvane/a.wav", "an old take, much longer");
    Run();
    EXPECT_TRUE(Done("a.wav"));
    EXPECT_EQ(ReadAll(m_folder + "tolvane/a.wav"), "new take");
}

TEST_F(UploadPass, PathWithoutSeparatorAfterFirstCharacterIsSkipped)
{
    m_work.m_fileList = {"/rootfile.wav"};
    m_work.m_nFileCount = 1;
    Run();
    EXPECT_TRUE(m_net.Seen().puts.empty());
    EXPECT_EQ(m_net.Seen().logins.size(), 1u);  // connected, then skipped without a put
    EXPECT_EQ(m_net.Seen().openConnections, 0);
    EXPECT_EQ(m_display.WindowText(), "");
}

TEST_F(UploadPass, CancelledPassStopsBeforeTheNextFile)
{
    Files({{"a.wav", "1"}, {"b.wav", "2"}});
    m_net.onRequest = [this](const std::string&) { m_cancelled = true; };
    Run();
    // The next file's put may already run beside the first one's notification; it is neither
    // announced nor marked once the pass is stopped.
    EXPECT_LE(m_net.Seen().puts.size(), 2u);
    EXPECT_EQ(m_net.Urls().size(), 1u);
    EXPECT_TRUE(Waiting("b.wav"));
}

TEST_F(UploadPass, LongNamesAreCutToTheLineBuffer)
{
    const std::string name = std::string(240, 'n') + ".wav";
    Files({{name, "x"}});
    Run();
    EXPECT_TRUE(Done(name));
    const std::string window = m_display.WindowText();
    const std::string first = window.substr(0, window.find("\r\n"));
    EXPECT_EQ(first.size(), 253u);
    EXPECT_EQ(m_net.Seen().puts[0].remote, "ab12_" + name);
}

TEST_F(UploadPass, PutAbortedAtExitIsNotReportedAndTheFileWaits)
{
    Files({{"a.wav", "1"}, {"b.wav", "2"}});
    m_net.faults.push_back({.op = Op::Put, .hang = true});
    auto pass = std::async(std::launch::async, [this] { Run(); });
    for (int i = 0; i < 2000 && m_net.Seen().hanging == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(m_net.Seen().hanging, 1);
    m_cancelled = true;  // as exit does: the flag, then the layer
    m_net.Cancel();
    ASSERT_EQ(pass.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(Waiting("a.wav"));
    EXPECT_TRUE(Waiting("b.wav"));
    EXPECT_EQ(m_display.WindowText(), kTime + " - 1 of 2 Uploading a.wav\r\n");
    EXPECT_EQ(Log(), "UPLOADing 2 files\r\n");
    EXPECT_TRUE(Notifications().empty());
    EXPECT_EQ(m_net.Seen().openConnections, 0);
}

}  // namespace
