// "clap.params" as a host meets it: names, value text both ways (whatever the
// host's locale), and the flush. The CLAP validator covers round trips and
// ranges of every row.
#include "test_host.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace claphost {
namespace {

class ClapParamsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module.ok()) << module.error(); }

    bool toValue(clap_id id, const char* text, double& out) const {
        return inst.params()->text_to_value(inst.plugin(), id, text, &out);
    }
    double valueOf(clap_id id, const char* text) const {
        double v = std::nan("");
        EXPECT_TRUE(toValue(id, text, v)) << text;
        return v;
    }

    Module module;
    TestHost host;
    Instance inst{module, host};
};

// Hosts list parameters flat: no two may look alike, and a name several
// modules share carries its module.
TEST_F(ClapParamsTest, NamesAreDistinctInAFlatList) {
    std::set<std::string> names;
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const clap_param_info_t info = inst.info(i);
        EXPECT_TRUE(names.insert(info.name).second) << info.name;
        EXPECT_TRUE(std::string(info.module) != "" && info.flags & CLAP_PARAM_IS_MODULATABLE);
    }
    EXPECT_STREQ(inst.info(pid::kVolRate).name, "Volume Rate");
    EXPECT_STREQ(inst.info(pid::kVolRate).module, "Volume");
    EXPECT_STREQ(inst.info(pid::kFltCutoff).name, "Cutoff");
}

TEST_F(ClapParamsTest, ValueToText) {
    const struct {
        clap_id id;
        const char* real; // typed into the row first, when given
        double value;
        const char* text;
    } cases[] = {
        // Log rows: three significant digits; rounding into the next magnitude
        // takes that magnitude's form.
        {pid::kFltCutoff, nullptr, 0.0, "20.0 Hz"},
        {pid::kFltCutoff, nullptr, 1.0, "20.00 kHz"},
        {pid::kFltCutoff, "999.7", 0, "1.00 kHz"},
        {pid::kFltCutoff, "99.96", 0, "100 Hz"},
        {pid::kTimRange, nullptr, 1.0, "2.00 s"},
        {pid::kTimRange, "9.996", 0, "20.0 ms"},
        {59, "9.996", 0, "10.0 ms"},
        // Out of range and non-finite values are shown clamped.
        {pid::kFltCutoff, nullptr, INFINITY, "20.00 kHz"},
        {pid::kMix, nullptr, 3.0, "100.0 %"},
        {pid::kVolRate, nullptr, NAN, "1/32"},
        {pid::kTrigThreshold, nullptr, -60.0, "-inf dB"},
        {pid::kTrigThreshold, nullptr, -59.9, "-59.90 dB"},
        {pid::kTrigOctave, nullptr, 5.0, "3"},
        {pid::kVolRate, nullptr, 2.5, "1/4"},
        {29, nullptr, -1.0, "-100.0 %"},
        {16, nullptr, 8.0, "8 oct"},
        {43, nullptr, 7.5, "8 x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(inst.text(c.id, c.real ? valueOf(c.id, c.real) : c.value), c.text) << c.id;
}

TEST_F(ClapParamsTest, TextToValue) {
    const struct {
        clap_id id;
        const char* text;
        const char* same; // a text that must give the same value
        double value;
    } cases[] = {
        {18, "NOTCH", nullptr, 3.0},
        {pid::kVolOn, "on", nullptr, 1.0},
        {pid::kVolRate, "2 Bars", nullptr, 6.0},
        {pid::kTrigOctave, "3", nullptr, 5.0}, // an item text before a number
        {pid::kFltCutoff, "2 kHz", "2000", NAN},
        {pid::kFltCutoff, "1,5k", "1500", NAN},
        {pid::kTimRange, "0.5 s", "500 ms", NAN},
        {pid::kMix, "150", nullptr, 1.0},
        {pid::kVolSmooth, " 15 %", nullptr, 0.15},
        {29, "-100", nullptr, -1.0},
        {pid::kInput, "+3,5 dB", nullptr, 3.5},
        {pid::kInput, "inf", nullptr, 24.0},
        {43, "2.6", nullptr, 2.6}, // rounding happens where it is used
    };
    for (const auto& c : cases) {
        const double v = valueOf(c.id, c.text);
        EXPECT_NEAR(v, c.same ? valueOf(c.id, c.same) : c.value, 1e-9) << c.text;
    }
    for (const char* text : {"abc", "", "k", "-", ".", "nan", "+-1", "\xc3\xa9"}) {
        double v = 4242.0;
        EXPECT_FALSE(toValue(pid::kInput, text, v)) << text;
        EXPECT_EQ(v, 4242.0);
    }
    char small[7];
    EXPECT_FALSE(inst.params()->value_to_text(inst.plugin(), pid::kMix, 1.0, small, 7));
}

// A host running with a decimal-comma locale still reads "0.50 dB", and a
// typed "1.5k" is 1500 Hz there too.
TEST_F(ClapParamsTest, TextIgnoresTheProcessLocale) {
    const auto dir = std::filesystem::temp_directory_path() / "norvale-locale";
    const std::string build =
        "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    std::filesystem::create_directories(dir);
    if (!std::filesystem::exists(dir / "de_DE.UTF-8") && std::system(build.c_str()) != 0)
        GTEST_SKIP() << "cannot build a de_DE locale";
    setenv("LOCPATH", dir.c_str(), 1);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    const std::string input = inst.text(pid::kInput, 0.5);
    const double dot = valueOf(pid::kFltCutoff, "1.5k"), comma = valueOf(pid::kFltCutoff, "1,5k");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(input, "0.50 dB");
    EXPECT_EQ(inst.text(pid::kFltCutoff, dot), "1.50 kHz");
    EXPECT_EQ(dot, comma);
}

// The flush is how a host sets values while no block runs.
TEST_F(ClapParamsTest, FlushStoresClampedValues) {
    InputEvents in;
    in.paramValue(0, pid::kMix, 0.3);
    in.paramValue(0, pid::kInput, 99.0);
    in.paramValue(0, pid::kVolRate, 5.0);
    in.paramValue(0, pid::kVolRate, 6.0); // the later value wins
    in.paramValue(0, kParamCount, 0.5);
    in.paramMod(0, pid::kOutput, 6.0); // not a value
    OutputEvents out;
    inst.params()->flush(inst.plugin(), in.list(), out.list());
    EXPECT_DOUBLE_EQ(inst.value(pid::kMix), 0.3);
    EXPECT_DOUBLE_EQ(inst.value(pid::kInput), 24.0);
    EXPECT_DOUBLE_EQ(inst.value(pid::kVolRate), 6.0);
    EXPECT_DOUBLE_EQ(inst.value(pid::kOutput), 0.0);
    EXPECT_EQ(out.size(), 0u);
    ASSERT_TRUE(inst.activate());
    in.clear();
    in.paramValue(0, pid::kDrvInput, 40.0);
    inst.params()->flush(inst.plugin(), in.list(), nullptr);
    EXPECT_DOUBLE_EQ(inst.value(pid::kDrvInput), 36.0);
}

} // namespace
} // namespace claphost
