// Remote path resolution and the FTP origin: what decides which file a command names.
#include "platform/FtpPath.h"

#include <gtest/gtest.h>

namespace {

struct ResolveRow {
    const char* base;
    const char* path;
    const char* resolved;
};

class ResolveRows : public ::testing::TestWithParam<ResolveRow> {};

TEST_P(ResolveRows, GiveAnAbsoluteNormalisedPath)
{
    std::string out;
    ASSERT_TRUE(curlnet::Resolve(GetParam().base, GetParam().path, &out));
    EXPECT_EQ(out, GetParam().resolved);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ResolveRows,
    ::testing::Values(ResolveRow{"/", "/nimbrel.example/nimbreluploads/",
                                 "/nimbrel.example/nimbreluploads"},
                      ResolveRow{"/downloads", "ab12", "/downloads/ab12"},
                      ResolveRow{"/downloads/ab12", "letter.rtf", "/downloads/ab12/letter.rtf"},
                      // A source directory ending in "/" plus "/" plus the name.
                      ResolveRow{"/", "/downloads/ab12//letter.rtf", "/downloads/ab12/letter.rtf"},
                      ResolveRow{"/a/b", "../c/./d", "/a/c/d"}, ResolveRow{"/", "../../x", "/x"},
                      ResolveRow{"/a", "", "/a"},
                      ResolveRow{"/a", "my memo #1.wav", "/a/my memo #1.wav"}));

TEST(FtpPath, RefusesControlCharacters)
{
    std::string out;
    EXPECT_FALSE(curlnet::Resolve("/", "a\r\nDELE b", &out));
    EXPECT_FALSE(curlnet::Resolve("/", std::string("a\0b", 3), &out));
    EXPECT_FALSE(curlnet::Resolve("/", "a\x7F", &out));
}

TEST(FtpPath, ParentAndBaseName)
{
    EXPECT_EQ(curlnet::Parent("/a/b/c.rtf"), "/a/b");
    EXPECT_EQ(curlnet::Parent("/c.rtf"), "/");
    EXPECT_EQ(curlnet::BaseName("/a/b/c.rtf"), "c.rtf");
    EXPECT_EQ(curlnet::BaseName("c.rtf"), "c.rtf");
    EXPECT_EQ(curlnet::EncodeSegment("my memo#1%.wav"), "my%20memo%231%25.wav");
}

TEST(FtpPath, OriginTakesThePortFromTheHostWhenItHasOne)
{
    EXPECT_EQ(curlnet::FtpOrigin("ftp.nimbrel.example", 21), "ftp://ftp.nimbrel.example:21");
    EXPECT_EQ(curlnet::FtpOrigin("127.0.0.1:2121", 21), "ftp://127.0.0.1:2121");
    EXPECT_EQ(curlnet::FtpOrigin("[::1]:2121", 21), "ftp://[::1]:2121");
    EXPECT_EQ(curlnet::FtpOrigin("[::1]", 21), "ftp://[::1]:21");
    EXPECT_EQ(curlnet::FtpOrigin("::1", 21), "ftp://[::1]:21");
}

}  // namespace
