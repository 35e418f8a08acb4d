#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "plugin/params.h"

namespace norvale {
namespace {

using plugincore::ParamDesc;
using plugincore::paramTextToValue;
using plugincore::paramValueToText;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string textOf(ParamId id, double value) {
    char buffer[64];
    EXPECT_TRUE(paramValueToText(kParams[id], value, buffer, sizeof buffer));
    return buffer;
}

// Text of a Log row at a given real value.
std::string textOfReal(ParamId id, double real) {
    return textOf(id, plugincore::realToParam(kParams[id], real));
}

double valueOf(ParamId id, const char* text) {
    double value = -1234.0;
    EXPECT_TRUE(paramTextToValue(kParams[id], text, value)) << text;
    return value;
}

TEST(ParamText, LogRowsRoundToTheirMagnitude) {
    EXPECT_EQ(textOf(kParamFltCutoff, 0), "20.0 Hz");
    EXPECT_EQ(textOf(kParamFltCutoff, 1), "20.00 kHz");
    EXPECT_EQ(textOfReal(kParamFltCutoff, 200), "200 Hz");
    EXPECT_EQ(textOfReal(kParamFltCutoff, 1500), "1.50 kHz");
    // Rounding that crosses into the next magnitude takes that magnitude's form.
    EXPECT_EQ(textOfReal(kParamFltCutoff, 999.7), "1.00 kHz");
    EXPECT_EQ(textOfReal(kParamFltCutoff, 99.96), "100 Hz");
    EXPECT_EQ(textOfReal(kParamTrigHold, 9.996), "10.0 ms");

    EXPECT_EQ(textOf(kParamTimRange, 1), "2.00 s");
    EXPECT_EQ(textOfReal(kParamTimRange, 50), "50.0 ms");
    EXPECT_EQ(textOf(kParamTrigHold, 0), "5.00 ms");
}

TEST(ParamText, PlainPercentSteppedAndEnumForms) {
    EXPECT_EQ(textOf(kParamTrigThreshold, -60), "-inf dB");
    EXPECT_EQ(textOf(kParamTrigThreshold, -59.9), "-59.90 dB");
    EXPECT_EQ(textOf(kParamInput, -24), "-24.00 dB");
    EXPECT_EQ(textOf(kParamVolSmooth, 0.15), "15.0 %");
    EXPECT_EQ(textOf(kParamDrvTone, -1), "-100.0 %");
    EXPECT_EQ(textOf(kParamFltDepth, 5), "5 oct");
    EXPECT_EQ(textOf(kParamCrsBits, 6.4), "6 bit");
    EXPECT_EQ(textOf(kParamCrsDown, 7.5), "8 x");
    EXPECT_EQ(textOf(kParamTrigNote, 0), "Any");
    EXPECT_EQ(textOf(kParamVolRate, 2.6), "1/4");
    EXPECT_EQ(textOf(kParamTrigOctave, 99), "9");
}

TEST(ParamText, OutOfRangeAndNonFiniteValuesAreClampedBeforeShowing) {
    EXPECT_EQ(textOf(kParamMix, 3), "100.0 %");
    EXPECT_EQ(textOf(kParamFltCutoff, kInf), "20.00 kHz");
    EXPECT_EQ(textOf(kParamFltCutoff, -kInf), "20.0 Hz");
    EXPECT_EQ(textOf(kParamVolRate, kNaN), "1/32");
    EXPECT_EQ(plugincore::paramToReal(kParams[kParamCrsDown], kNaN), 1.0);
    EXPECT_EQ(plugincore::paramToReal(kParams[kParamCrsDown], 2.5), 3.0);
    EXPECT_EQ(plugincore::realToParam(kParams[kParamFltCutoff], -5), 0.0);
    EXPECT_EQ(plugincore::realToParam(kParams[kParamFltCutoff], 1e9), 1.0);
}

TEST(ParamText, MissingOrTooSmallBufferFails) {
    char buffer[16];
    const ParamDesc& cutoff = kParams[kParamFltCutoff];
    EXPECT_FALSE(paramValueToText(cutoff, 1, nullptr, 16));
    EXPECT_FALSE(paramValueToText(cutoff, 1, buffer, 0));
    EXPECT_FALSE(paramValueToText(cutoff, 1, buffer, std::strlen("20.00 kHz")));
    EXPECT_TRUE(paramValueToText(cutoff, 1, buffer, std::strlen("20.00 kHz") + 1));
    EXPECT_STREQ(buffer, "20.00 kHz");
}

TEST(ParamText, ReadsItemsNumbersAndSuffixes) {
    EXPECT_EQ(valueOf(kParamFltTypeLow, "lowpass"), 0);
    EXPECT_EQ(valueOf(kParamVolOn, "on"), 1);
    EXPECT_EQ(valueOf(kParamVolRate, "2"), 2);
    EXPECT_EQ(valueOf(kParamVolRate, "2 BARS"), 6);
    EXPECT_EQ(valueOf(kParamTrigOctave, "-1"), 1);  // the item, not the number

    const ParamDesc& cutoff = kParams[kParamFltCutoff];
    EXPECT_DOUBLE_EQ(valueOf(kParamFltCutoff, "2k"), plugincore::realToParam(cutoff, 2000));
    EXPECT_DOUBLE_EQ(valueOf(kParamFltCutoff, "2 kHz"), plugincore::realToParam(cutoff, 2000));
    EXPECT_EQ(valueOf(kParamFltCutoff, "0"), 0);
    EXPECT_DOUBLE_EQ(valueOf(kParamTimRange, "0.5 s"),
                     plugincore::realToParam(kParams[kParamTimRange], 500));
    EXPECT_DOUBLE_EQ(valueOf(kParamTimRange, "500 ms"),
                     plugincore::realToParam(kParams[kParamTimRange], 500));

    EXPECT_EQ(valueOf(kParamMix, "150"), 1.0);
    EXPECT_EQ(valueOf(kParamDrvTone, "-100"), -1.0);
    EXPECT_DOUBLE_EQ(valueOf(kParamVolSmooth, " 15 %"), 0.15);
    EXPECT_EQ(valueOf(kParamInput, "12 dB"), 12);
    EXPECT_EQ(valueOf(kParamCrsDown, "8x"), 8);
    EXPECT_EQ(valueOf(kParamCrsDown, "2.6"), 2.6);  // rounding happens where it is used
    EXPECT_EQ(valueOf(kParamInput, "inf"), 24);
    EXPECT_EQ(valueOf(kParamTrigThreshold, "-inf dB"), -60);
}

TEST(ParamText, UnreadableTextLeavesTheOutputAlone) {
    for (const char* text : {"abc", "", " ", "k", "-", ".", "nan", "NaN dB", "\xc3\xa9"}) {
        for (ParamId id : {kParamMix, kParamFltCutoff, kParamVolRate, kParamCrsBits}) {
            double value = 42.0;
            EXPECT_FALSE(paramTextToValue(kParams[id], text, value)) << text;
            EXPECT_EQ(value, 42.0);
        }
    }
    double value = 42.0;
    EXPECT_FALSE(paramTextToValue(kParams[kParamMix], nullptr, value));
    EXPECT_EQ(value, 42.0);
}

// Random bytes and number-like noise through every row: never a crash, a
// result inside the range on success and an untouched output on failure.
TEST(ParamText, FuzzedTextStaysInRange) {
    std::mt19937 rng(20240611);
    const char alphabet[] = "0123456789.eE+-kKsSmMinfINFaAx %\t";
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int n = length(rng);
        for (int i = 0; i < n; ++i)
            text += round % 2 ? static_cast<char>(byte(rng)) : alphabet[pick(rng)];
        const ParamDesc& p = kParams[round % kParamCount];
        double value = -1234.0;
        if (paramTextToValue(p, text.c_str(), value)) {
            EXPECT_GE(value, p.minValue) << text;
            EXPECT_LE(value, p.maxValue) << text;
        } else {
            EXPECT_EQ(value, -1234.0) << text;
        }
    }
    const std::string huge(100000, '9');
    double value = 0;
    EXPECT_TRUE(paramTextToValue(kParams[kParamFltCutoff], huge.c_str(), value));
    EXPECT_EQ(value, 1.0);
}

}  // namespace
}  // namespace norvale
