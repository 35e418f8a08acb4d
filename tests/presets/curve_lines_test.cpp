// The plug-in's chain and curve lines on top of the generic text.
#include "presets/norvale_presets.h"

#include <gtest/gtest.h>

namespace norvale {
namespace {

using plugincore::PresetData;

constexpr const char* kFlat = "0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000";

struct Read {
    bool ok;
    PresetData data;
    CurveSet curves;
    std::string err;
};

Read read(const std::string& text) {
    Read r{false, {}, {}, ""};
    r.curves.curves[kVol][0].setFlat(0.25f);  // must be reset by every successful generic read
    r.curves.chainLength = 3;
    r.ok = parsePreset(text.data(), text.size(), r.data, r.curves, r.err);
    return r;
}

// The curve block itself is checked against the published built-in text.
TEST(CurveLinesWriter, ChainSectionOnlyForAChain) {
    CurveSet curves;
    resetCurves(curves);
    const PresetData data;
    EXPECT_EQ(formatPreset(data, curves).find("chain"), std::string::npos);
    chainAdd(curves, kCrs);
    chainAdd(curves, kVol);
    const std::string text = formatPreset(data, curves);
    EXPECT_EQ(text.rfind(formatPreset(data), 0), 0u);
    EXPECT_NE(text.find("\n\n# The effects in the chain, in the order the audio runs through "
                        "them.\nchain = crs vol\n\n# Shape curves."),
              std::string::npos);
}

TEST(CurveLinesReader, AppliesLinesAndResetsTheRest) {
    const Read r = read(
        "name = N\r\n"
        "chain = flt vol\n"
        "curve tim 1 = 0 0.5 1, 1 0.5 1\n"
        "  curve pan 2  =   0 0 0, 0.5 1 2 0.5, 1 0 0  \r\n"
        "curve\tpan 1 = 0 0 0, 1 0 0\n"  // not a curve line: no space after the word
        "curve tim 1 = 0 0.25 0, 1 0.25 0\n"
        "curve vol 1abc = 0 0.1 0, 1 0.1 0\n");
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(formatChain(r.curves), "flt vol");
    EXPECT_EQ(r.curves.curves[kTim][1].format(), "0.0000 0.2500 0 0.000, 1.0000 0.2500 0 0.000");
    EXPECT_EQ(r.curves.curves[kPan][2].count, 3);
    EXPECT_FLOAT_EQ(r.curves.curves[kPan][2].points[1].bend, 0.5f);
    EXPECT_FLOAT_EQ(r.curves.curves[kVol][1].points[0].y, 0.1f);
    EXPECT_EQ(r.curves.curves[kVol][0].format(), kFlat);
    EXPECT_FLOAT_EQ(r.curves.curves[kWid][0].points[0].y, 0.5f);
    EXPECT_FLOAT_EQ(r.curves.curves[kPan][1].points[0].y, 0.5f);

    const Read none = read("name = N\n");
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.curves.chainLength, 0);
}

TEST(CurveLinesReader, BadLinesFailButReadableOnesApply) {
    const char* badCurves[] = {"curve vol 0=0 0 0, 1 0 0", "curve vol 3 = 0 0 0, 1 0 0",
                               "curve VOL 0 = 0 0 0, 1 0 0", "curve vol x = 0 0 0, 1 0 0",
                               "curve vol 0 = 0 2 0, 1 0 0", "curve vol 0 ="};
    for (const char* bad : badCurves) {
        const Read r = read(std::string("name = N\ncurve flt 0 = 0 0.3 0, 1 0.3 0\n") + bad +
                            "\ncurve drv 0 = 0 0.7 0, 1 0.7 0\n");
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_EQ(r.err, "a shape curve line could not be read") << bad;
        EXPECT_FLOAT_EQ(r.curves.curves[kFlt][0].points[0].y, 0.3f) << bad;
        EXPECT_FLOAT_EQ(r.curves.curves[kDrv][0].points[0].y, 0.7f) << bad;
        EXPECT_EQ(r.curves.curves[kVol][0].format(), kFlat) << bad;
        EXPECT_EQ(r.data.name, "N");
    }
    const Read chainsaw = read("chainsaw = 1\ncurve vol 9 = x\n");
    EXPECT_FALSE(chainsaw.ok);
    EXPECT_EQ(chainsaw.err, "the effect chain line could not be read");  // the first error wins
    EXPECT_TRUE(read("name = N\ncurves = 1\n# curve vol 9 =\n").ok);
}

TEST(CurveLinesReader, GenericFailureLeavesCurvesAlone) {
    const Read r = read("# nothing\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "preset is empty");
    EXPECT_FLOAT_EQ(r.curves.curves[kVol][0].points[0].y, 0.25f);
    EXPECT_EQ(r.curves.chainLength, 3);
}

}  // namespace
}  // namespace norvale
