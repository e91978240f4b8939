#include "platform/Format.h"

#include <gtest/gtest.h>

TEST(Format, ExpandsLikePrintfWithoutALengthLimit)
{
    EXPECT_EQ(Format("%s - %d of %d Uploading %s", "t", 1, 12, "a.wav"),
              "t - 1 of 12 Uploading a.wav");
    EXPECT_EQ(Format("[%2d:%2d:%2d] - ", 7, 5, 30), "[ 7: 5:30] - ");
    EXPECT_EQ(Format("%s", ""), "");
    // Longer than any of the buffers the texts once went through: the display cuts, not this.
    const std::string name(3000, 'n');
    const std::string line = Format("Connecting to %s (Attempt %d of %d)", name.c_str(), 5, 5);
    EXPECT_EQ(line, "Connecting to " + name + " (Attempt 5 of 5)");
}

// What could forge a line or make a name read as another is refused and shown escaped, byte for
// byte; the neighbours of those characters in UTF-8 pass as they are.
TEST(Format, ControlCharactersAreC0C1AndDirectionMarks)
{
    const std::pair<const char*, const char*> rows[] = {
        {"a\tb", "a\\x09b"},
        {"del\x7f", "del\\x7F"},
        {"next\xC2\x85line", "next\\xC2\\x85line"},
        {"c1\xC2\x80\xC2\x9F", "c1\\xC2\\x80\\xC2\\x9F"},
        {"rtl\xE2\x80\xAEtxt.exe", "rtl\\xE2\\x80\\xAEtxt.exe"},
        {"\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9", "\\xE2\\x80\\xAA\\xE2\\x81\\xA6\\xE2\\x81\\xA9"},
        {"mark\xE2\x80\x8E\xE2\x80\x8F", "mark\\xE2\\x80\\x8E\\xE2\\x80\\x8F"},
        {"line\xE2\x80\xA8para\xE2\x80\xA9", "line\\xE2\\x80\\xA8para\\xE2\\x80\\xA9"},
        {"dot\xE2\x80\xA7", nullptr},  // the hyphenation point, just below the separators
        {"caf\xC3\xA9", nullptr},       // é
        {"nb\xC2\xA0sp", nullptr},      // no-break space, just past C1
        {"dash\xE2\x80\x90", nullptr},  // hyphen, beside the marks
        {"nn\xE2\x80\xAF\xE2\x81\xA5", nullptr},
        {"cut\xC2", nullptr},  // a lone lead byte at the end
    };
    for (const auto& [text, escaped] : rows) {
        EXPECT_EQ(HasControlChars(text), escaped != nullptr) << escaped;
        EXPECT_EQ(EscapeControlChars(text), escaped ? escaped : text);
    }
}
