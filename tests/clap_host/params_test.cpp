// The "clap.params" extension: the 83 rows as a host sees them, value text in
// both directions, values of a fresh instance, and the flush.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace claphost {
namespace {

enum class Kind { Plain, Percent, Log, Stepped, Enum };

// One row as the design document lists it. Log rows carry their real range
// and real default; their value space is 0..1.
struct Row {
    const char* name;
    const char* module;
    Kind kind;
    double min, max, def;
    const char* defaultText;
    double realMin = 0.0, realMax = 0.0;
};

Row logRow(const char* name, const char* module, double lo, double hi, double realDefault,
           const char* text) {
    return {name, module, Kind::Log, 0.0, 1.0, std::log(realDefault / lo) / std::log(hi / lo),
            text, lo, hi};
}

std::vector<Row> moduleTail(const char* module) {
    return {
        {"Trigger", module, Kind::Enum, 0, 2, 0, "Sync"},
        {"Loop", module, Kind::Enum, 0, 1, 0, "Off"},
        {"End", module, Kind::Percent, 0, 1, 1, "100.0 %"},
    };
}

const std::vector<Row>& rows() {
    static const std::vector<Row> table = [] {
        std::vector<Row> t = {
            {"Mix", "Global", Kind::Percent, 0, 1, 1, "100.0 %"},
            {"Input", "Global", Kind::Plain, -24, 24, 0, "0.00 dB"},
            {"Output", "Global", Kind::Plain, -24, 24, 0, "0.00 dB"},
            logRow("Low Split", "Global", 20, 2000, 200, "200 Hz"),
            logRow("High Split", "Global", 200, 20000, 2000, "2.00 kHz"),
            {"Low Band", "Global", Kind::Enum, 0, 1, 1, "On"},
            {"Mid Band", "Global", Kind::Enum, 0, 1, 1, "On"},
            {"High Band", "Global", Kind::Enum, 0, 1, 1, "On"},
            {"Volume", "Volume", Kind::Enum, 0, 1, 0, "Off"},
            {"Trim", "Volume", Kind::Plain, -24, 24, 0, "0.00 dB"},
            {"Rate", "Volume", Kind::Enum, 0, 7, 3, "1/4"},
            {"Phase", "Volume", Kind::Percent, 0, 1, 0, "0.0 %"},
            {"Smooth", "Volume", Kind::Percent, 0, 1, 0.15, "15.0 %"},
            {"Filter", "Filter", Kind::Enum, 0, 1, 0, "Off"},
            logRow("Cutoff", "Filter", 20, 20000, 1000, "1.00 kHz"),
            {"Resonance", "Filter", Kind::Percent, 0, 1, 0.25, "25.0 %"},
            {"Depth", "Filter", Kind::Stepped, 0, 8, 5, "5 oct"},
            {"Drive", "Filter", Kind::Percent, 0, 1, 0, "0.0 %"},
            {"Low Type", "Filter", Kind::Enum, 0, 3, 0, "Lowpass"},
            {"Mid Type", "Filter", Kind::Enum, 0, 3, 0, "Lowpass"},
            {"High Type", "Filter", Kind::Enum, 0, 3, 0, "Lowpass"},
            {"Rate", "Filter", Kind::Enum, 0, 7, 3, "1/4"},
            {"Phase", "Filter", Kind::Percent, 0, 1, 0, "0.0 %"},
            {"Smooth", "Filter", Kind::Percent, 0, 1, 0.25, "25.0 %"},
            {"Drive", "Drive", Kind::Enum, 0, 1, 0, "Off"},
            {"Style", "Drive", Kind::Enum, 0, 5, 0, "Soft Clip"},
            {"Drive", "Drive", Kind::Percent, 0, 1, 0.4, "40.0 %"},
            {"Input", "Drive", Kind::Plain, -12, 36, 0, "0.00 dB"},
            {"Output", "Drive", Kind::Plain, -36, 12, 0, "0.00 dB"},
            {"Tone", "Drive", Kind::Percent, -1, 1, 0, "0.0 %"},
            {"Mix", "Drive", Kind::Percent, 0, 1, 1, "100.0 %"},
            {"Rate", "Drive", Kind::Enum, 0, 7, 3, "1/4"},
            {"Phase", "Drive", Kind::Percent, 0, 1, 0, "0.0 %"},
            {"Smooth", "Drive", Kind::Percent, 0, 1, 0.2, "20.0 %"},
            {"Time", "Time", Kind::Enum, 0, 1, 0, "Off"},
            logRow("Range", "Time", 20, 2000, 500, "500 ms"),
            {"Step", "Time", Kind::Percent, 0, 1, 0.3, "30.0 %"},
            {"Rate", "Time", Kind::Enum, 0, 7, 3, "1/4"},
            {"Phase", "Time", Kind::Percent, 0, 1, 0, "0.0 %"},
            {"Smooth", "Time", Kind::Percent, 0, 1, 0.1, "10.0 %"},
            {"Crush", "Crush", Kind::Enum, 0, 1, 0, "Off"},
            {"Amount", "Crush", Kind::Percent, 0, 1, 0.6, "60.0 %"},
            {"Bits", "Crush", Kind::Stepped, 2, 16, 6, "6 bit"},
            {"Down", "Crush", Kind::Stepped, 1, 32, 8, "8 x"},
            {"Mix", "Crush", Kind::Percent, 0, 1, 1, "100.0 %"},
            {"Rate", "Crush", Kind::Enum, 0, 7, 3, "1/4"},
            {"Phase", "Crush", Kind::Percent, 0, 1, 0, "0.0 %"},
            {"Smooth", "Crush", Kind::Percent, 0, 1, 0.1, "10.0 %"},
            {"Pan", "Pan", Kind::Enum, 0, 1, 0, "Off"},
            {"Rate", "Pan", Kind::Enum, 0, 7, 3, "1/4"},
            {"Phase", "Pan", Kind::Percent, 0, 1, 0, "0.0 %"},
            {"Smooth", "Pan", Kind::Percent, 0, 1, 0.15, "15.0 %"},
            {"Width", "Width", Kind::Enum, 0, 1, 0, "Off"},
            {"Rate", "Width", Kind::Enum, 0, 7, 3, "1/4"},
            {"Phase", "Width", Kind::Percent, 0, 1, 0, "0.0 %"},
            {"Smooth", "Width", Kind::Percent, 0, 1, 0.15, "15.0 %"},
            {"Source", "Trigger", Kind::Enum, 0, 1, 0, "Sidechain"},
            {"Threshold", "Trigger", Kind::Plain, -60, 0, -24, "-24.00 dB"},
            logRow("Focus", "Trigger", 40, 20000, 20000, "20.00 kHz"),
            logRow("Hold", "Trigger", 5, 1000, 50, "50.0 ms"),
            {"Note", "Trigger", Kind::Enum, 0, 12, 0, "Any"},
            {"Octave", "Trigger", Kind::Enum, 0, 11, 0, "Any"},
        };
        for (const char* m : {"Volume", "Filter", "Drive", "Time", "Crush", "Pan", "Width"})
            for (const Row& r : moduleTail(m)) t.push_back(r);
        return t;
    }();
    return table;
}

uint32_t expectedFlags(Kind k) {
    switch (k) {
        case Kind::Stepped: return 0x421;
        case Kind::Enum: return 0x10421;
        default: return 0x420;
    }
}

class ClapParamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.ok()) << module.error();
        ASSERT_NE(inst.plugin(), nullptr);
        params = inst.params();
        ASSERT_NE(params, nullptr);
        ASSERT_EQ(rows().size(), kParamCount);
    }

    bool toValue(clap_id id, const char* text, double& out) {
        return params->text_to_value(inst.plugin(), id, text, &out);
    }

    // Value-space position of a real quantity on a Log row.
    static double position(const Row& r, double real) {
        return std::log(real / r.realMin) / std::log(r.realMax / r.realMin);
    }

    Module module;
    TestHost host;
    Instance inst{module, host};
    const clap_plugin_params_t* params = nullptr;
};

TEST_F(ClapParamsTest, CountIs83) { EXPECT_EQ(params->count(inst.plugin()), kParamCount); }

TEST_F(ClapParamsTest, InfoOfEveryRow) {
    for (uint32_t i = 0; i < kParamCount; ++i) {
        SCOPED_TRACE("parameter " + std::to_string(i));
        const Row& r = rows()[i];
        clap_param_info_t info;
        std::memset(&info, 0xAB, sizeof info);  // every field must be written
        ASSERT_TRUE(params->get_info(inst.plugin(), i, &info));
        EXPECT_EQ(info.id, i);
        EXPECT_EQ(info.flags, expectedFlags(r.kind));
        EXPECT_EQ(info.cookie, nullptr);
        EXPECT_STREQ(info.name, r.name);
        EXPECT_STREQ(info.module, r.module);
        EXPECT_DOUBLE_EQ(info.min_value, r.min);
        EXPECT_DOUBLE_EQ(info.max_value, r.max);
        EXPECT_NEAR(info.default_value, r.def, 1e-9);
    }
}

TEST_F(ClapParamsTest, InfoBeyondTheTableIsRefused) {
    clap_param_info_t info{};
    EXPECT_FALSE(params->get_info(inst.plugin(), kParamCount, &info));
    EXPECT_FALSE(params->get_info(inst.plugin(), 0xFFFFFFFFu, &info));
}

TEST_F(ClapParamsTest, CutoffDefaultIsThePositionOf1kHz) {
    const clap_param_info_t info = inst.info(pid::kFltCutoff);
    EXPECT_DOUBLE_EQ(info.min_value, 0.0);
    EXPECT_DOUBLE_EQ(info.max_value, 1.0);
    EXPECT_NEAR(info.default_value, 0.566323, 1e-6);
}

TEST_F(ClapParamsTest, FreshInstanceHoldsEveryDefault) {
    for (uint32_t i = 0; i < kParamCount; ++i) {
        double v = -12345.0;
        ASSERT_TRUE(params->get_value(inst.plugin(), i, &v)) << i;
        EXPECT_DOUBLE_EQ(v, inst.info(i).default_value) << i;
    }
}

TEST_F(ClapParamsTest, GetValueRefusesUnknownIdsAndNullOutput) {
    double v = 7.0;
    EXPECT_FALSE(params->get_value(inst.plugin(), kParamCount, &v));
    EXPECT_FALSE(params->get_value(inst.plugin(), 0xFFFFFFFFu, &v));
    EXPECT_EQ(v, 7.0);
    EXPECT_FALSE(params->get_value(inst.plugin(), 0, nullptr));
}

TEST_F(ClapParamsTest, DefaultTextOfEveryRow) {
    for (uint32_t i = 0; i < kParamCount; ++i)
        EXPECT_EQ(inst.text(i, inst.info(i).default_value), rows()[i].defaultText) << i;
}

// Text written for a value reads back to that value, to the precision shown.
TEST_F(ClapParamsTest, TextRoundTripsAcrossEveryRange) {
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const Row& r = rows()[i];
        std::vector<double> values = {r.def};
        for (int k = 0; k <= 8; ++k) values.push_back(r.min + (r.max - r.min) * k / 8.0);
        for (double v : values) {
            SCOPED_TRACE("parameter " + std::to_string(i) + " value " + std::to_string(v));
            const std::string text = inst.text(i, v);
            ASSERT_NE(text, "<fail>");
            ASSERT_FALSE(text.empty());
            double back = -12345.0;
            ASSERT_TRUE(toValue(i, text.c_str(), back)) << text;
            switch (r.kind) {
                case Kind::Enum:
                case Kind::Stepped: EXPECT_EQ(back, std::floor(v + 0.5)) << text; break;
                case Kind::Percent: EXPECT_NEAR(back, v, 0.0005 + 1e-12) << text; break;
                case Kind::Plain:
                    if (v <= -59.95) {
                        EXPECT_EQ(back, r.min) << text;
                    } else {
                        EXPECT_NEAR(back, v, 0.005 + 1e-12) << text;
                    }
                    break;
                case Kind::Log: {
                    const double real = r.realMin * std::pow(r.realMax / r.realMin, v);
                    const double realBack = r.realMin * std::pow(r.realMax / r.realMin, back);
                    EXPECT_NEAR(realBack / real, 1.0, 0.006) << text;
                    break;
                }
            }
        }
    }
}

TEST_F(ClapParamsTest, LogTextUsesThreeSignificantDigitsAndKiloForms) {
    const Row& cutoff = rows()[pid::kFltCutoff];
    EXPECT_EQ(inst.text(pid::kFltCutoff, 0.0), "20.0 Hz");
    EXPECT_EQ(inst.text(pid::kFltCutoff, 1.0), "20.00 kHz");
    EXPECT_EQ(inst.text(pid::kFltCutoff, position(cutoff, 999.7)), "1.00 kHz");
    EXPECT_EQ(inst.text(pid::kFltCutoff, position(cutoff, 1500.0)), "1.50 kHz");
    EXPECT_EQ(inst.text(pid::kFltCutoff, position(cutoff, 150.0)), "150 Hz");
    EXPECT_EQ(inst.text(3, 0.5), "200 Hz");
    EXPECT_EQ(inst.text(pid::kTimRange, 1.0), "2.00 s");
    EXPECT_EQ(inst.text(59, 0.0), "5.00 ms");
    EXPECT_EQ(inst.text(59, position(rows()[59], 9.996)), "10.0 ms");
    // Out of range values are shown clamped.
    EXPECT_EQ(inst.text(pid::kFltCutoff, -3.0), "20.0 Hz");
    EXPECT_EQ(inst.text(pid::kFltCutoff, 7.0), "20.00 kHz");
}

TEST_F(ClapParamsTest, TextOfOtherKinds) {
    EXPECT_EQ(inst.text(pid::kTrigThreshold, -60.0), "-inf dB");
    EXPECT_EQ(inst.text(pid::kTrigThreshold, -59.9), "-59.90 dB");
    EXPECT_EQ(inst.text(pid::kInput, -24.0), "-24.00 dB");
    EXPECT_EQ(inst.text(60, 0.0), "Any");
    EXPECT_EQ(inst.text(60, 1.0), "C");
    EXPECT_EQ(inst.text(61, 5.0), "3");
    EXPECT_EQ(inst.text(pid::kVolRate, 2.6), "1/4");
    EXPECT_EQ(inst.text(pid::kVolRate, 2.5), "1/4");
    EXPECT_EQ(inst.text(pid::kVolRate, 7.0), "4 Bars");
    EXPECT_EQ(inst.text(29, -1.0), "-100.0 %");
    EXPECT_EQ(inst.text(16, 8.0), "8 oct");
    EXPECT_EQ(inst.text(43, 32.0), "32 x");
    EXPECT_EQ(inst.text(pid::kMix, 0.5), "50.0 %");
}

TEST_F(ClapParamsTest, TextNeedsRoomForTheTerminator) {
    char buffer[16];
    // "100.0 %" is 7 characters.
    EXPECT_TRUE(params->value_to_text(inst.plugin(), pid::kMix, 1.0, buffer, 8));
    EXPECT_STREQ(buffer, "100.0 %");
    EXPECT_FALSE(params->value_to_text(inst.plugin(), pid::kMix, 1.0, buffer, 7));
    EXPECT_FALSE(params->value_to_text(inst.plugin(), pid::kMix, 1.0, buffer, 0));
    EXPECT_FALSE(params->value_to_text(inst.plugin(), pid::kMix, 1.0, nullptr, 16));
    EXPECT_FALSE(params->value_to_text(inst.plugin(), kParamCount, 0.0, buffer, sizeof buffer));
}

TEST_F(ClapParamsTest, TextToValueForEveryKind) {
    double v = -1.0;
    EXPECT_TRUE(toValue(18, "lowpass", v));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(toValue(18, "NOTCH", v));
    EXPECT_EQ(v, 3.0);
    EXPECT_TRUE(toValue(pid::kVolOn, "on", v));
    EXPECT_EQ(v, 1.0);
    EXPECT_TRUE(toValue(pid::kVolRate, "2", v));
    EXPECT_EQ(v, 2.0);
    EXPECT_TRUE(toValue(pid::kVolRate, "2 Bars", v));
    EXPECT_EQ(v, 6.0);
    EXPECT_TRUE(toValue(61, "3", v));  // an item text before a number
    EXPECT_EQ(v, 5.0);

    const Row& cutoff = rows()[pid::kFltCutoff];
    EXPECT_TRUE(toValue(pid::kFltCutoff, "2k", v));
    EXPECT_NEAR(v, position(cutoff, 2000.0), 1e-9);
    EXPECT_TRUE(toValue(pid::kFltCutoff, "2 kHz", v));
    EXPECT_NEAR(v, position(cutoff, 2000.0), 1e-9);
    EXPECT_TRUE(toValue(pid::kFltCutoff, "0", v));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(toValue(pid::kFltCutoff, "440 Hz", v));
    EXPECT_NEAR(v, position(cutoff, 440.0), 1e-9);
    EXPECT_TRUE(toValue(pid::kTimRange, "0.5 s", v));
    EXPECT_NEAR(v, position(rows()[pid::kTimRange], 500.0), 1e-9);
    EXPECT_TRUE(toValue(pid::kTimRange, "500 ms", v));
    EXPECT_NEAR(v, position(rows()[pid::kTimRange], 500.0), 1e-9);

    EXPECT_TRUE(toValue(pid::kMix, "150", v));
    EXPECT_EQ(v, 1.0);
    EXPECT_TRUE(toValue(pid::kMix, "25 %", v));
    EXPECT_NEAR(v, 0.25, 1e-12);
    EXPECT_TRUE(toValue(29, "-100", v));
    EXPECT_EQ(v, -1.0);
    EXPECT_TRUE(toValue(pid::kInput, "12 dB", v));
    EXPECT_EQ(v, 12.0);
    EXPECT_TRUE(toValue(pid::kInput, "  -3.5", v));
    EXPECT_EQ(v, -3.5);
    EXPECT_TRUE(toValue(pid::kTrigThreshold, "-inf dB", v));
    EXPECT_EQ(v, -60.0);
    EXPECT_TRUE(toValue(43, "8x", v));
    EXPECT_EQ(v, 8.0);
    EXPECT_TRUE(toValue(16, "99", v));
    EXPECT_EQ(v, 8.0);
}

TEST_F(ClapParamsTest, UnreadableTextLeavesTheOutputAlone) {
    for (uint32_t i = 0; i < kParamCount; ++i) {
        double v = 4242.0;
        EXPECT_FALSE(toValue(i, "abc", v)) << i;
        EXPECT_FALSE(toValue(i, "", v)) << i;
        EXPECT_EQ(v, 4242.0) << i;
    }
    double v = 4242.0;
    EXPECT_FALSE(toValue(kParamCount, "1", v));
    EXPECT_FALSE(toValue(pid::kMix, nullptr, v));
    EXPECT_EQ(v, 4242.0);
}

// The flush is how a host sets values while no block runs.
TEST_F(ClapParamsTest, FlushStoresClampedValuesAndIgnoresUnknownIds) {
    InputEvents in;
    in.paramValue(0, pid::kMix, 0.3);
    in.paramValue(0, pid::kInput, 99.0);
    in.paramValue(0, pid::kOutput, -99.0);
    in.paramValue(0, pid::kVolRate, 5.0);
    in.paramValue(0, pid::kVolRate, 6.0);  // the later value wins
    in.paramValue(0, kParamCount, 0.5);
    in.paramValue(0, 0xFFFFFFFFu, 0.5);
    in.paramMod(0, pid::kMix, 0.5);
    in.noteOn(0, 60);
    OutputEvents out;
    params->flush(inst.plugin(), in.list(), out.list());

    EXPECT_DOUBLE_EQ(inst.value(pid::kMix), 0.3);
    EXPECT_DOUBLE_EQ(inst.value(pid::kInput), 24.0);
    EXPECT_DOUBLE_EQ(inst.value(pid::kOutput), -24.0);
    EXPECT_DOUBLE_EQ(inst.value(pid::kVolRate), 6.0);
    for (uint32_t i = 3; i < kParamCount; ++i)
        if (i != pid::kVolRate) {
            EXPECT_DOUBLE_EQ(inst.value(i), inst.info(i).default_value) << i;
        }
    EXPECT_EQ(out.size(), 0u);  // nothing from the editor is pending
    EXPECT_TRUE(host.logs.empty());
}

TEST_F(ClapParamsTest, FlushWorksWithoutAnOutputList) {
    InputEvents in;
    in.paramValue(0, pid::kMix, 0.7);
    params->flush(inst.plugin(), in.list(), nullptr);
    EXPECT_DOUBLE_EQ(inst.value(pid::kMix), 0.7);
}

TEST_F(ClapParamsTest, FlushWhileActive) {
    ASSERT_TRUE(inst.activate());
    inst.flushValue(pid::kDrvInput, 40.0);
    EXPECT_DOUBLE_EQ(inst.value(pid::kDrvInput), 36.0);
}

}  // namespace
}  // namespace claphost
