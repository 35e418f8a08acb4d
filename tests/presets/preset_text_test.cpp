// The preset text: writer layout, numbers, and the reader's handling of what
// users' hand-edited files look like, chain and curve lines included.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "plugin/params.h"
#include "presets/preset_format.h"
#include "presets/preset_text.h"
#include "presets/test_files.h"

namespace norvale {
namespace {

using plugincore::PresetData;
using namespace std::literals;
constexpr const char* kFlat = "0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000";

struct Read {
    bool ok;
    PresetData data;
    CurveSet curves;
    std::string err;
};

Read read(std::string_view text) {
    Read r{false, {}, {}, "untouched"};
    r.curves.curves[kVol][0].setFlat(0.25f); // every successful generic read resets it
    r.ok = parsePreset(text.data(), text.size(), r.data, r.curves, r.err);
    return r;
}

// The value read for a key, or NaN when the text gave none.
double valueOf(const PresetData& data, ParamId id) {
    for (const auto& v : data.values)
        if (v.id == id) return v.value;
    return std::nan("");
}

TEST(PresetWriter, LayoutNumbersChainAndCurves) {
    PresetData data;
    data.name = "Duck";
    EXPECT_EQ(formatPreset(data), "# Norvale preset\nformat = 1\nname = Duck\n");
    data.name = " Deep\tDuck\n";
    data.author = "Me";
    data.features = {"dark", "pad\r"};
    data.values = {
        {kParamTrigSource, 1}, {kParamVolRate, 3},
        {kParamMix, 0.55},     {kParamVolRate, 5},
        {kParamFltDepth, 4.6}, {kParamSplitLow, realToParam(kParams[kParamSplitLow], 220)},
        {kParamDrvStyle, 9}};
    EXPECT_EQ(formatPreset(data), "# Norvale preset\nformat = 1\nname = Deep Duck\nauthor = Me\n"
                                  "features = dark, pad\n\n# Global\nmix = 0.55\nsplit_low = 220\n"
                                  "\n# Volume\nvol_rate = 1/4\n\n# Filter\nflt_depth = 5\n"
                                  "\n# Drive\ndrv_style = 9\n\n# Trigger\ntrig_source = Input\n");
    const std::pair<double, const char*> numbers[] = {
        {0.08, "0.08"},        {220.0, "220"},
        {-0.0, "0"},           {-0.0001, "0"},
        {2600.7, "2601"},      {12.5, "12.5"},
        {-0.15, "-0.15"},      {0.0004, "0"},
        {1e10, "10000000000"}, {std::numeric_limits<double>::infinity(), "inf"}};
    for (const auto& [value, text] : numbers)
        EXPECT_EQ(plugincore::formatNumber(value), text);

    CurveSet curves;
    resetCurves(curves);
    const PresetData empty;
    EXPECT_EQ(formatPreset(empty, curves).find("chain"), std::string::npos);
    chainAdd(curves, kCrs);
    chainAdd(curves, kVol);
    const std::string text = formatPreset(empty, curves);
    EXPECT_EQ(text.rfind(formatPreset(empty), 0), 0u);
    EXPECT_NE(text.find("them.\nchain = crs vol\n\n# Shape curves."), std::string::npos);
    EXPECT_NE(text.find("\ncurve wid 2 = 0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000\n"),
              std::string::npos);
}

TEST(PresetText, NumbersIgnoreTheHostLocale) {
    presets_test::TempDir dir; // a German locale: a decimal comma
    const std::string build = "localedef -i de_DE -f UTF-8 '" + dir / "comma" + "' >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0) GTEST_SKIP() << "localedef could not build a locale";
    presets_test::ScopedEnv path("LOCPATH", dir.path());
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "comma"), nullptr);
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.1f", 2.5);
    const Read r = read("mix = 0.75\n");
    const std::string text = plugincore::formatNumber(2.5);
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_STREQ(printed, "2,5"); // the locale is really in force
    EXPECT_EQ(valueOf(r.data, kParamMix), 0.75);
    EXPECT_EQ(text, "2.5");
}

TEST(PresetReader, ParameterValuesAndMetadata) {
    const Read r = read("\xEF\xBB\xBF"
                        "creator = C\r\nname = A\nname = B\ntags = a, b\nfeatures = a,b\n"
                        "features = , ,\nformat = 99\nnorvale_version = 3\nvol_rate = 1/4\n"
                        "flt_rate = 2\nband_low = on\nVOL_ON = On\nmix = 7\ndrv_mix = full\n"
                        "vol_trim = 6 dB\nsplit_low = 220\nflt_type_high = BANDPASS\n"
                        "drv_tone=-0.5=x\ncolour = red\nmix\0x = 0.5\ntim_range = 90"sv);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.err, "untouched");
    EXPECT_EQ(r.data.name, "B");
    EXPECT_EQ(r.data.author, "C"); // the byte-order mark is not part of the first key
    EXPECT_EQ(r.data.features, (std::vector<std::string>{"a", "b", "a", "b"}));
    EXPECT_EQ(valueOf(r.data, kParamVolRate), 3);
    EXPECT_EQ(valueOf(r.data, kParamFltRate), 2); // a whole number is an index
    EXPECT_EQ(valueOf(r.data, kParamBandLow), 1);
    EXPECT_TRUE(std::isnan(valueOf(r.data, kParamVolOn))); // keys are case-sensitive
    EXPECT_EQ(valueOf(r.data, kParamMix), 1);              // clamped; NUL key not "mix"
    EXPECT_TRUE(std::isnan(valueOf(r.data, kParamDrvMix)));
    EXPECT_EQ(valueOf(r.data, kParamVolTrim), 6);
    EXPECT_DOUBLE_EQ(valueOf(r.data, kParamSplitLow), realToParam(kParams[kParamSplitLow], 220));
    EXPECT_EQ(valueOf(r.data, kParamFltTypeHigh), 2);
    EXPECT_EQ(valueOf(r.data, kParamDrvTone), -0.5);
    EXPECT_DOUBLE_EQ(valueOf(r.data, kParamTimRange), realToParam(kParams[kParamTimRange], 90));
}

TEST(PresetReader, ChainAndCurveLines) {
    const Read r = read("name = N\nchain = flt vol\ncurve tim 1 = 0 0.5 1, 1 0.5 1\n"
                        "  curve pan 2  =   0 0 0, 0.5 1 2 0.5, 1 0 0  \r\n"
                        "curve\tpan 1 = 0 0 0, 1 0 0\n" // no space after the word: not a curve line
                        "curve tim 1 = 0 0.25 0, 1 0.25 0\ncurve vol 1abc = 0 0.1 0, 1 0.1 0\n");
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(formatChain(r.curves), "flt vol");
    EXPECT_EQ(r.curves.curves[kTim][1].format(), "0.0000 0.2500 0 0.000, 1.0000 0.2500 0 0.000");
    EXPECT_EQ(r.curves.curves[kPan][2].count, 3);
    EXPECT_FLOAT_EQ(r.curves.curves[kVol][1].points[0].y, 0.1f);
    EXPECT_EQ(r.curves.curves[kVol][0].format(), kFlat);
    EXPECT_FLOAT_EQ(r.curves.curves[kPan][1].points[0].y, 0.5f);
    EXPECT_EQ(read("name = N\n").curves.chainLength, 0);
}

// Each mistake fails the read with a message naming its line; readable lines
// around a bad curve line are applied all the same.
TEST(PresetReader, MistakesNameTheirLine) {
    const struct {
        std::string text;
        const char* err;
    } cases[] = {
        {"", "preset is empty"},
        {"# only\n\n; comments\n", "preset is empty"},
        {" = 5\n", "preset is empty"},
        {"name = N\n\n# c\nnothing here\nmix = 1\n", "line 4: expected 'key = value'"},
        {"name = N\nvol_rate = 1/64\n", "line 2: '1/64' is not a choice of vol_rate"},
        {"name = N\nband_low = 1.5\n", "line 2: '1.5' is not a choice of band_low"},
        {"name = N\n\nchainsaw = 1\ncurve vol 9 = x\n",
         "line 3: the effect chain line could not be read"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.text).err, c.err) << c.text;
    const char* badCurves[] = {"curve vol 0=0 0 0, 1 0 0",   "curve vol 3 = 0 0 0, 1 0 0",
                               "curve VOL 0 = 0 0 0, 1 0 0", "curve vol x = 0 0 0, 1 0 0",
                               "curve vol 0 = 0 2 0, 1 0 0", "curve vol 0 ="};
    for (const char* bad : badCurves) {
        const Read r = read(std::string("name = N\ncurve flt 0 = 0 0.3 0, 1 0.3 0\n") + bad +
                            "\ncurve drv 0 = 0 0.7 0, 1 0.7 0\n");
        EXPECT_EQ(r.err, "line 3: a shape curve line could not be read") << bad;
        EXPECT_FLOAT_EQ(r.curves.curves[kFlt][0].points[0].y, 0.3f) << bad;
        EXPECT_FLOAT_EQ(r.curves.curves[kDrv][0].points[0].y, 0.7f) << bad;
        EXPECT_EQ(r.curves.curves[kVol][0].format(), kFlat) << bad;
    }
    const Read generic = read("# nothing\n");
    EXPECT_FLOAT_EQ(generic.curves.curves[kVol][0].points[0].y, 0.25f); // not touched
    PresetData strict;
    std::string err;
    EXPECT_FALSE(plugincore::parsePreset(presetContext(), "colour = red\n", 13, strict, err, true));
    EXPECT_EQ(err, "line 1: unknown key 'colour'");
}

} // namespace
} // namespace norvale
