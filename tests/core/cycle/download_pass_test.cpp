// The list request and the download pass against an in-memory service: exact lines, stops,
// refusals and what lands on disk.
#include "core/cycle/Download.h"
#include "core/ftp/FtpConnect.h"
#include "core/service/ServiceUrls.h"
#include "support/Files.h"
#include "support/PassSuite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using Op = CFakeService::Op;

namespace {

void WriteAll(const fs::path& p, const std::string& content)
{
    std::ofstream(p, std::ios::binary) << content;
}

std::string ListBody(const std::vector<std::pair<std::string, std::string>>& items,
                     const std::string& dir = "/dl/ab12")
{
    std::string b =
        "countoffiles = " + std::to_string(items.size()) + "<br>\r\nSourceDir=" + dir + "<br>\r\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        b += "file_" + n + " = \"" + items[i].first + "\"<br>\r\nfileid_" + n + " = " +
             items[i].second + "<br>\r\n";
    }
    return b;
}

class DownloadPass : public DownloadSuite<> {
protected:
    DownloadPass()
    {
        ep.ftpHost = "ftp.test:2121";
        ep.httpOrigin = "http://web.test";
        ep.httpsOrigin = "https://web.test";
        settings.Password = "pw";
        svc.pages["nbdlsuccess.php"] = {"ok"};
    }
    IInternet& Net() override { return svc; }
    std::string Confirm(const std::string& id)
    {
        return DownloadConfirmUrl(ep, settings.Author, settings.Password, id);
    }

    CFakeService svc;
};

TEST_F(DownloadPass, FetchesEachFileConfirmsItAndReportsEveryStep)
{
    const std::string wav("RIFF\0\0\x01\x02 binary\r\n", 17);
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "1001"}, {"b.wav", "1002"}})};
    svc.pages["nbdlsuccess.php"] = {"ok"};
    svc.files["/dl/ab12/a.rtf"] = "letter";
    svc.files["/dl/ab12/b.wav"] = wav;
    CRecordingEvents events(display, kHelp);
    Run(events);

    // Every step, in order, with one session for the pass.
    std::vector<EEvent> steps;
    for (const CAgentEvent& e : events.Events()) steps.push_back(e.Kind());
    EXPECT_EQ(steps, (std::vector<EEvent>{EEvent::ListRequested, EEvent::ListCounted,
                                          EEvent::ListRead, EEvent::TransfersBegin,
                                          EEvent::Connecting, EEvent::FtpConnected,
                                          EEvent::FtpReady, EEvent::DocumentStarted,
                                          EEvent::FileDone, EEvent::DocumentFetched,
                                          EEvent::FtpReady, EEvent::DocumentStarted,
                                          EEvent::FileDone, EEvent::DocumentFetched,
                                          EEvent::DownloadEnded}));
    EXPECT_EQ(events.Of<ev::DocumentStarted>()[1].folder, folder.string() + "/");
    EXPECT_EQ(svc.Urls()[0], DownloadListUrl(ep, "ab12", "pw"));
    EXPECT_EQ(svc.Urls("nbdlsuccess.php"),
              (std::vector<std::string>{Confirm("1001"), Confirm("1002")}));
    EXPECT_EQ(ReadAll(folder / "a.rtf"), "letter");
    EXPECT_EQ(ReadAll(folder / "b.wav"), wav);
    EXPECT_EQ(Listing(folder), (std::set<std::string>{"a.rtf", "b.wav"}));
    EXPECT_EQ(svc.Seen().logins, (std::vector<std::string>{"nimbreldn"}));
    EXPECT_EQ(svc.Seen().closes, 1);
    EXPECT_EQ(work.m_nFileIndex, 2);
    EXPECT_FALSE(work.m_pFtpConnection);
    // The bytes go to a file with no name, never straight to the final one.
    const CFakeService::Record seen = svc.Seen();
    for (const auto& target : seen.getTargets) EXPECT_TRUE(target.ends_with("(deleted)")) << target;
}

// The service lists one document twice (two identifiers): one file lands, both are confirmed,
// and the second fetch keeps no copy of the first beside it.
TEST_F(DownloadPass, ADocumentListedTwiceLandsOnceAndIsConfirmedTwice)
{
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "7"}, {"a.rtf", "8"}})};
    svc.files["/dl/ab12/a.rtf"] = "letter";
    CRecordingEvents events(display, kHelp);
    Run(events);
    EXPECT_EQ(Listing(folder), std::set<std::string>{"a.rtf"});
    EXPECT_EQ(ReadAll(folder / "a.rtf"), "letter");
    EXPECT_EQ(svc.Urls("nbdlsuccess.php"), (std::vector<std::string>{Confirm("7"), Confirm("8")}));
    EXPECT_EQ(events.Kinds(), (std::vector<EEvent>{EEvent::ListRead, EEvent::FtpConnected,
                                                   EEvent::DocumentFetched,
                                                   EEvent::DocumentFetched}));
}

TEST_F(DownloadPass, FileAbsentOnServerGivesBothLinesAndTheNextFileGoesOn)
{
    svc.pages["orbidexdload.php"] = {ListBody({{"gone.rtf", "7"}, {"b.rtf", "8"}})};
    svc.files["/dl/ab12/b.rtf"] = "bee";
    Run();

    const std::string failed = T() + " - Download Failed - " + GetInternetErrorText(12003) +
                               ", Please inform help@test.example.";
    const std::string absent =
        T() + " - gone.rtf not found on Server. Please inform help@test.example";
    EXPECT_NE(display.WindowText().find(failed + "\r\n\r\n" + absent + "\r\n" + T() + " - 2 of 2"),
              std::string::npos)
        << display.WindowText();
    EXPECT_EQ(Log(), "DOWNLOADing 2 files\r\n" + failed + "\r\n\r\n\r\n" + absent + "\r\n\r\n" +
                         FormatTransferLine(clock.Now(), "b.rtf") + "\r\n");
    const auto status = display.StatusTexts();
    EXPECT_NE(std::find(status.begin(), status.end(), absent), status.end());
    EXPECT_EQ(svc.Urls("nbdlsuccess.php"), std::vector<std::string>{Confirm("8")});
    EXPECT_EQ(Listing(folder), std::set<std::string>{"b.rtf"});
    EXPECT_EQ(svc.Seen().closes, 1);  // the missing file did not cost the session
}

TEST_F(DownloadPass, FailedGetWithoutASentenceIsStillAFailure)
{
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "1"}})};
    svc.pages["nbdlsuccess.php"] = {"ok"};
    svc.faults.push_back({.op = Op::Get, .failure = {inet::kErrSecureFailure, ""}});  // no sentence
    Run();

    EXPECT_NE(display.WindowText().find(
                  T() + " - Download Failed - , Please inform help@test.example.\r\n"),
              std::string::npos);
    EXPECT_EQ(Log().find("Transferred"), std::string::npos);
    EXPECT_TRUE(svc.Urls("nbdlsuccess.php").empty());
    EXPECT_TRUE(Listing(folder).empty());
}

TEST_F(DownloadPass, UnwritableFolderGivesOnlyTheFailureLine)
{
    // A folder path that is a file: no write can succeed, not even as root.
    WriteAll(root / "plain", "x");
    settings.TDir = (root / "plain").string() + "/";
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "1"}})};
    svc.files["/dl/ab12/a.rtf"] = "letter";
    Run();

    const std::string failed =
        T() + " - Download Failed - the download folder " + settings.TDir +
        " cannot be used: Not a directory, Please inform help@test.example.";
    EXPECT_EQ(Log(), "DOWNLOADing 1 files\r\n" + failed + "\r\n\r\n\r\n");
    EXPECT_EQ(display.WindowText().find("not found"), std::string::npos);
    const auto status = display.StatusTexts();
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[status.size() - 2], failed);
    EXPECT_EQ(status.back(), "Orbidex - Idle");
    EXPECT_TRUE(svc.Urls("nbdlsuccess.php").empty());
    EXPECT_EQ(svc.Seen().closes, 1);
}

TEST_F(DownloadPass, CutTransferKeepsTheEarlierCopyAndLeavesNoTemporaryFile)
{
    WriteAll(folder / "a.rtf", "GOOD OLD COPY");
    WriteAll(folder / ".a.rtf.part", "someone else's");
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "5"}})};
    svc.files["/dl/ab12/a.rtf"] = "the new version";
    svc.faults.push_back({.op = Op::Get,
                          .count = CFakeService::kEvery,
                          .failure = {inet::kErrConnectionAborted, ""},
                          .keep = 4});
    Run();

    EXPECT_EQ(ReadAll(folder / "a.rtf"), "GOOD OLD COPY");
    EXPECT_EQ(ReadAll(folder / ".a.rtf.part"), "someone else's");
    EXPECT_EQ(Listing(folder), (std::set<std::string>{"a.rtf", ".a.rtf.part"}));
    EXPECT_NE(display.WindowText().find(" - Download Failed - " + GetInternetErrorText(12030)),
              std::string::npos);
    EXPECT_EQ(display.WindowText().find("not found"), std::string::npos);
    EXPECT_TRUE(svc.Urls("nbdlsuccess.php").empty());

    // The next cycle replaces the copy once the whole file has arrived.
    svc.faults.clear();
    Run();
    EXPECT_EQ(ReadAll(folder / "a.rtf"), "the new version");
    EXPECT_EQ(ReadAll(folder / ".a.rtf.part"), "someone else's");
    EXPECT_EQ(svc.Urls("nbdlsuccess.php"), std::vector<std::string>{Confirm("5")});
}

TEST_F(DownloadPass, UnsafeNamesAreRefusedWhileTheOthersDownload)
{
    const std::string longName(256 - settings.TDir.size(), 'n');
    svc.pages["orbidexdload.php"] = {ListBody({{"../evil", "1"},
                                               {"..", "2"},
                                               {".", "3"},
                                               {"", "4"},
                                               {"sub/x", "5"},
                                               {"a\\b", "6"},
                                               {"c\x01"
                                                "d",
                                                "7"},
                                               {"e\r\nf", "8"},
                                               {longName, "9"},
                                               {"g\xC2\x85h", "11"},
                                               {"i\xE2\x80\xAEj", "12"},
                                               {"k\xE2\x81\xA6l\xE2\x80\x8F", "13"},
                                               {"ok.rtf", "10"}})};
    // A zero byte in the body cuts nothing: the items after it are read as well.
    std::string& body = svc.pages["orbidexdload.php"].body;
    body.insert(body.find("file_2"), 1, '\0');
    svc.pages["nbdlsuccess.php"] = {"ok"};
    svc.files["/dl/ab12/ok.rtf"] = "fine";
    svc.files["/dl/ab12/../evil"] = "escaped";
    Run();

    EXPECT_EQ(svc.Seen().gets, std::vector<std::string>{"/dl/ab12/ok.rtf"});
    EXPECT_EQ(svc.Urls("nbdlsuccess.php"), std::vector<std::string>{Confirm("10")});
    EXPECT_EQ(Listing(folder), std::set<std::string>{"ok.rtf"});
    EXPECT_EQ(Listing(root), (std::set<std::string>{"in", "Orbidex.log"}));
    const std::string refused = " - Refused unsafe file name \"";
    const std::string tail = "\" from the server. Please inform help@test.example";
    for (const char* shown :
         {"../evil", "..", ".", "", "sub/x", "a\\b", "c\\x01d", "e\\x0D\\x0Af", "g\\xC2\\x85h",
          "i\\xE2\\x80\\xAEj", "k\\xE2\\x81\\xA6l\\xE2\\x80\\x8F"})
        EXPECT_NE(Log().find(T() + refused + shown + tail + "\r\n"), std::string::npos) << shown;
    EXPECT_NE(Log().find(refused + longName), std::string::npos);
    EXPECT_NE(display.WindowText().find(T() + refused + "c\\x01d" + tail + "\r\n"),
              std::string::npos);
    // A listed name cannot forge a line of its own in the log.
    EXPECT_EQ(Log().find("\nf\""), std::string::npos);
    EXPECT_EQ(svc.Seen().logins.size(), 1u);
    EXPECT_EQ(display.LastStatus(), "Orbidex - Idle");
}

// A document listed twice whose content changed in between: the author's edited copy and the
// first download are both kept aside, neither written over by the other, whatever the second.
TEST_F(DownloadPass, AListNamingADocumentTwiceKeepsEveryEarlierCopy)
{
    WriteAll(folder / "memo.rtf", "the author's edit");
    svc.pages["orbidexdload.php"] = {ListBody({{"memo.rtf", "1"}, {"memo.rtf", "2"}})};
    svc.pages["nbdlsuccess.php"] = {"ok"};
    svc.files["/dl/ab12/memo.rtf"] = "first";
    svc.afterGet = [&](const std::string&) { svc.files["/dl/ab12/memo.rtf"] = "second"; };
    Run();
    std::set<std::string> kept;
    for (const std::string& name : Listing(folder)) {
        if (name != "memo.rtf") {
            EXPECT_EQ(name.rfind("memo (kept ", 0), 0u) << name;
            kept.insert(ReadAll(folder / name));
        }
    }
    EXPECT_EQ(kept, (std::set<std::string>{"the author's edit", "first"}));
    EXPECT_EQ(ReadAll(folder / "memo.rtf"), "second");
}

TEST_F(DownloadPass, FiveFailedConnectsEndThePass)
{
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "1"}, {"b.rtf", "2"}})};
    svc.files["/dl/ab12/a.rtf"] = "a";
    svc.faults.push_back({.op = Op::Login, .count = 5, .failure = CFakeService::kRefused});
    Run();

    std::vector<std::string> expected{"Starting Download Process"};
    for (int i = 1; i <= 5; ++i) {
        expected.push_back("Connecting to ftp.test:2121 (Attempt " + std::to_string(i) + " of 5)");
        expected.push_back("Connection refused");
    }
    expected.push_back("Failed to connect to server");
    expected.push_back("Orbidex - Idle");
    EXPECT_EQ(display.StatusTexts(), expected);
    EXPECT_TRUE(svc.Seen().gets.empty());
    EXPECT_EQ(display.WindowText().find("Downloading \""), std::string::npos);
    // The status bar's last word is overwritten at once: the log keeps it, with the time.
    EXPECT_EQ(Log(), "DOWNLOADing 2 files\r\n" + display.GetTimeText() +
                         " - Failed to connect to server (Connection refused); the files wait for "
                         "the next poll.\r\n");
    EXPECT_FALSE(work.m_pFtpConnection);
}

TEST_F(DownloadPass, FifthAttemptStillConnects)
{
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "1"}})};
    svc.files["/dl/ab12/a.rtf"] = "a";
    svc.faults.push_back({.op = Op::Login, .count = 4, .failure = CFakeService::kRefused});
    Run();
    EXPECT_EQ(ReadAll(folder / "a.rtf"), "a");
    EXPECT_EQ(svc.Urls("nbdlsuccess.php").size(), 1u);
}

// A list longer than one cycle reads asks for the next cycle at once, but only while documents
// keep coming and the list moves: a pass that fetched none, or was stopped, or a list naming
// the documents of the cycle before again, waits for the poll.
TEST_F(DownloadPass, ALongListAsksForTheNextCycleWhileDocumentsKeepComing)
{
    struct Row {
        const char* what;
        int listed;        // countoffiles
        bool onServer;     // the documents can be fetched
        bool confirmable;  // the service takes the confirmations
        bool more;
    } const rows[] = {
        {"cut at the bound", kMaxListItems + 2, true, true, true},
        {"exactly the bound", kMaxListItems, true, true, false},
        {"short list", 3, true, true, false},
        {"cut, nothing fetchable", kMaxListItems + 2, false, true, false},
        {"cut, nothing confirmed", kMaxListItems + 2, true, false, false},
        {"cut, the same documents named again", kMaxListItems + 2, true, true, false},
    };
    for (const Row& row : rows) {
        fs::remove_all(folder);
        fs::create_directory(folder);
        svc.files.clear();
        std::vector<std::pair<std::string, std::string>> items;
        for (int i = 0; i < std::min(row.listed, kMaxListItems); ++i) {
            items.emplace_back("d" + std::to_string(i) + ".rtf", std::to_string(i));
            if (row.onServer)
                svc.files["/dl/ab12/" + items.back().first] = "x";
        }
        std::string body = ListBody(items);
        body.replace(0, body.find('<'), "countoffiles = " + std::to_string(row.listed));
        svc.pages["orbidexdload.php"] = {body};
        svc.pages["nbdlsuccess.php"] = {"ok", -1, row.confirmable ? 200 : 500};
        work.m_moreListed = false;
        Run();
        EXPECT_EQ(work.m_moreListed, row.more) << row.what;
    }
}

TEST_F(DownloadPass, FolderTypedWithoutFinalSeparatorStillReceivesTheFiles)
{
    settings.TDir = folder.string();
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "1"}})};
    svc.files["/dl/ab12/a.rtf"] = "letter";
    Run();
    EXPECT_EQ(ReadAll(folder / "a.rtf"), "letter");
    EXPECT_EQ(Listing(root), (std::set<std::string>{"in", "Orbidex.log"}));
    EXPECT_NE(display.WindowText().find("to " + folder.string() + "/\r\n"), std::string::npos);
}

TEST_F(DownloadPass, EmptyTDirCreatesTheDefaultFoldersAndKeepsThemInMemory)
{
    settings.TDir.clear();
    svc.pages["orbidexdload.php"] = {ListBody({{"a.rtf", "1"}})};
    svc.files["/dl/ab12/a.rtf"] = "letter";
    WithHome(root / "home", [this] { Run(); });

    const fs::path dl = root / "home" / "nimbrel" / "download";
    const char* home = std::getenv("HOME");
    EXPECT_EQ(DefaultDownloadFolder(), std::string(home ? home : "") + "/nimbrel/download/");
    EXPECT_EQ(ReadAll(dl / "a.rtf"), "letter");
    EXPECT_EQ(record.Snapshot().TDir, dl.string() + "/");
    EXPECT_NE(display.WindowText().find("to " + dl.string() + "/\r\n"), std::string::npos);
}

struct ListStop {
    const char* label;
    std::string body;    // empty: the request fails
    std::string window;  // after the "Getting List" line; "@" stands for the time text
    std::vector<std::string> status;
    std::string log;
};

class DownloadListStops : public DownloadPass, public ::testing::WithParamInterface<ListStop> {};

std::string WithTime(std::string s, const std::string& t)
{
    for (std::size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, t);
    return s;
}

TEST_P(DownloadListStops, ShowsTheMessageWhereItBelongsAndFetchesNothing)
{
    const ListStop& c = GetParam();
    if (!c.body.empty())
        svc.pages["orbidexdload.php"] = {c.body};
    svc.files["/d/a"] = "a";
    Run();
    EXPECT_EQ(display.WindowText(),
              T() + " - Getting List of Files from the Server\r\n" + WithTime(c.window, T()));
    std::vector<std::string> status;
    for (const auto& s : c.status) status.push_back(WithTime(s, T()));
    EXPECT_EQ(display.StatusTexts(), status);
    EXPECT_EQ(Log(), WithTime(c.log, T()));
    EXPECT_TRUE(svc.Seen().logins.empty());
    EXPECT_EQ(svc.Urls().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, DownloadListStops,
    ::testing::Values(ListStop{"NetworkDown",
                               "",
                               "@ ERROR: Is the network down ???\r\n",
                               {"@ ERROR: Is the network down ???"},
                               "@ ERROR: Is the network down ???\r\n"},
                      ListStop{"NegativeCount", "countoffiles = -1<br>\r\n", "", {"-1"}, "-1\r\n"},
                      ListStop{"NoFiles",
                               "countoffiles = 0<br>\r\nSourceDir=/d<br>\r\n",
                               "Number of File(s) to Download : 0\r\n@ No File to Download\r\n\r\n",
                               {"No File to Download"},
                               "@ No File to Download\r\n"},
                      ListStop{"NoCount",
                               "<html>Invalid Username or Password</html>",
                               "DL-ERROR: CFiles\r\n",
                               {"DL-ERROR: CFiles"},
                               "DL-ERROR: CFiles\r\n"},
                      ListStop{"NoSourceDir",
                               "countoffiles = 1<br>\r\nfile_1 = \"a\"<br>\r\nfileid_1 = 1",
                               "Number of File(s) to Download : 1\r\nDL-ERROR: SDir001\r\n",
                               {"DL-ERROR: SDir001"},
                               "DL-ERROR: SDir001\r\n"},
                      ListStop{"SecondItemMissing",
                               ListBody({{"a", "1"}}, "/d").replace(15, 1, "2"),
                               "Number of File(s) to Download : 2\r\nDL-ERROR: FName2\r\n",
                               {"DL-ERROR: FName2"},
                               "DL-ERROR: FName2\r\n"},
                      ListStop{"NoQuotes",
                               "countoffiles=1<br>SourceDir=/d<br>file_1 = a<br>fileid_1 = 1",
                               "Number of File(s) to Download : 1\r\n"
                               "Quote-sign not found. Will retry again in next poll\r\n",
                               {},
                               ""},
                      ListStop{"NoFileId",
                               "countoffiles=1<br>SourceDir=/d<br>file_1 = \"a\"<br>",
                               "Number of File(s) to Download : 1\r\nDL-ERROR: FileID1\r\n",
                               {"DL-ERROR: FileID1"},
                               "DL-ERROR: FileID1\r\n"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
