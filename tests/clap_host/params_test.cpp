// The "clap.params" extension: the 83 rows as a host sees them, value text in
// both directions, values of a fresh instance, and the flush.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
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
    static double position(clap_id id, double real) {
        const Row& r = rows()[id];
        return std::log(real / r.realMin) / std::log(r.realMax / r.realMin);
    }

    Module module;
    TestHost host;
    Instance inst{module, host};
    const clap_plugin_params_t* params = nullptr;
};

TEST_F(ClapParamsTest, InfoValueAndDefaultTextOfEveryRow) {
    EXPECT_EQ(params->count(inst.plugin()), kParamCount);
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
        EXPECT_DOUBLE_EQ(inst.value(i), info.default_value);  // a fresh instance
        EXPECT_EQ(inst.text(i, info.default_value), r.defaultText);
    }
    EXPECT_NEAR(inst.info(pid::kFltCutoff).default_value, 0.566323, 1e-6);

    clap_param_info_t info{};
    double v = 7.0;
    for (clap_id bad : {kParamCount, 0xFFFFFFFFu}) {
        EXPECT_FALSE(params->get_info(inst.plugin(), bad, &info));
        EXPECT_FALSE(params->get_value(inst.plugin(), bad, &v));
    }
    EXPECT_EQ(v, 7.0);
    EXPECT_FALSE(params->get_value(inst.plugin(), 0, nullptr));
}

// Text written for a value reads back to that value, to the precision shown,
// and shows the same text again.
TEST_F(ClapParamsTest, TextRoundTripsAcrossEveryRange) {
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const Row& r = rows()[i];
        std::vector<double> values = {r.def};
        for (int k = 0; k <= 8; ++k) values.push_back(r.min + (r.max - r.min) * k / 8.0);
        for (double v : values) {
            SCOPED_TRACE("parameter " + std::to_string(i) + " value " + std::to_string(v));
            const std::string text = inst.text(i, v);
            ASSERT_NE(text, "<fail>");
            double back = -12345.0;
            ASSERT_TRUE(toValue(i, text.c_str(), back)) << text;
            EXPECT_EQ(inst.text(i, back), text);
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

TEST_F(ClapParamsTest, ValueToTextExamples) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        clap_id id;
        double value;
        const char* text;
    } cases[] = {
        // Log rows: three significant digits; rounding into the next magnitude
        // takes that magnitude's form.
        {pid::kFltCutoff, 0.0, "20.0 Hz"},
        {pid::kFltCutoff, 1.0, "20.00 kHz"},
        {pid::kFltCutoff, position(pid::kFltCutoff, 999.7), "1.00 kHz"},
        {pid::kFltCutoff, position(pid::kFltCutoff, 1500.0), "1.50 kHz"},
        {pid::kFltCutoff, position(pid::kFltCutoff, 99.96), "100 Hz"},
        {3, 0.5, "200 Hz"},
        {pid::kTimRange, 1.0, "2.00 s"},
        {pid::kTimRange, position(pid::kTimRange, 50.0), "50.0 ms"},
        {59, 0.0, "5.00 ms"},
        {59, position(59, 9.996), "10.0 ms"},
        // Out of range and non-finite values are shown clamped.
        {pid::kFltCutoff, -3.0, "20.0 Hz"},
        {pid::kFltCutoff, inf, "20.00 kHz"},
        {pid::kMix, 3.0, "100.0 %"},
        {pid::kVolRate, std::nan(""), "1/32"},
        {pid::kTrigOctave, 99.0, "9"},
        {pid::kTrigThreshold, -60.0, "-inf dB"},
        {pid::kTrigThreshold, -59.9, "-59.90 dB"},
        {pid::kInput, -24.0, "-24.00 dB"},
        {pid::kTrigNote, 0.0, "Any"},
        {pid::kTrigNote, 1.0, "C"},
        {pid::kTrigOctave, 5.0, "3"},
        {pid::kVolRate, 2.5, "1/4"},
        {pid::kVolRate, 7.0, "4 Bars"},
        {29, -1.0, "-100.0 %"},
        {16, 8.0, "8 oct"},
        {42, 6.4, "6 bit"},
        {43, 7.5, "8 x"},
        {pid::kMix, 0.5, "50.0 %"},
    };
    for (const auto& c : cases) EXPECT_EQ(inst.text(c.id, c.value), c.text) << c.id << " " << c.value;
}

TEST_F(ClapParamsTest, TextToValueExamples) {
    const struct {
        clap_id id;
        const char* text;
        double value;
    } cases[] = {
        {18, "lowpass", 0.0},
        {18, "NOTCH", 3.0},
        {pid::kVolOn, "on", 1.0},
        {pid::kVolRate, "2", 2.0},
        {pid::kVolRate, "2 Bars", 6.0},
        {pid::kTrigOctave, "3", 5.0},   // an item text before a number
        {pid::kTrigOctave, "-1", 1.0},
        {pid::kFltCutoff, "2k", position(pid::kFltCutoff, 2000.0)},
        {pid::kFltCutoff, "2 kHz", position(pid::kFltCutoff, 2000.0)},
        {pid::kFltCutoff, "0", 0.0},
        {pid::kFltCutoff, "440 Hz", position(pid::kFltCutoff, 440.0)},
        {pid::kTimRange, "0.5 s", position(pid::kTimRange, 500.0)},
        {pid::kTimRange, "500 ms", position(pid::kTimRange, 500.0)},
        {pid::kMix, "150", 1.0},
        {pid::kMix, "25 %", 0.25},
        {pid::kVolSmooth, " 15 %", 0.15},
        {29, "-100", -1.0},
        {pid::kInput, "12 dB", 12.0},
        {pid::kInput, "  -3.5", -3.5},
        {pid::kInput, "inf", 24.0},
        {pid::kTrigThreshold, "-inf dB", -60.0},
        {43, "8x", 8.0},
        {43, "2.6", 2.6},  // rounding happens where it is used
        {16, "99", 8.0},
    };
    for (const auto& c : cases) {
        double v = -1.0;
        EXPECT_TRUE(toValue(c.id, c.text, v)) << c.text;
        EXPECT_NEAR(v, c.value, 1e-9) << c.id << " '" << c.text << "'";
    }
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

TEST_F(ClapParamsTest, UnreadableTextLeavesTheOutputAlone) {
    for (uint32_t i = 0; i < kParamCount; ++i) {
        for (const char* text : {"abc", "", " ", "k", "-", ".", "nan", "NaN dB", "\xc3\xa9"}) {
            double v = 4242.0;
            EXPECT_FALSE(toValue(i, text, v)) << i << " '" << text << "'";
            EXPECT_EQ(v, 4242.0);
        }
    }
    double v = 4242.0;
    EXPECT_FALSE(toValue(kParamCount, "1", v));
    EXPECT_FALSE(toValue(pid::kMix, nullptr, v));
    EXPECT_EQ(v, 4242.0);
}

// Random bytes and number-like noise through every row: never a crash, a
// result inside the range on success and an untouched output on failure.
TEST_F(ClapParamsTest, FuzzedTextStaysInRange) {
    std::mt19937 rng(20240611);
    const char alphabet[] = "0123456789.eE+-kKsSmMinfINFaAx %\t";
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        for (int n = int(rng() % 41); n > 0; --n)
            text += round % 2 ? char(1 + rng() % 255) : alphabet[rng() % (sizeof alphabet - 1)];
        const Row& r = rows()[round % kParamCount];
        double v = -1234.0;
        if (toValue(round % kParamCount, text.c_str(), v)) {
            EXPECT_GE(v, r.min) << text;
            EXPECT_LE(v, r.max) << text;
        } else {
            EXPECT_EQ(v, -1234.0) << text;
        }
    }
    double v = 0;
    EXPECT_TRUE(toValue(pid::kFltCutoff, std::string(100000, '9').c_str(), v));
    EXPECT_EQ(v, 1.0);
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

    // Without an output list, and while active.
    ASSERT_TRUE(inst.activate());
    in.clear();
    in.paramValue(0, pid::kDrvInput, 40.0);
    params->flush(inst.plugin(), in.list(), nullptr);
    EXPECT_DOUBLE_EQ(inst.value(pid::kDrvInput), 36.0);
}

}  // namespace
}  // namespace claphost
