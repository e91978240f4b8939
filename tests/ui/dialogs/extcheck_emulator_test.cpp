#include "core/service/ExtCheck.h"
#include "core/service/ServiceUrls.h"
#include "platform/Internet.h"
#include "support/DialogAnswers.h"
#include "support/MemoryProfileStore.h"
#include "support/ServiceEmulator.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/SourceDir.h"
#include "ui/dialogs/WarnExt.h"

#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using orbidex::test::ServiceEmulator;

namespace {
class ExtensionsFromService : public ::testing::Test {
protected:
    void SetUp() override
    {
        internet = CreateInternet(emu.caFile());
        ASSERT_NE(internet, nullptr);
        endpoints.httpOrigin = emu.httpOrigin();
        endpoints.httpsOrigin = emu.httpsOrigin();
        // The bare name of the same loopback host, so the two requests can be told apart.
        endpoints.httpBareOrigin = "http://localhost:" + std::to_string(emu.httpPort());
    }
    CDialogAnswers answers;
    ServiceEmulator emu;
    std::unique_ptr<IInternet> internet;
    CEndpoints endpoints;
};
}  // namespace

TEST_F(ExtensionsFromService, BothRequestsReachTheScriptWithOurUserAgent)
{
    std::string list;
    EXPECT_EQ(FetchExtensionList(internet.get(), ValidExtensionsUrl(endpoints, true), list),
              EFetchResult::Ok);
    EXPECT_EQ(list, "dss, wav, rtf, doc, mp3");

    emu.setExtensions("abc, wav");
    WarnExt dlg(internet.get(), endpoints);
    answers.On<WarnExt>([](WarnExt& d) { d.done(IDOK); });
    dlg.DoModal();
    EXPECT_EQ(static_cast<QLabel*>(dlg.GetDlgItem(1038))->text(),
              "Valid File Extensions are: abc, wav");

    const QJsonArray requests = emu.records("web_requests");
    ASSERT_EQ(requests.size(), 2);
    for (const auto& r : requests) {
        const QJsonObject o = r.toObject();
        EXPECT_EQ(o["path"].toString(), "/nimbrel/extverify.php");
        EXPECT_EQ(o["user_agent"].toString(), "InetURL/1.0");
        EXPECT_EQ(o["query"].toObject()["ext"].toString(), "");
        EXPECT_EQ(o["method"].toString(), "GET");
    }
}

TEST_F(ExtensionsFromService, SaveFollowsTheServiceList)
{
    CMemoryProfileStore profile;
    int warnings = 0;
    answers.On<WarnExt>([&](WarnExt& d) {
        ++warnings;
        d.done(IDOK);
    });
    emu.setExtensions("dss, mp3");
    answers.On<SourceDir>([](SourceDir& d) {
        static_cast<QPushButton*>(d.GetDlgItem(IDOK))->click();  // every row still "wav"
        for (int id : kExtensionBoxIds) d.Edit(id)->setText("mp3");
        static_cast<QPushButton*>(d.GetDlgItem(IDOK))->click();
    });
    SourceDir dlg(profile, internet.get(), endpoints);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ((profile.strings[{kSectionSource, "Ext10"}]), "mp3");
}

TEST_F(ExtensionsFromService, ServerDownSavesUnchangedExtensionsWithoutAMessage)
{
    emu.stop();
    std::vector<std::string> boxes;
    answers.OnMessageBox(
        [&](const QString& t, const QString&) { boxes.push_back(t.toStdString()); });
    CMemoryProfileStore profile;
    for (int n = 1; n <= 10; ++n)
        profile.strings[{kSectionSource, "Ext" + std::to_string(n)}] = "wav";
    SourceDir dlg(profile, internet.get(), endpoints);
    answers.On<SourceDir>([](SourceDir& d) {
        d.Edit(1034)->setText("changed offline");
        static_cast<QPushButton*>(d.GetDlgItem(IDOK))->click();
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    answers.OnMessageBox(nullptr);
    EXPECT_EQ(dlg.ValidExtensions(), "");
    EXPECT_FALSE(dlg.ValidListFetched());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ((profile.strings[{kSectionAuthor, "Password"}]), "changed offline");
}
