#include "core/service/ExtCheck.h"
#include "support/DialogAnswers.h"
#include "support/FakeService.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/WarnExt.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {
const std::string kList = "dss, wav, rtf";

CEndpoints TestEndpoints()
{
    CEndpoints e;
    e.httpOrigin = "http://127.0.0.1:1";
    e.httpBareOrigin = "http://localhost:1";
    e.supportEmail = "help@127.0.0.1";
    return e;
}

struct AcceptCase {
    const char* extension;
    bool accepted;
};
}  // namespace

class ExtensionRule : public ::testing::TestWithParam<AcceptCase> {};

TEST_P(ExtensionRule, SubstringOfTheListAndThreeCharacters)
{
    EXPECT_EQ(IsExtensionAccepted(GetParam().extension, kList), GetParam().accepted)
        << '"' << GetParam().extension << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtensionRule,
    ::testing::Values(AcceptCase{"wav", true}, AcceptCase{"dss", true}, AcceptCase{"WAV", false},
                      AcceptCase{"wa", false},   // in the list, but too short
                      AcceptCase{"s, w", true},  // a run across the separator
                      AcceptCase{"ss,", true}, AcceptCase{"", false}, AcceptCase{"mp3", false},
                      AcceptCase{"wav ", false},  // trailing blanks are not trimmed
                      AcceptCase{"dss, wav, rtf", true}, AcceptCase{"dss, wav, rtf,", false}));

TEST(ExtensionRule, CountsCharactersNotBytes)
{
    // Two letters of a non-Latin script are four bytes but still only two characters.
    EXPECT_FALSE(IsExtensionAccepted("\xD0\xB0\xD0\xB1", "x \xD0\xB0\xD0\xB1 y"));
    EXPECT_TRUE(IsExtensionAccepted("\xD0\xB0\xD0\xB1\xD0\xB2", "x \xD0\xB0\xD0\xB1\xD0\xB2"));
}

TEST(ExtensionRule, TrimsLeadingWhiteSpaceOnly)
{
    EXPECT_EQ(TrimLeadingSpace("  \t\r\n wav "), "wav ");
    EXPECT_EQ(TrimLeadingSpace("wav"), "wav");
    EXPECT_EQ(TrimLeadingSpace(" \t "), "");
}

TEST(ExtensionRule, FirstRefusedRowWins)
{
    std::array<std::string, 10> ext;
    ext.fill("wav");
    EXPECT_EQ(FirstRefusedExtension(ext, kList), -1);
    ext[1] = "WAV";
    ext[4] = "xx";
    EXPECT_EQ(FirstRefusedExtension(ext, kList), 1);
    ext[1] = "rtf";
    EXPECT_EQ(FirstRefusedExtension(ext, kList), 4);
    EXPECT_EQ(kExtensionBoxIds[6], 1039);
}

TEST(FetchList, AppendsTheWholeBodyReadInPieces)
{
    CFakeService net;
    net.pages[""] = {std::string(1500, 'x') + "wav"};
    std::string list = "kept:";
    EXPECT_EQ(FetchExtensionList(&net, "http://h/nimbrel/extverify.php?ext=", list),
              EFetchResult::Ok);
    EXPECT_EQ(list, "kept:" + net.pages[""].body);
    EXPECT_EQ(net.Seen().agents, std::vector<std::string>{"InetURL/1.0"});
    EXPECT_EQ(net.Urls(), std::vector<std::string>{"http://h/nimbrel/extverify.php?ext="});
    EXPECT_EQ(net.Seen().requests.at(0).flags, 0u);
    EXPECT_EQ(net.Seen().liveHandles, 0);
}

TEST(FetchList, FailuresLeaveTheListAndCloseEveryHandle)
{
    CFakeService net;
    net.pages[""] = {"dss, wav"};
    std::string list;
    net.failOpen = true;
    EXPECT_EQ(FetchExtensionList(&net, "u", list), EFetchResult::NoInternet);
    EXPECT_EQ(FetchExtensionList(nullptr, "u", list), EFetchResult::NoInternet);
    net.failOpen = false;
    net.pages.clear();
    EXPECT_EQ(FetchExtensionList(&net, "u", list), EFetchResult::UrlFailed);
    EXPECT_EQ(list, "");
    EXPECT_EQ(net.Seen().liveHandles, 0);
}

TEST(FetchList, ReadFailingPartWayKeepsThePiecesRead)
{
    CFakeService net;
    net.pages[""] = {std::string(1023, 'a') + "wav, dss", 1};  // the second read fails
    std::string list;
    EXPECT_EQ(FetchExtensionList(&net, "u", list), EFetchResult::Ok);
    EXPECT_EQ(list, std::string(1023, 'a'));
}

class WarningDialog : public ::testing::Test {
protected:
    QString ShownText(WarnExt& dlg) { return static_cast<QLabel*>(dlg.GetDlgItem(1038))->text(); }
    CDialogAnswers answers;
    CFakeService net;
};

TEST_F(WarningDialog, ShowsTheServiceListAskedOfTheWebAlias)
{
    net.pages[""] = {"dss, wav, <b>rtf</b>"};
    WarnExt dlg(&net, TestEndpoints());
    bool okFocused = false;
    answers.On<WarnExt>([&](WarnExt& d) {
        okFocused = d.focusWidget() == d.GetDlgItem(IDOK);
        static_cast<QPushButton*>(d.GetDlgItem(IDOK))->click();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.windowTitle(), "Warning");
    EXPECT_EQ(ShownText(dlg), "Valid File Extensions are: dss, wav, <b>rtf</b>");
    EXPECT_EQ(static_cast<QLabel*>(dlg.GetDlgItem(1038))->textFormat(), Qt::PlainText);
    EXPECT_TRUE(okFocused);
    EXPECT_EQ(net.Urls(),
              std::vector<std::string>{"http://127.0.0.1:1/nimbrel/extverify.php?ext="});
    EXPECT_EQ(net.Seen().agents, std::vector<std::string>{"InetURL/1.0"});
    EXPECT_EQ(net.Seen().liveHandles, 0);
}

TEST_F(WarningDialog, SaysSoWhenTheInternetCannotBeOpened)
{
    net.failOpen = true;
    WarnExt dlg(&net, TestEndpoints());
    answers.On<WarnExt>([](WarnExt& d) { d.done(IDOK); });
    dlg.DoModal();
    EXPECT_EQ(ShownText(dlg), "Internet Not availabe to get valid file extensions.");
    EXPECT_TRUE(net.Urls().empty());
}

TEST_F(WarningDialog, SaysTheListCouldNotBeFetchedWhenTheUrlFails)
{
    net.pages.clear();
    WarnExt dlg(&net, TestEndpoints());
    answers.On<WarnExt>([](WarnExt&) {});  // closed by the close box
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(ShownText(dlg), "Internet Not availabe to get valid file extensions.");
    EXPECT_EQ(net.Seen().liveHandles, 0);
}
