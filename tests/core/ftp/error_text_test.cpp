// The error-text table and the libcurl -> 12xxx mapping the download failure line relies on.
#include "core/ftp/FtpConnect.h"
#include "platform/CurlInternet.h"

#include <gtest/gtest.h>

namespace {

struct TextRow {
    unsigned long code;
    const char* text;
};

class ErrorTextRows : public ::testing::TestWithParam<TextRow> {};

TEST_P(ErrorTextRows, GivesTheSentenceByteForByte)
{
    EXPECT_EQ(GetInternetErrorText(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorTextRows,
    ::testing::Values(
        TextRow{12001, "No more handles could be generated at this time."},
        TextRow{12002, "The request has timed out."},
        TextRow{12003, "An internal error has occurred."},
        TextRow{12004, "An internal error has occurred."},
        TextRow{12007, "The server name could not be resolved (No Connection ?)."},
        TextRow{12010,
                "The length of an option supplied to InternetQueryOption or InternetSetOption is "
                "incorrect for the type of option specified."},
        TextRow{12014,
                "The request to connect and log on to an FTP server could not be completed "
                "because the supplied password is incorrect."},
        TextRow{12015, "The request to connect to and log on to an FTP server failed."},
        TextRow{12017,
                "The operation was canceled, usually because the handle on which the request was "
                "operating was closed before the operation completed."},
        // Trailing blank kept.
        TextRow{12019,
                "The requested operation cannot be carried out because the handle supplied is not "
                "in the correct state. "},
        TextRow{12029, "The attempt to connect to the server failed."},
        TextRow{12030, "The connection with the server has been terminated."},
        TextRow{12033, "The request to the proxy was invalid."},
        TextRow{12036, "The request failed because the handle already exists."},
        // Two blanks after "session".
        TextRow{12110,
                "The requested operation cannot be made on the FTP session  handle because an "
                "operation is already in progress."},
        TextRow{12111, "The FTP operation was not completed because the session was aborted."},
        // Codes the table lacks.
        TextRow{0, ""}, TextRow{12000, ""}, TextRow{12034, ""}, TextRow{12035, ""},
        TextRow{12037, ""}, TextRow{12060, ""}, TextRow{12109, ""}, TextRow{12112, ""},
        TextRow{12175, ""}, TextRow{5, ""}, TextRow{4294967295ul, ""}));

TEST(ErrorText, EveryCodeFrom12001To12033AndTheOthersHasASentence)
{
    for (unsigned long code = 12001; code <= 12033; ++code)
        EXPECT_FALSE(GetInternetErrorText(code).empty()) << code;
    EXPECT_FALSE(GetInternetErrorText(12036).empty());
}

struct MapRow {
    CURLcode curl;
    curlnet::TransferWatch::Stop stop;
    unsigned long code;
};

class CurlCodeRows : public ::testing::TestWithParam<MapRow> {};

TEST_P(CurlCodeRows, MapToTheErrorNumbering)
{
    EXPECT_EQ(curlnet::MapCurlCode(GetParam().curl, GetParam().stop), GetParam().code);
}

using Stop = curlnet::TransferWatch::Stop;
INSTANTIATE_TEST_SUITE_P(
    Table, CurlCodeRows,
    ::testing::Values(MapRow{CURLE_OK, Stop::None, 0},
                      MapRow{CURLE_LOGIN_DENIED, Stop::None, 12015},
                      MapRow{CURLE_COULDNT_RESOLVE_HOST, Stop::None, 12007},
                      MapRow{CURLE_COULDNT_CONNECT, Stop::None, 12029},
                      MapRow{CURLE_OPERATION_TIMEDOUT, Stop::None, 12002},
                      MapRow{CURLE_REMOTE_FILE_NOT_FOUND, Stop::None, 12003},
                      MapRow{CURLE_REMOTE_ACCESS_DENIED, Stop::None, 12003},
                      MapRow{CURLE_UPLOAD_FAILED, Stop::None, 12003},
                      MapRow{CURLE_PARTIAL_FILE, Stop::None, 12030},
                      MapRow{CURLE_RECV_ERROR, Stop::None, 12111},
                      MapRow{CURLE_ABORTED_BY_CALLBACK, Stop::Cancelled, 12017},
                      MapRow{CURLE_ABORTED_BY_CALLBACK, Stop::Stalled, 12002},
                      MapRow{CURLE_URL_MALFORMAT, Stop::None, 12005},
                      MapRow{CURLE_PEER_FAILED_VERIFICATION, Stop::None, 12175},
                      MapRow{CURLE_WRITE_ERROR, Stop::None, 12004}));

TEST(FailureText, AddsTheServersReplyOnlyWhenItSaysMore)
{
    using curlnet::DescribeFailure;
    EXPECT_EQ(DescribeFailure(CURLE_LOGIN_DENIED, Stop::None, 0, "Access denied: 530",
                              "530 Authentication failed."),
              "Access denied: 530 - server said: 530 Authentication failed.");
    EXPECT_EQ(DescribeFailure(CURLE_COULDNT_CONNECT, Stop::None, 0, "", "220 Welcome"),
              curl_easy_strerror(CURLE_COULDNT_CONNECT));
    EXPECT_EQ(DescribeFailure(CURLE_ABORTED_BY_CALLBACK, Stop::Stalled, 1500, "", ""),
              "Operation timed out: nothing received or sent for 1500 ms");
}

}  // namespace
