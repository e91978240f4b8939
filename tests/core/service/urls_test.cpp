// Request URLs: exact forms, and values that reach the service as typed.
#include "core/service/ServiceUrls.h"

#include <gtest/gtest.h>

namespace {

struct EncodeRow {
    const char* value;
    const char* encoded;
};

class UrlEncodeRows : public ::testing::TestWithParam<EncodeRow> {};

TEST_P(UrlEncodeRows, KeepsOnlyUnreservedCharacters)
{
    EXPECT_EQ(UrlEncode(GetParam().value), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(Values, UrlEncodeRows,
                         ::testing::Values(EncodeRow{"", ""}, EncodeRow{"AZaz09-._~", "AZaz09-._~"},
                                           EncodeRow{"pass&wp=x", "pass%26wp%3Dx"},
                                           EncodeRow{"a#b", "a%23b"}, EncodeRow{"a+b", "a%2Bb"},
                                           EncodeRow{"a b", "a%20b"},
                                           EncodeRow{"Jos\xC3\xA9", "Jos%C3%A9"},
                                           EncodeRow{"100%", "100%25"},
                                           EncodeRow{"a/b?c", "a%2Fb%3Fc"},
                                           EncodeRow{"\r\n", "%0D%0A"}, EncodeRow{"\xFF", "%FF"}));

CEndpoints Hosts()
{
    CEndpoints e;
    e.httpOrigin = "http://www.nimbrel.example";
    e.httpsOrigin = "https://www.nimbrel.example";
    e.httpBareOrigin = "http://nimbrel.example";
    return e;
}

TEST(ServiceUrls, HaveTheServicesPathsAndKeysInOrder)
{
    const CEndpoints e = Hosts();
    EXPECT_EQ(ProbeUrl(e), "http://www.nimbrel.example//");
    EXPECT_EQ(AuthorVerifyUrl(e, "ab12", "secret"),
              "https://www.nimbrel.example/nimbrel/authorverify.php?username=ab12&wp=secret");
    EXPECT_EQ(AuthorVerifyUrl(e, "ab12", ""),
              "https://www.nimbrel.example/nimbrel/authorverify.php?username=ab12&wp=");
    EXPECT_EQ(UploadNotifyUrl(e, "ab12", "ab12_memo.wav", "183"),
              "http://www.nimbrel.example/nimbrel/copywav.php?username=ab12&file=ab12_memo.wav"
              "&length=183");
    EXPECT_EQ(DownloadListUrl(e, "ab12", "secret"),
              "https://www.nimbrel.example/nimbrel/orbidexdload.php?author=ab12&nbupw=secret");
    EXPECT_EQ(DownloadConfirmUrl(e, "ab12", "secret", "34543"),
              "http://www.nimbrel.example/nimbrel/nbdlsuccess.php?username=ab12&nbupw=secret"
              "&fileid=34543");
    EXPECT_EQ(ValidExtensionsUrl(e, true), "http://nimbrel.example/nimbrel/extverify.php?ext=");
    EXPECT_EQ(ValidExtensionsUrl(e, false),
              "http://www.nimbrel.example/nimbrel/extverify.php?ext=");
}

TEST(ServiceUrls, EncodeEveryValueSoNoneCanAddKeys)
{
    const CEndpoints e = Hosts();
    EXPECT_EQ(AuthorVerifyUrl(e, "a&wp=x", "p&w d#"),
              "https://www.nimbrel.example/nimbrel/authorverify.php?username=a%26wp%3Dx"
              "&wp=p%26w%20d%23");
    EXPECT_EQ(UploadNotifyUrl(e, "ab12", "ab12_my memo#1.wav", "0"),
              "http://www.nimbrel.example/nimbrel/copywav.php?username=ab12"
              "&file=ab12_my%20memo%231.wav&length=0");
    EXPECT_EQ(DownloadConfirmUrl(e, "ab12", "+", "1&x=2"),
              "http://www.nimbrel.example/nimbrel/nbdlsuccess.php?username=ab12&nbupw=%2B"
              "&fileid=1%26x%3D2");
}

TEST(ServiceUrls, AnOriginWithATrailingSlashDoesNotDoubleIt)
{
    CEndpoints e = Hosts();
    e.httpOrigin += "/";
    e.httpsOrigin += "/";
    EXPECT_EQ(ProbeUrl(e), "http://www.nimbrel.example//");
    EXPECT_EQ(DownloadListUrl(e, "a", "b"),
              "https://www.nimbrel.example/nimbrel/orbidexdload.php?author=a&nbupw=b");
}

}  // namespace
