// Curve set, effect chain, module tables and rates.
#include "dsp/curve_set.h"
#include "dsp/modules.h"
#include "dsp/rates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace norvale {
namespace {

static_assert(std::is_trivially_copyable_v<CurveSet>);

std::vector<int> chainOf(const CurveSet& s) {
    return std::vector<int>(s.chain, s.chain + s.chainLength);
}

CurveSet chainFromText(const std::string& text) {
    CurveSet s;
    EXPECT_TRUE(parseChain(text, s)) << text;
    return s;
}

// ---------------------------------------------------------------- module tables

TEST(Modules, KeysNamesAndNeutralValues) {
    const char* keys[] = {"vol", "flt", "drv", "tim", "crs", "pan", "wid"};
    const char* names[] = {"VOLUME", "FILTER", "DRIVE", "TIME", "CRUSH", "PAN", "WIDTH"};
    for (int m = 0; m < kModuleCount; ++m) {
        EXPECT_STREQ(moduleKey(m), keys[m]);
        EXPECT_STREQ(moduleName(m), names[m]);
        EXPECT_EQ(moduleFromKey(keys[m]), m);
        EXPECT_EQ(neutralValue(m), (m == kPan || m == kWid) ? 0.5f : 1.0f);
        EXPECT_EQ(neutralValue(m), kNeutralValues[m]);
    }
    EXPECT_STREQ(moduleKey(7), "vol");
    EXPECT_EQ(neutralValue(-1), 1.0f);
    for (const char* bad : {"VOL", "vol ", "vo", ""}) EXPECT_EQ(moduleFromKey(bad), -1) << bad;
    EXPECT_STREQ(bandName(1), "MID");
    EXPECT_STREQ(bandName(9), "HIGH");
}

TEST(Rates, BeatsForRate) {
    const double expected[] = {0.125, 0.25, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0};
    for (int r = 0; r < 8; ++r) EXPECT_EQ(beatsForRate(r), expected[r]);
    EXPECT_EQ(beatsForRate(-1), 1.0);
    EXPECT_EQ(beatsForRate(-1000), 1.0);
    EXPECT_EQ(beatsForRate(8), 1.0);
    EXPECT_EQ(beatsForRate(1 << 30), 1.0);
}

// ---------------------------------------------------------------- curve set

TEST(CurveSetTest, ResetCurves) {
    CurveSet s;
    for (int m = 0; m < kModuleCount; ++m)
        for (int b = 0; b < kBandCount; ++b) EXPECT_EQ(s.curves[m][b].count, 2);
    EXPECT_EQ(s.chainLength, 0);
    s.curves[kPan][1].addPoint(0.5f, 0.1f, 0);
    chainAdd(s, kDrv);
    resetCurves(s);
    EXPECT_EQ(s.chainLength, 0);
    for (int m = 0; m < kModuleCount; ++m)
        for (int b = 0; b < kBandCount; ++b) {
            const Curve& c = s.curves[m][b];
            EXPECT_EQ(c.count, 2);
            EXPECT_EQ(c.points[0].y, neutralValue(m));
            EXPECT_EQ(c.points[1].y, neutralValue(m));
            EXPECT_EQ(c.valueAt(0.3f), neutralValue(m));
        }
}

// ---------------------------------------------------------------- chain edits

TEST(Chain, AddRemoveHas) {
    CurveSet s;
    chainAdd(s, kDrv);
    chainAdd(s, kVol);
    chainAdd(s, kDrv);  // present
    chainAdd(s, -1);
    chainAdd(s, 7);
    EXPECT_EQ(chainOf(s), (std::vector<int>{kDrv, kVol}));
    EXPECT_TRUE(chainHas(s, kDrv));
    EXPECT_FALSE(chainHas(s, kPan));
    EXPECT_FALSE(chainHas(s, -1));
    chainRemove(s, kPan);  // absent
    EXPECT_EQ(chainOf(s), (std::vector<int>{kDrv, kVol}));
    for (int m = 0; m < kModuleCount; ++m) chainAdd(s, m);
    EXPECT_EQ(chainOf(s), (std::vector<int>{kDrv, kVol, kFlt, kTim, kCrs, kPan, kWid}));
    chainRemove(s, kVol);
    EXPECT_EQ(chainOf(s), (std::vector<int>{kDrv, kFlt, kTim, kCrs, kPan, kWid}));
    chainRemove(s, kWid);
    chainRemove(s, kDrv);
    EXPECT_EQ(chainOf(s), (std::vector<int>{kFlt, kTim, kCrs, kPan}));
}

TEST(Chain, Move) {
    CurveSet s = chainFromText("vol flt drv");
    chainMove(s, kVol, 9);
    EXPECT_EQ(formatChain(s), "flt drv vol");
    chainMove(s, kVol, 0);
    EXPECT_EQ(formatChain(s), "vol flt drv");
    chainMove(s, kDrv, -5);
    EXPECT_EQ(formatChain(s), "drv vol flt");
    chainMove(s, kDrv, 1);
    EXPECT_EQ(formatChain(s), "vol drv flt");
    chainMove(s, kDrv, 2);
    EXPECT_EQ(formatChain(s), "vol flt drv");
    chainMove(s, kPan, 0);  // absent: nothing
    EXPECT_EQ(formatChain(s), "vol flt drv");
    EXPECT_EQ(s.chainLength, 3);
}

TEST(Chain, ParseAndFormat) {
    CurveSet s;
    EXPECT_TRUE(parseChain("flt vol flt", s));
    EXPECT_EQ(chainOf(s), (std::vector<int>{kFlt, kVol}));
    EXPECT_EQ(formatChain(s), "flt vol");

    EXPECT_FALSE(parseChain("flt xyz vol", s));
    EXPECT_EQ(chainOf(s), (std::vector<int>{kFlt}));

    EXPECT_TRUE(parseChain("", s));
    EXPECT_EQ(s.chainLength, 0);
    EXPECT_EQ(formatChain(s), "");
    EXPECT_TRUE(parseChain(" \t\r\n ", s));
    EXPECT_EQ(s.chainLength, 0);

    EXPECT_TRUE(parseChain("  wid\tpan\n\ncrs  ", s));
    EXPECT_EQ(formatChain(s), "wid pan crs");
    EXPECT_FALSE(parseChain("VOL", s));
    EXPECT_EQ(s.chainLength, 0);
    EXPECT_FALSE(parseChain("vol,flt", s));
    EXPECT_FALSE(parseChain(std::string("vol\0flt", 7), s));
    EXPECT_EQ(s.chainLength, 0);

    EXPECT_TRUE(parseChain("vol flt drv tim crs pan wid vol flt", s));
    EXPECT_EQ(s.chainLength, 7);
}

TEST(Chain, TextRoundTrip) {
    std::mt19937 rng(7);
    for (int round = 0; round < 500; ++round) {
        CurveSet s;
        int order[kModuleCount] = {0, 1, 2, 3, 4, 5, 6};
        std::shuffle(order, order + kModuleCount, rng);
        const int n = static_cast<int>(rng() % (kModuleCount + 1));
        for (int i = 0; i < n; ++i) chainAdd(s, order[i]);
        CurveSet t;
        chainAdd(t, kPan);  // replaced by the parse
        ASSERT_TRUE(parseChain(formatChain(s), t));
        EXPECT_EQ(chainOf(t), chainOf(s));
    }
}

// ---------------------------------------------------------------- effective chain

TEST(Chain, EffectiveChain) {
    CurveSet s;
    bool allOn[kModuleCount] = {true, true, true, true, true, true, true};
    bool allOff[kModuleCount] = {};
    int out[kModuleCount] = {-9, -9, -9, -9, -9, -9, -9};

    ASSERT_EQ(effectiveChain(s, allOn, out), 7);
    EXPECT_EQ(std::vector<int>(out, out + 7),
              (std::vector<int>{kVol, kFlt, kDrv, kCrs, kTim, kWid, kPan}));

    EXPECT_EQ(effectiveChain(s, allOff, out), 0);

    // The chain comes first, regardless of the flags; switched-on modules
    // never ordered follow in the default order.
    s = chainFromText("pan drv");
    bool some[kModuleCount] = {};
    some[kTim] = some[kVol] = some[kDrv] = true;  // pan is off but listed
    ASSERT_EQ(effectiveChain(s, some, out), 4);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{kPan, kDrv, kVol, kTim}));

    ASSERT_EQ(effectiveChain(s, allOn, out), 7);
    EXPECT_EQ(std::vector<int>(out, out + 7),
              (std::vector<int>{kPan, kDrv, kVol, kFlt, kCrs, kTim, kWid}));
}

TEST(Chain, EffectiveChainSurvivesACorruptSet) {
    CurveSet s;
    s.chainLength = 100;
    for (int i = 0; i < kModuleCount; ++i) s.chain[i] = static_cast<int8_t>(i % 2 ? 9 : -3);
    s.chain[2] = kFlt;
    s.chain[4] = kFlt;
    bool allOn[kModuleCount] = {true, true, true, true, true, true, true};
    int out[kModuleCount];
    const int n = effectiveChain(s, allOn, out);
    ASSERT_EQ(n, 7);
    EXPECT_EQ(std::vector<int>(out, out + 7),
              (std::vector<int>{kFlt, kVol, kDrv, kCrs, kTim, kWid, kPan}));
    EXPECT_EQ(formatChain(s).size(), 7u * 4u - 1u);  // reads at most 7 entries
    s.chainLength = -4;
    EXPECT_EQ(effectiveChain(s, allOn, out), 7);
    EXPECT_EQ(formatChain(s), "");
}

}  // namespace
}  // namespace norvale
