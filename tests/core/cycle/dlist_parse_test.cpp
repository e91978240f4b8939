#include "core/cycle/DownloadList.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>

namespace {

struct ParseCase {
    const char* label;
    std::string body;
    // Expected outcome.
    std::string stopText;  // empty: the list was read to its end
    unsigned sinks = 0;
    bool countRead = true;
    int32_t count = 0;
    std::string dir{};
    std::vector<std::string> names{};
    std::vector<std::string> ids{};
};

// The body lives in a heap block of exactly its size, so AddressSanitizer sees any read past it.
CDownloadList ParseExact(const std::string& body)
{
    std::unique_ptr<char[]> block(new char[body.size() ? body.size() : 1]);
    std::memcpy(block.get(), body.data(), body.size());
    return ParseDownloadList(std::string_view(block.get(), body.size()));
}

// Heap in use, counted by the replaced operator new below while `g_counting` is set.
std::atomic<bool> g_counting{false};
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};

std::int64_t PeakHeapDuring(const std::function<void()>& run)
{
    g_live = 0;
    g_peak = 0;
    g_counting = true;
    run();
    g_counting = false;
    return g_peak;
}

const std::string kEqualRetry = "Equal Sign not found. Will retry again in next poll";
const std::string kQuoteRetry = "Quote-sign not found. Will retry again in next poll";
const std::string kWorkedName = "abcd___34543_SOAP_1087432418_2004-10-25_14462.rtf";

std::vector<ParseCase> Cases()
{
    const std::string dir99(99, 'd');
    const std::string id255(255, '7');
    return {
        {"WorkedExample",
         "countoffiles = 1<br>\r\nSourceDir=/topdir/nimbrel<br>\r\nfile_1 = \"" + kWorkedName +
             "\"<br>\r\nfileid_1 = 34543<br>\r\n",
         "",
         0,
         true,
         1,
         "/topdir/nimbrel",
         {kWorkedName},
         {"34543"}},
        {"CountZero", "countoffiles = 0<br>\r\nSourceDir=/d<br>\r\n", "", 0, true, 0, "/d", {}, {}},
        {"CountNegativeShowsValueText", "countoffiles = -1<br>SourceDir=/d<br>", "-1",
         kToStatus | kToLog, false},
        {"NegativeTextIsTheWholeValue", "countoffiles=-2x<br>", "-2x", kToStatus | kToLog, false},
        {"NegativeTextIsEscaped", "countoffiles=-1\x1b[2J\tx<br>", "-1\\x1B[2J\\x09x",
         kToStatus | kToLog, false},
        {"CountNotANumberIsZero", "countoffiles = abc\r\nSourceDir = /d\r\n", "", 0, true, 0, "/d"},
        {"CountWithPlusSign",
         "countoffiles=+1 SourceDir=/d file_1 \"a\" fileid_1=9",
         "",
         0,
         true,
         1,
         "/d",
         {"a"},
         {"9"}},
        {"CountSaturatesThenMissingItemStops",
         "countoffiles=99999999999 SourceDir=/d file_1=\"a\" fileid_1=1",
         "DL-ERROR: FName2",
         kToAll,
         true,
         2147483647,
         "/d",
         {"a"},
         {"1"}},
        {"KeyIsCaseSensitive", "CountOfFiles=1", "DL-ERROR: CFiles", kToAll, false},
        {"EmptyBody", "", "DL-ERROR: CFiles", kToAll, false},
        {"GarbageBody", "\x01\xff<html>404 Not Found</html>", "DL-ERROR: CFiles", kToAll, false},
        {"CountKeyAtEndOfBody", "countoffiles", kEqualRetry, kToWindow, false},
        {"CountEqualAtEndOfBody", "countoffiles =", "DL-ERROR: SDir001", kToAll, true, 0},
        {"MissingSourceDir", "countoffiles = 1<br>\r\nfile_1 = \"a\"<br>fileid_1 = 1",
         "DL-ERROR: SDir001", kToAll, true, 1},
        {"SourceDirWithoutEqual", "countoffiles=0 SourceDir /d", kEqualRetry, kToWindow, true, 0},
        {"SourceDirEmptyAtEnd", "countoffiles=0 SourceDir=", "", 0, true, 0, ""},
        {"SourceDirAtLimit", "countoffiles=0 SourceDir=" + dir99 + "<br>", "", 0, true, 0, dir99},
        {"SourceDirOverLimit", "countoffiles=0 SourceDir=" + dir99 + "x<br>",
         "DL-ERROR: SourceDir too long. Will retry again in next poll", kToAll, true, 0},
        {"SourceDirWithControlCharacter", "countoffiles=0 SourceDir=/a\tb<br>",
         "DL-ERROR: Unsafe SourceDir. Will retry again in next poll", kToAll, true, 0},
        {"CountTwoWithOneItem",
         "countoffiles = 2<br>\r\nSourceDir=/d<br>\r\nfile_1 = \"a.rtf\"<br>\r\nfileid_1 = 11<br>",
         "DL-ERROR: FName2",
         kToAll,
         true,
         2,
         "/d",
         {"a.rtf"},
         {"11"}},
        {"NameWithoutQuotes", "countoffiles=1<br>SourceDir=/d<br>file_1 = a.rtf<br>fileid_1 = 5",
         kQuoteRetry, kToWindow, true, 1, "/d"},
        {"NameWithoutClosingQuote", "countoffiles=1 SourceDir=/d fileid_1=5 file_1 = \"a.rtf",
         kQuoteRetry, kToWindow, true, 1, "/d"},
        {"QuotedNameNeedsNoEqual",
         "countoffiles=1 SourceDir=/d file_1 \"a b.rtf\" fileid_1=3",
         "",
         0,
         true,
         1,
         "/d",
         {"a b.rtf"},
         {"3"}},
        {"MissingFileId",
         "countoffiles=1 SourceDir=/d file_1=\"a\"<br>",
         "DL-ERROR: FileID1",
         kToAll,
         true,
         1,
         "/d",
         {"a"}},
        {"FileIdWithoutEqual",
         "countoffiles=1 SourceDir=/d file_1 \"a\" fileid_1 5",
         "Equal Sign not found in fileid.",
         kToWindow,
         true,
         1,
         "/d",
         {"a"}},
        {"FileIdEmptyAtEnd",
         "countoffiles=1 SourceDir=/d file_1=\"a\" fileid_1=",
         "",
         0,
         true,
         1,
         "/d",
         {"a"},
         {""}},
        {"FileIdAtLimit",
         "countoffiles=1 SourceDir=/d file_1=\"a\" fileid_1=" + id255,
         "",
         0,
         true,
         1,
         "/d",
         {"a"},
         {id255}},
        {"FileIdOverLimit",
         "countoffiles=1 SourceDir=/d file_1=\"a\" fileid_1=" + id255 + "8",
         "DL-ERROR: FileID1 too long. Will retry again in next poll",
         kToAll,
         true,
         1,
         "/d",
         {"a"}},
        // A plain search: file_1 is found inside an earlier file_10, and fileid_1 inside fileid_10.
        {"FirstOccurrenceInsideFile10",
         "countoffiles=1 SourceDir=/d file_10=\"ten.rtf\" fileid_10=1010 file_1=\"one.rtf\" "
         "fileid_1=1001",
         "",
         0,
         true,
         1,
         "/d",
         {"ten.rtf"},
         {"1010"}},
        {"FirstOccurrenceInsideAName",
         "countoffiles=2 SourceDir=/d file_1=\"myfile_2.rtf\" fileid_1=1 file_2=\"b\" fileid_2=2",
         "",
         0,
         true,
         2,
         "/d",
         {"myfile_2.rtf", " fileid_1=1 file_2="},
         {"1", "2"}},
        {"LeadingZeroDoesNotMatch", "countoffiles=1 SourceDir=/d file_01=\"z\" fileid_1=1",
         "DL-ERROR: FName1", kToAll, true, 1, "/d"},
        {"SeparatedByBlanks",
         "countoffiles=2 SourceDir=/d file_1=\"a\" fileid_1=11 file_2=\"b\" fileid_2=22",
         "",
         0,
         true,
         2,
         "/d",
         {"a", "b"},
         {"11", "22"}},
        {"SeparatedByCrLf",
         "countoffiles=2\r\nSourceDir=/d\r\nfile_1=\"a\"\r\nfileid_1=11\r\nfile_2=\"b\"\r\n"
         "fileid_2=22\r\n",
         "",
         0,
         true,
         2,
         "/d",
         {"a", "b"},
         {"11", "22"}},
        {"SeparatedByBrOnly",
         "countoffiles=2<br>SourceDir=/d<br>file_2=\"b\"<br>fileid_2=22<br>file_1=\"a\"<br>"
         "fileid_1=11<br>",
         "",
         0,
         true,
         2,
         "/d",
         {"a", "b"},
         {"11", "22"}},
        {"BlanksAfterEqualOnly", "countoffiles=\t1 SourceDir=/d", "", 0, true, 0, "/d"},
        {"HostileNamesAreKeptForThePassToRefuse",
         "countoffiles=2 SourceDir=/d file_1=\"../x\" fileid_1=1 file_2=\"a\r\nb\" fileid_2=2",
         "",
         0,
         true,
         2,
         "/d",
         {"../x", "a\r\nb"},
         {"1", "2"}},
    };
}

class DownloadListParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DownloadListParse, GivesCountDirNamesIdsOrTheStop)
{
    const ParseCase& c = GetParam();
    const CDownloadList r = ParseExact(c.body);
    EXPECT_EQ(r.stopped, !c.stopText.empty());
    EXPECT_EQ(r.stopText, c.stopText);
    EXPECT_EQ(r.stopSinks, c.sinks);
    EXPECT_EQ(r.countRead, c.countRead);
    if (c.countRead) {
        EXPECT_EQ(r.count, c.count);
    }
    EXPECT_EQ(r.sourceDir, c.dir);
    EXPECT_EQ(r.names, c.names);
    EXPECT_EQ(r.ids, c.ids);
}

INSTANTIATE_TEST_SUITE_P(Bodies, DownloadListParse, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.label); });

std::string ListOf(int32_t count, int32_t present)
{
    std::string list = "countoffiles=" + std::to_string(count) + "<br>\r\nSourceDir=/d<br>\r\n";
    for (int n = 1; n <= present; ++n)
        list += "file_" + std::to_string(n) + " = \"f" + std::to_string(n) +
                ".rtf\"<br>\r\nfileid_" + std::to_string(n) + " = " + std::to_string(n + 7) +
                "<br>\r\n";
    return list;
}

TEST(DownloadListParseLarge, HugeBodiesEndWhereTheyShould)
{
    // A key at the very end of a large body.
    std::string body(4 << 20, 'a');
    body += "countoffiles=";
    EXPECT_EQ(ParseExact(body).stopText, "DL-ERROR: SDir001");

    // One cycle takes the first kMaxListItems; what the rest of the list holds waits for later.
    CDownloadList r = ParseExact(ListOf(20001, 20000));
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.count, 20001);
    ASSERT_EQ(r.names.size(), static_cast<std::size_t>(kMaxListItems));
    EXPECT_EQ(r.names.back(), "f1000.rtf");
    EXPECT_EQ(r.ids[123], "131");

    r = ParseExact(ListOf(kMaxListItems, kMaxListItems - 1));
    EXPECT_EQ(r.stopText, "DL-ERROR: FName1000");
    EXPECT_EQ(r.names.size(), static_cast<std::size_t>(kMaxListItems - 1));
}

TEST(DownloadListParseLarge, MemoryStaysWithinTheBodysSize)
{
    // Distinct keys whose every digit prefix is a number (an index of all keys grows tenfold),
    // and a thousand names that all open on the same 32 MiB quote.
    std::string keys = "countoffiles=2000000000 SourceDir=/d ";
    for (std::int64_t n = 1000000000; keys.size() < (32u << 20); ++n)
        keys += "file_" + std::to_string(n) + "=\"";
    std::string names = "countoffiles=1000 SourceDir=/d ";
    for (int n = 1; n <= 1000; ++n)
        names += "file_" + std::to_string(n) + " fileid_" + std::to_string(n) + "=1 ";
    names += '"' + std::string(32u << 20, 'x') + '"';
    for (const std::string* body : {&keys, &names}) {
        const std::int64_t peak = PeakHeapDuring([&] { ParseDownloadList(*body); });
        EXPECT_LT(peak, static_cast<std::int64_t>(body->size()));
    }
}

TEST(DownloadListParseLarge, EveryCutOfAListStaysInsideTheBody)
{
    const std::string full =
        "countoffiles = 2<br>\r\nSourceDir=/d<br>\r\nfile_1 = \"a.rtf\"<br>\r\nfileid_1 = 1<br>\r\n"
        "file_2 = \"b.rtf\"<br>\r\nfileid_2 = 2<br>\r\n";
    for (std::size_t n = 0; n < full.size(); ++n) {
        const CDownloadList r = ParseExact(full.substr(0, n));
        EXPECT_LE(r.ids.size(), 2u) << n;
        EXPECT_LE(r.ids.size(), r.names.size()) << n;
        if (r.ids.size() == 2) {
            EXPECT_TRUE(r.ids[1].empty() || r.ids[1] == "2") << n;
        }
    }
    const CDownloadList whole = ParseExact(full);
    EXPECT_FALSE(whole.stopped);
    EXPECT_EQ(whole.names, (std::vector<std::string>{"a.rtf", "b.rtf"}));
}

}  // namespace

void* operator new(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    if (g_counting) {
        const std::int64_t live = g_live += static_cast<std::int64_t>(malloc_usable_size(p));
        std::int64_t peak = g_peak;
        while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
        }
    }
    return p;
}

void operator delete(void* p) noexcept
{
    if (p && g_counting)
        g_live -= static_cast<std::int64_t>(malloc_usable_size(p));
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}
