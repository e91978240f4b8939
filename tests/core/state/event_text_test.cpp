// The window's, the status bar's and the log's fixed texts, each rendered from its event once.
#include "core/state/EventText.h"

#include <gtest/gtest.h>

namespace {

using S = ESink;
const std::string T = "Tue Dec 08 19:30:00 2026";

TEST(EventText, FixedTextsComeOutByteForByteInOrder)
{
    const struct {
        const char* what;
        CAgentEvent event;
        std::vector<CRendered> out;
    } rows[] = {
        {"busy", ev::StillRunning{}, {{S::Status, "Nimbrel Upload Ravlet"}}},
        {"login ok", ev::LoginAccepted{}, {{S::Status, "UserName Validation =*= OK =*="}}},
        {"login refused", ev::LoginRefused{},
         {{S::Status, "UserName or Password Validation Fail"},
          {S::Window, "Invalid Author Name or Password."}, {S::Window, " "},
          {S::Log, "Invalid Author Name or Password."},
          {S::Status, "Invalid Author Name or Password."}}},
        {"no login", ev::LoginNotConfigured{},
         {{S::Status, "Tolvane's Orbidex: Login ID not provided"},
          {S::Window, "Tolvane's Orbidex: Login ID not provided"},
          {S::Window, "Invalid Author Name or Password."}, {S::Window, " "},
          {S::Log, "Invalid Author Name or Password."},
          {S::Status, "Invalid Author Name or Password."}}},
        {"no internet", ev::NoInternet{},
         {{S::Box, T + " - Internet not avaiable. Please contact your Systems Administrator."},
          {S::Window, T + " - Internet not avaiable. Please contact your Systems Administrator."},
          {S::Log, T + " - Internet not avaiable. Please contact your Systems Administrator.\r\n"}}},
        {"connecting", ev::Connecting{'u', "h:21", 2, 5},
         {{S::Status, "Connecting to h:21 (Attempt 2 of 5)"}}},
        {"connected", ev::FtpReady{'d'}, {{S::Status, "Connected to Tolvane Server"}}},
        {"upload pass", ev::UploadPass{2}, {{S::Window, "Starting Upload Process"}}},
        {"nothing to send", ev::UploadPass{0},
         {{S::Window, T + " - No File to Upload"}, {S::Status, "No File to Upload"}}},
        {"uploading", ev::TransfersBegin{EDirection::Up, 3}, {{S::Log, "UPLOADing 3 files"}}},
        {"downloading", ev::TransfersBegin{EDirection::Down, 2},
         {{S::Status, "Starting Download Process"}, {S::Log, "DOWNLOADing 2 files"}}},
        {"file started", ev::FileStarted{"/s/a.wav", "a.wav", 9, 1, 2},
         {{S::Window, T + " - 1 of 2 Uploading a.wav"}}},
        {"file done", ev::FileDone{EDirection::Up, "a.wav"},
         {{S::Transfer, "a.wav"}, {S::Window, T + " - .. Done.\r\n"}}},
        {"put failed", ev::FileFailed{"/s/a.wav", EStage::Put},
         {{S::Window, T + " - .. Upload Fail, will attempt later.\r\n"},
          {S::Log, T + " - .. Upload Fail, will attempt later.\r\n\r\n"},
          {S::Status, ".. Upload Fail, will attempt later."}}},
        {"notice unreachable", ev::FileFailed{"/s/a.wav", EStage::Notify, {}, {}, ev::ENotifyFault::Unreachable},
         {{S::PostBox, "No Network Access."},
          {S::Window, T + " - No Network Access.: the service was not told of this file; it is sent again at the next poll."},
          {S::Log, T + " - No Network Access.: the service was not told of this file; it is sent again at the next poll."}}},
        {"notice cut", ev::FileFailed{"/s/a.wav", EStage::Notify, "the server was too slow", {}, ev::ENotifyFault::Cut},
         {{S::Window, T + " - a.wav may already be at the service (its answer was cut: the server was too slow); it is sent again at the next poll."},
          {S::Log, T + " - a.wav may already be at the service (its answer was cut: the server was too slow); it is sent again at the next poll."}}},
        {"auto download", ev::DownloadPass{true},
         {{S::Window, "Starting Auto-Download Process"}, {S::Status, "Starting Auto Download"}}},
        {"auto download off", ev::DownloadPass{false},
         {{S::Window, "Auto Download is off"}, {S::Status, "Auto Download is off"}}},
        {"list asked", ev::ListRequested{}, {{S::Window, T + " - Getting List of Files from the Server"}}},
        {"list count", ev::ListCounted{3, 1000}, {{S::Window, "Number of File(s) to Download : 3"}}},
        {"list items", ev::ListRead{{"a"}, 1}, {{S::Window, "Downloading Files"}}},
        {"list empty", ev::ListRead{},
         {{S::Window, T + " No File to Download\r\n"}, {S::Status, "No File to Download"},
          {S::Log, T + " No File to Download"}}},
        {"no list", ev::ListFailed{"x", 0, true},
         {{S::Window, T + " ERROR: Is the network down ???"},
          {S::Status, T + " ERROR: Is the network down ???"},
          {S::Log, T + " ERROR: Is the network down ???"}}},
        {"list stop", ev::ListFailed{"x", 0, false, "DL-ERROR: CFiles", kToStatus | kToLog},
         {{S::Status, "DL-ERROR: CFiles"}, {S::Log, "DL-ERROR: CFiles"}}},
        {"document started", ev::DocumentStarted{"a.rtf", "/d/", 1, 2},
         {{S::Window, T + " - 1 of 2 Downloading \"a.rtf\" to /d/"}}},
        {"document missing", ev::DocumentFailed{"a.rtf", EStage::Fetch, "gone", true},
         {{S::Window, T + " - Download Failed - gone, Please inform help@x.\r\n"},
          {S::Log, T + " - Download Failed - gone, Please inform help@x.\r\n\r\n"},
          {S::Window, T + " - a.rtf not found on Server. Please inform help@x"},
          {S::Log, T + " - a.rtf not found on Server. Please inform help@x\r\n"},
          {S::Status, T + " - a.rtf not found on Server. Please inform help@x"}}},
        {"idle", ev::DownloadEnded{}, {{S::Status, "Orbidex - Idle"}}},
        {"progress", ev::Progress{EDirection::Up, "a.wav", 1, 2}, {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RenderEvent(row.event, T, "help@x"), row.out) << row.what;
}

// A reason from below is one line, cut on a character, without its full stop.
TEST(EventText, OneRuleCleansAReason)
{
    EXPECT_EQ(CleanReason("refused.\r\nnext. ", 100), "refused.  next");
    EXPECT_EQ(CleanReason("ab\xC3\xA9", 3), "ab");
}

}  // namespace
