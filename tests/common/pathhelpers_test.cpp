#include "common/fixedtext.h"
#include "common/pathhelpers.h"
#include "common/spanrect.h"

#include <gtest/gtest.h>

#include <string>

TEST(PathHelpers, BaseNameTakesTheTextAfterAnySeparator)
{
    EXPECT_STREQ(baseNameOf("a/b/plot.pvg"), "plot.pvg");
    EXPECT_STREQ(baseNameOf("dir\\plot.pvg"), "plot.pvg");
    EXPECT_STREQ(baseNameOf("C:plot.pvg"), "plot.pvg");
    EXPECT_STREQ(baseNameOf("plot.pvg"), "plot.pvg");
    EXPECT_STREQ(baseNameOf("dir/"), "");
}

TEST(PathHelpers, DirectoryPartIsAnySeparator)
{
    EXPECT_FALSE(hasDirectoryPart("plot.pvg"));
    EXPECT_TRUE(hasDirectoryPart("sub/plot.pvg"));
    EXPECT_TRUE(hasDirectoryPart("sub\\plot.pvg"));
    EXPECT_TRUE(hasDirectoryPart("C:plot.pvg"));
}

TEST(PathHelpers, StripSuffixOnlyWhenLongerAndCaseEqual)
{
    char name[32] = "a/b/plot.pvg";
    stripSuffix(name, ".pvg");
    EXPECT_STREQ(name, "a/b/plot");
    char upper[32] = "PLOT.PVG";
    stripSuffix(upper, ".pvg");
    EXPECT_STREQ(upper, "PLOT.PVG");
    char bare[32] = ".pvg";
    stripSuffix(bare, ".pvg");
    EXPECT_STREQ(bare, ".pvg");
}

TEST(PathHelpers, EnsureExtensionLooksForADotAfterTheLastSeparator)
{
    const struct {
        const char *typed;
        const char *expected;
    } cases[] = {
        {"report", "report.pvg"},
        {"report.PVG", "report.PVG"},
        {"report.txt", "report.txt"},
        {"report.old", "report.old"},
        {"report.pvg", "report.pvg"},
        {"my.dir/report", "my.dir/report.pvg"},
        {"my.dir\\report", "my.dir\\report.pvg"},
        {"/out/copy", "/out/copy.pvg"},
        {"", ".pvg"},
    };
    for (const auto &c : cases) {
        std::string name = c.typed;
        ensureExtension(name, ".pvg");
        EXPECT_EQ(name, c.expected) << "typed: " << c.typed;
    }
}

TEST(FixedText, LongTextsAreCutAtTheBufferAndReported)
{
    char buffer[8];
    EXPECT_TRUE(copyText(buffer, "1234567"));
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_FALSE(copyText(buffer, "123456789"));
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_TRUE(copyText(buffer, nullptr));
    EXPECT_STREQ(buffer, "");
    copyText(buffer, "abc");
    EXPECT_FALSE(appendText(buffer, "defghij"));
    EXPECT_STREQ(buffer, "abcdefg");
}

TEST(SpanRect, CornersGiveUnnormalisedExtent)
{
    SpanRect r;
    r.setCorners(300, 200, 100, 50);
    EXPECT_EQ(r.width, -200);
    EXPECT_EQ(r.height, -150);
    r.moveTopLeft(10, 20);
    EXPECT_EQ(r.right, -190);
    EXPECT_EQ(r.bottom, -130);
}
