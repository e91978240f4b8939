// ProbeInternet, FetchUrl and QueueUploadJob: what the user sees on each path (shown by the
// steps that make the requests), and what the service receives.
#include "core/cycle/Automation.h"
#include "core/cycle/DownloadList.h"
#include "core/cycle/Upload.h"
#include "core/service/AuthorValidation.h"
#include "core/service/ServiceUrls.h"
#include "core/service/WebRequests.h"
#include "support/EmulatorSuite.h"
#include "support/FakeService.h"
#include "support/NetTestSupport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <chrono>
#include <future>
#include <thread>

namespace {

using orbidex::test::ServiceEmulator;
const std::string kNoInternet =
    "Sun Dec 06 23:50:42 2026 - Internet not avaiable. Please contact your Systems "
    "Administrator.";

class WebScripted : public ::testing::Test {
protected:
    CRecordingDisplay& Display() { return *m_fx.display; }
    nettest::DisplayFixture m_fx;
    CFakeService m_internet;
    CEndpoints m_e = nettest::DeadEndpoints();
};

TEST_F(WebScripted, FetchWithoutInternetTellsTheUserEachTimeAndLogsAnEmptyLineAfter)
{
    m_internet.failOpen = true;
    const CWebReply reply = FetchUrl(m_internet, "http://x/");
    EXPECT_EQ(reply.result, EFetchResult::NoInternet);
    EXPECT_EQ(reply.body, "");
    CSettings s;
    s.Author = "ab12";
    EXPECT_EQ(ValidateAuthor(Display().Lines(), m_internet, m_e, s), EAuthorCheck::Unchecked);
    EXPECT_EQ(Display().MessageBoxes(), std::vector<std::string>{kNoInternet});
    EXPECT_EQ(Display().WindowText(), kNoInternet + "\r\n");
    EXPECT_EQ(m_fx.Log(), kNoInternet + "\r\n\r\n");
    EXPECT_EQ(ValidateAuthor(Display().Lines(), m_internet, m_e, s), EAuthorCheck::Unchecked);
    EXPECT_EQ(Display().MessageBoxes().size(), 2u);
}

TEST_F(WebScripted, FetchOfAnUnreachableUrlIsSilent)
{
    const CWebReply reply = FetchUrl(m_internet, "http://x/a");
    EXPECT_EQ(reply.result, EFetchResult::UrlFailed);
    EXPECT_EQ(reply.body, "");
    ASSERT_EQ(m_internet.Seen().requests.size(), 1u);
    EXPECT_EQ(m_internet.Seen().requests[0].agent, "InetURL/1.0");
    EXPECT_EQ(m_internet.Seen().requests[0].flags, inet::kUrlNoCacheWrite);
    EXPECT_TRUE(Display().MessageBoxes().empty());
    EXPECT_EQ(Display().WindowText(), "");
    EXPECT_EQ(m_internet.Seen().liveHandles, 0);
}

// The tray is the agent state's: a probe only asks.
TEST_F(WebScripted, ProbeAsksTheRootAndLeavesTheTrayAlone)
{
    m_internet.failOpen = true;
    EXPECT_EQ(ProbeInternet(m_internet, m_e), EFetchResult::NoInternet);

    m_internet.failOpen = false;
    EXPECT_EQ(ProbeInternet(m_internet, m_e), EFetchResult::UrlFailed);
    m_internet.pages[""] = {""};
    EXPECT_EQ(ProbeInternet(m_internet, m_e), EFetchResult::Ok);
    ASSERT_EQ(m_internet.Seen().requests.size(), 2u);
    EXPECT_EQ(m_internet.Seen().requests[1].url, m_e.httpOrigin + "//");
    EXPECT_EQ(m_internet.Seen().requests[1].flags, 0u);
    EXPECT_TRUE(Display().MessageBoxes().empty());
    EXPECT_EQ(m_internet.Seen().liveHandles, 0);
}

TEST_F(WebScripted, UploadNotificationSaysWhyItFailed)
{
    EXPECT_FALSE(AnnounceUpload(m_internet, ""));
    EXPECT_TRUE(m_internet.Seen().requests.empty());

    ev::FileFailed why;
    m_internet.failOpen = true;
    EXPECT_FALSE(AnnounceUpload(m_internet, "http://x/n", &why));
    EXPECT_EQ(why.notify, ev::ENotifyFault::NoInternet);
    m_internet.failOpen = false;
    EXPECT_FALSE(AnnounceUpload(m_internet, "http://x/n", &why));
    EXPECT_EQ(why.notify, ev::ENotifyFault::Unreachable);
    EXPECT_TRUE(Display().MessageBoxes().empty()) << "the boxes are the rendering's";
    EXPECT_EQ(m_internet.Seen().requests.back().flags, inet::kUrlFinishAtStop);
    EXPECT_EQ(m_internet.Seen().liveHandles, 0);
}

// A step's box comes where the routine's used to: before the step's own lines.
TEST_F(WebScripted, StepsShowTheBoxBeforeTheirLinesAndInsideTheBusySpan)
{
    std::string windowAtBox;
    Display().onMessageBox = [&](const std::string&) {
        windowAtBox = Display().WindowText();
    };
    m_internet.failOpen = true;
    CSettingsRecord record;
    CWorkList work;
    std::atomic<bool> cancelled{false};
    CCycleContext ctx{Display().Lines(), m_internet, m_e, CSettings{}, record, work, cancelled};
    RequestDownloadList(ctx);
    const std::string t = Display().GetTimeText();
    EXPECT_EQ(windowAtBox, t + " - Getting List of Files from the Server\r\n");
    EXPECT_EQ(Display().WindowText(),
              windowAtBox + kNoInternet + "\r\n" + t + " ERROR: Is the network down ???\r\n");
    EXPECT_EQ(Display().MessageBoxes(), std::vector<std::string>{kNoInternet});
}

TEST_F(WebScripted, UploadNotificationIsAcceptedOnlyByTheExactMarker)
{
    const std::pair<const char*, bool> answers[] = {
        {"<html><body>Username Valid!</body></html>", true},
        {"line\r\nxx Username Valid!<br>\r\n", true},
        {"username valid!", false},
        {"USERNAME VALID!", false},
        {"Username Valid", false},
        {"", false}};
    for (const auto& [body, accepted] : answers) {
        m_internet.pages[""] = {body};
        EXPECT_EQ(AnnounceUpload(m_internet, "http://x/n"), accepted) << body;
    }
    EXPECT_TRUE(Display().MessageBoxes().empty());
}

class WebLive : public orbidex::test::EmulatorSuite<> {
protected:
    CRecordingDisplay& Display() { return *m_fx.display; }
    QJsonObject LastRequest() const
    {
        const QJsonArray requests = s_emu->records("web_requests");
        return requests.isEmpty() ? QJsonObject() : requests.last().toObject();
    }

    nettest::DisplayFixture m_fx;
};

TEST_F(WebLive, ProbeReachesTheRootAndFailsWhereNothingListens)
{
    EXPECT_EQ(ProbeInternet(*m_internet, m_e), EFetchResult::Ok);
    EXPECT_EQ(LastRequest()["target"].toString(), "//");
    EXPECT_EQ(LastRequest()["user_agent"].toString(), "InetURL/1.0");
    EXPECT_NE(ProbeInternet(*m_internet, nettest::DeadEndpoints()), EFetchResult::Ok);
    EXPECT_TRUE(Display().MessageBoxes().empty());
}

TEST_F(WebLive, ALongBodyArrivesWholeAndInOrder)
{
    std::string text;
    for (int i = 0; text.size() < 6000; ++i) text += "ext" + std::to_string(i) + ", ";
    s_emu->setExtensions(text);
    EXPECT_EQ(FetchUrl(*m_internet, ValidExtensionsUrl(m_e, false)).body, text);
    EXPECT_EQ(LastRequest()["target"].toString(), "/nimbrel/extverify.php?ext=");
}

TEST_F(WebLive, ErrorPagesAreReadButAcceptNothing)
{
    const std::string page = FetchUrl(*m_internet, m_e.httpOrigin + "/no/such.php").body;
    EXPECT_FALSE(page.empty());
    EXPECT_EQ(LastRequest()["status"].toInt(), 404);
    s_emu->setFaults({{"http_status", QJsonObject{{"status", 500},
                                                  {"body", "oops Username Valid!"},
                                                  {"path", "/nimbrel/copywav.php"}}}});
    EXPECT_FALSE(QueueUploadJob(*m_internet, UploadNotifyUrl(m_e, "ab12", "f", "0")).Accepted());
}

TEST_F(WebLive, HttpsTrustsOnlyTheGivenCertificate)
{
    s_emu->addAuthor("ab12", "secret");
    const std::string url = AuthorVerifyUrl(m_e, "ab12", "secret");
    EXPECT_NE(FetchUrl(*m_internet, url).body.find("Username Valid!"), std::string::npos);
    auto untrusting = CreateInternet("");
    EXPECT_EQ(FetchUrl(*untrusting, url).body, "");
    EXPECT_TRUE(Display().MessageBoxes().empty());
}

TEST_F(WebLive, TheServiceReceivesEveryValueExactlyAsTyped)
{
    const std::string author = "a&b=c #+Jos\xC3\xA9";
    const std::string password = "p&wp=x#y+ z";
    s_emu->addAuthor(author, password);
    EXPECT_TRUE(FetchUrl(*m_internet, AuthorVerifyUrl(m_e, author, password)).Accepted());
    const QJsonArray params = LastRequest()["params"].toArray();
    ASSERT_EQ(params.size(), 2);
    EXPECT_EQ(params[0].toArray()[0].toString(), "username");
    EXPECT_EQ(params[0].toArray()[1].toString().toStdString(), author);
    EXPECT_EQ(params[1].toArray()[0].toString(), "wp");
    EXPECT_EQ(params[1].toArray()[1].toString().toStdString(), password);

    const std::string remote = "ab12_my memo&#1.wav";
    EXPECT_TRUE(QueueUploadJob(*m_internet, UploadNotifyUrl(m_e, author, remote, "7")).Accepted());
    const QJsonObject note = s_emu->records("notifications").last().toObject();
    EXPECT_EQ(note["author"].toString().toStdString(), author);
    EXPECT_EQ(note["file"].toString().toStdString(), remote);
    EXPECT_EQ(note["length"].toString(), "7");
}

TEST_F(WebLive, UploadNotificationRefusedByTheService)
{
    s_emu->addAuthor("ab12", "secret");
    s_emu->setFaults({{"notify_refuse", true}});
    ev::FileFailed why;
    EXPECT_FALSE(AnnounceUpload(*m_internet, UploadNotifyUrl(m_e, "ab12", "f", "0"), &why));
    EXPECT_EQ(why.notify, ev::ENotifyFault::NotAccepted);
    EXPECT_FALSE(AnnounceUpload(*m_internet,
                                UploadNotifyUrl(nettest::DeadEndpoints(), "ab12", "f", "0"), &why));
    EXPECT_EQ(why.notify, ev::ENotifyFault::Unreachable);
}

TEST_F(WebLive, CancelEndsAWaitingRequestAtOnceAndEveryLaterOne)
{
    s_emu->setFaults({{"http_delay", QJsonObject{{"ms", 20000}}}});
    auto fetch = std::async(std::launch::async, [&] {
        return FetchUrl(*m_internet, ValidExtensionsUrl(m_e, false)).body;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    m_internet->Cancel();
    ASSERT_EQ(fetch.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_EQ(fetch.get(), "");
    EXPECT_NE(ProbeInternet(*m_internet, m_e), EFetchResult::Ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(Display().MessageBoxes().empty());
}

}  // namespace
