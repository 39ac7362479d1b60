// Path helpers, fixed text buffers and SpanRect.
#include "common/fixedtext.h"
#include "common/pathhelpers.h"
#include "common/spanrect.h"

#include <gtest/gtest.h>

#include <string>

TEST(PathHelpers, SeparatorsAreSlashBackslashAndColon)
{
    for (const auto &[path, base, hasDirectory] : {std::tuple{"a/b/plot.pvg", "plot.pvg", true},
             {"dir\\plot.pvg", "plot.pvg", true}, {"C:plot.pvg", "plot.pvg", true}, {"plot.pvg", "plot.pvg", false},
             {"dir/", "", true}}) {
        EXPECT_STREQ(baseNameOf(path), base) << path;
        EXPECT_EQ(hasDirectoryPart(path), hasDirectory) << path;
    }
}

TEST(PathHelpers, SuffixAndDefaultExtension)
{
    for (const auto &[name, stripped] : {std::pair{"a/b/plot.pvg", "a/b/plot"}, {"PLOT.PVG", "PLOT.PVG"}, {".pvg", ".pvg"}}) {
        char buffer[32];
        copyText(buffer, name);
        stripSuffix(buffer, ".pvg");
        EXPECT_STREQ(buffer, stripped) << name;
    }
    // A dot counts only after the last separator.
    for (const auto &[typed, expected] : {std::pair{"report", "report.pvg"}, {"report.PVG", "report.PVG"},
             {"report.txt", "report.txt"}, {"my.dir/report", "my.dir/report.pvg"},
             {"my.dir\\report", "my.dir\\report.pvg"}, {"", ".pvg"}}) {
        std::string name = typed;
        ensureExtension(name, ".pvg");
        EXPECT_EQ(name, expected) << typed;
    }
}

TEST(FixedText, LongTextsAreCutAtTheBufferAndReported)
{
    char buffer[8];
    EXPECT_TRUE(copyText(buffer, "1234567"));
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
    r.moveTopLeft(10, 20);
    EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom, r.width, r.height}),
              std::vector<int>({10, 20, -190, -130, -200, -150}));
}
