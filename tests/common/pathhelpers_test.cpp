// The path rules: what separates directories, suffixes and default extensions.
#include "common/fixedtext.h"
#include "common/pathhelpers.h"

#include <gtest/gtest.h>

#include <string>

TEST(PathHelpers, SeparatorsAreSlashBackslashAndColon)
{
    for (const auto &[path, base, hasDirectory] : {std::tuple{"a/b/plot.pvg", "plot.pvg", true},
             {"dir\\plot.pvg", "plot.pvg", true}, {"C:plot.pvg", "plot.pvg", true}, {"plot.pvg", "plot.pvg", false}}) {
        EXPECT_STREQ(baseNameOf(path), base) << path;
        EXPECT_EQ(hasDirectoryPart(path), hasDirectory) << path;
    }
}

TEST(PathHelpers, SuffixIsCaseSensitiveAndADotCountsOnlyAfterTheLastSeparator)
{
    for (const auto &[name, stripped] : {std::pair{"a/plot.pvg", "a/plot"}, {"PLOT.PVG", "PLOT.PVG"}, {".pvg", ".pvg"}}) {
        std::string buffer = name;
        stripSuffix(buffer, ".pvg");
        EXPECT_EQ(buffer, stripped) << name;
    }
    for (const auto &[typed, expected] : {std::pair{"report", "report.pvg"}, {"report.PVG", "report.PVG"},
             {"report.txt", "report.txt"}, {"my.dir/report", "my.dir/report.pvg"}, {"my.dir\\report", "my.dir\\report.pvg"}}) {
        std::string name = typed;
        ensureExtension(name, ".pvg");
        EXPECT_EQ(name, expected) << typed;
    }
}
