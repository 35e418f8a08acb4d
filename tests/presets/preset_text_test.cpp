#include "presets/preset_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "presets/test_files.h"

namespace plugincore {
namespace {

TEST(PresetText, NumbersAreShortWithAPoint) {
    EXPECT_EQ(formatNumber(0.08), "0.08");
    EXPECT_EQ(formatNumber(220.0), "220");
    EXPECT_EQ(formatNumber(-0.0), "0");
    EXPECT_EQ(formatNumber(2600.7), "2601");
    EXPECT_EQ(formatNumber(12.5), "12.5");
    EXPECT_EQ(formatNumber(-0.15), "-0.15");
    EXPECT_EQ(formatNumber(0.0004), "0");
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_NE(formatNumber(std::nan("")).find("nan"), std::string::npos);
}

// Builds a locale whose decimal separator is a comma into dir, so the test
// needs no installed locales; false when localedef is not there.
bool buildCommaLocale(const std::string& dir) {
    std::string charmap = "<code_set_name> COMMA_TEST\n<escape_char> /\n<mb_cur_min> 1\n"
                          "<mb_cur_max> 1\nCHARMAP\n";
    for (int c = 0; c < 128; ++c) {
        char line[32];
        std::snprintf(line, sizeof line, "<U%04X> /x%02x\n", c, c);
        charmap += line;
    }
    presets_test::writeFile(dir + "/charmap", charmap + "END CHARMAP\n");
    presets_test::writeFile(dir + "/source", "LC_NUMERIC\ndecimal_point \"<U002C>\"\n"
                                             "thousands_sep \"<U002E>\"\ngrouping 3;3\n"
                                             "END LC_NUMERIC\n");
    const std::string command = "localedef -c -f '" + dir + "/charmap' -i '" + dir +
                                "/source' '" + dir + "/comma' >/dev/null 2>&1";
    std::system(command.c_str());
    return std::filesystem::exists(dir + "/comma/LC_NUMERIC");
}

TEST(PresetText, NumbersIgnoreTheHostLocale) {
    presets_test::TempDir dir;
    if (!buildCommaLocale(dir.path())) GTEST_SKIP() << "localedef could not build a locale";
    presets_test::ScopedEnv path("LOCPATH", dir.path());
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "comma"), nullptr);
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.1f", 2.5);
    double v = 0;
    const bool read = readNumber("0.75", v);
    const std::string text = formatNumber(2.5);
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_STREQ(printed, "2,5");  // the locale is really in force
    EXPECT_TRUE(read);
    EXPECT_EQ(v, 0.75);
    EXPECT_EQ(text, "2.5");
}

TEST(PresetText, TrimAndOneLine) {
    EXPECT_EQ(trim(" \t\r\nkey = v \r\n"), "key = v");
    EXPECT_EQ(trim("\v x \f"), "\v x \f");  // VT and FF are not blanks here
    EXPECT_EQ(trim(" \t "), "");
    EXPECT_EQ(oneLine("  Deep\tDuck\nTwo\r "), "Deep Duck Two");
}

}  // namespace
}  // namespace plugincore
