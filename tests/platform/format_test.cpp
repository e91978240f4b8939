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
