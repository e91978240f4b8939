// ValidateAuthor against the emulator: the request, the decision and the status bar.
#include "core/service/AuthorValidation.h"
#include "support/EmulatorSuite.h"
#include "support/FakeService.h"
#include "support/NetTestSupport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

namespace {

using orbidex::test::ServiceEmulator;

class AuthorValidation : public orbidex::test::EmulatorSuite<> {
protected:
    void SetUp() override
    {
        EmulatorSuite::SetUp();
        s_emu->addAuthor("ab12", "secret");
    }
    bool Validate(const std::string& author, const std::string& password)
    {
        CSettings s;
        s.Author = author;
        s.Password = password;
        return ValidateAuthor(Display().Lines(), *m_internet, m_e, s) == EAuthorCheck::Valid;
    }
    void Answer(const char* body)
    {
        s_emu->setFaults({{"http_status", QJsonObject{{"status", 200},
                                                      {"body", body},
                                                      {"path", "/nimbrel/authorverify.php"}}}});
    }
    CRecordingDisplay& Display() { return *m_fx.display; }

    nettest::DisplayFixture m_fx;
};

TEST_F(AuthorValidation, NoLoginIdIsNotConfiguredAndNothingIsAsked)
{
    CSettings s;
    s.Password = "secret";
    EXPECT_EQ(ValidateAuthor(Display().Lines(), *m_internet, m_e, s), EAuthorCheck::NotConfigured);
    EXPECT_TRUE(s_emu->records("web_requests").isEmpty());
    EXPECT_EQ(m_fx.Log(), "");
}

TEST_F(AuthorValidation, TheServicesAnswerDecides)
{
    EXPECT_TRUE(Validate("ab12", "secret"));
    EXPECT_FALSE(Validate("ab12", "wrong"));
    const QJsonArray requests = s_emu->records("web_requests");
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].toObject()["scheme"].toString(), "https");
    EXPECT_EQ(requests[0].toObject()["target"].toString(),
              "/nimbrel/authorverify.php?username=ab12&wp=secret");
    EXPECT_EQ(Display().WindowText(), "");
    EXPECT_EQ(m_fx.Log(), "");
}

TEST_F(AuthorValidation, AnEmptyPasswordIsStillSent)
{
    s_emu->addAuthor("nopw", "");
    EXPECT_TRUE(Validate("nopw", ""));
    EXPECT_EQ(s_emu->records("web_requests").last().toObject()["target"].toString(),
              "/nimbrel/authorverify.php?username=nopw&wp=");
}

TEST_F(AuthorValidation, TheMarkerCountsAnywhereButOnlyInItsOwnCapitals)
{
    Answer("<html>\r\n<p>first line</p>\r\nxx Username Valid!<br>yy\r\n</html>\r\n");
    EXPECT_TRUE(Validate("ab12", "anything"));
    Answer("<html>username valid!</html>");
    EXPECT_FALSE(Validate("ab12", "secret"));
    Answer("USERNAME VALID!");
    EXPECT_FALSE(Validate("ab12", "secret"));
}

TEST_F(AuthorValidation, LoginValuesWithQueryCharactersReachTheServiceIntact)
{
    s_emu->addAuthor("o'brien #2", "p&wp=ok+ 1");
    EXPECT_TRUE(Validate("o'brien #2", "p&wp=ok+ 1"));
    // Cut at "&" the password would be "p", which must not be accepted.
    s_emu->addAuthor("cut", "p");
    EXPECT_FALSE(Validate("cut", "p&wp=x"));
}

// Only an answer the service meant can refuse a login; a failing service leaves it unchecked.
TEST(AuthorValidationScripted, OnlyAWholeSuccessfulAnswerCanRefuse)
{
    struct Row {
        const char* what;
        CFakeService::Page page;
        EAuthorCheck expected;
    };
    const Row rows[] = {
        {"200 without marker", {"Invalid Username or Password", -1, 200}, EAuthorCheck::Refused},
        {"200 with marker", {"Username Valid!", -1, 200}, EAuthorCheck::Valid},
        {"503 page", {"<html>Service Unavailable</html>", -1, 503}, EAuthorCheck::Unchecked},
        {"404 page", {"<html>Not Found</html>", -1, 404}, EAuthorCheck::Unchecked},
        {"body cut", {std::string(3000, 'x'), 1, 200}, EAuthorCheck::Unchecked},
        {"503 with marker", {"Username Valid!", -1, 503}, EAuthorCheck::Unchecked},
        {"cut after marker", {"Username Valid!" + std::string(3000, 'x'), 1, 200},
         EAuthorCheck::Unchecked},
    };
    for (const Row& row : rows) {
        nettest::DisplayFixture fx;
        CFakeService internet;
        internet.pages["authorverify.php"] = row.page;
        CSettings s;
        s.Author = "ab12";
        EXPECT_EQ(ValidateAuthor(fx.display->Lines(), internet, nettest::DeadEndpoints(), s), row.expected)
            << row.what;
    }
}

TEST_F(AuthorValidation, NoNetworkIsUncheckedWithoutABox)
{
    CSettings s;
    s.Author = "ab12";
    s.Password = "secret";
    EXPECT_EQ(ValidateAuthor(Display().Lines(), *m_internet, nettest::DeadEndpoints(), s),
              EAuthorCheck::Unchecked);
    EXPECT_EQ(Display().LastStatus(), "");
    EXPECT_TRUE(Display().MessageBoxes().empty());
}

TEST(AuthorValidationScripted, NoInternetHandleShowsTheFetchMessageAndChecksNothing)
{
    nettest::DisplayFixture fx;
    CFakeService internet;
    internet.failOpen = true;
    CSettings s;
    s.Author = "ab12";
    EXPECT_EQ(ValidateAuthor(fx.display->Lines(), internet, nettest::DeadEndpoints(), s),
              EAuthorCheck::Unchecked);
    EXPECT_EQ(fx.display->MessageBoxes().size(), 1u);
    EXPECT_EQ(fx.display->LastStatus(), "");
}

}  // namespace
