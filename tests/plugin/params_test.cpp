#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "plugin/params.h"

namespace norvale {
namespace {

using plugincore::ParamDesc;
using plugincore::ParamKind;

std::string textOf(const ParamDesc& desc, double value) {
    char buffer[64];
    EXPECT_TRUE(plugincore::paramValueToText(desc, value, buffer, sizeof buffer)) << desc.key;
    return buffer;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(ParamTable, LookupByIdAndKey) {
    ASSERT_EQ(paramById(0), paramTable());
    EXPECT_EQ(paramById(kParamWidEnd), &paramTable()[82]);
    EXPECT_EQ(paramById(kParamCount), nullptr);
    EXPECT_EQ(paramById(UINT32_MAX), nullptr);

    EXPECT_EQ(paramByKey("mix"), paramTable());
    EXPECT_EQ(paramByKey("MIX"), nullptr);
    EXPECT_EQ(paramByKey("mix "), nullptr);
    EXPECT_EQ(paramByKey(""), nullptr);
    EXPECT_EQ(paramByKey(nullptr), nullptr);
    EXPECT_EQ(paramByKey("trig_octave")->id, kParamTrigOctave);
}

TEST(ParamTable, GenericLookupRejectsMisnumberedRowsAndMissingTables) {
    ParamDesc rows[2] = {kParams[0], kParams[1]};
    rows[1].id = 7;
    EXPECT_EQ(plugincore::paramByIdIn(rows, 2, 0), &rows[0]);
    EXPECT_EQ(plugincore::paramByIdIn(rows, 2, 1), nullptr);
    EXPECT_EQ(plugincore::paramByIdIn(nullptr, 2, 0), nullptr);
    EXPECT_EQ(plugincore::paramByKeyIn(rows, 0, "mix"), nullptr);
    EXPECT_EQ(plugincore::paramByKeyIn(nullptr, 2, "mix"), nullptr);
    EXPECT_EQ(plugincore::paramByKeyIn(rows, 2, "input"), &rows[1]);
}

TEST(ParamTable, KeysAreUniqueAndEveryRowIsDocumented) {
    std::set<std::string> keys;
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const ParamDesc& p = kParams[i];
        EXPECT_TRUE(keys.insert(p.key).second) << p.key;
        EXPECT_GT(std::strlen(p.name), 0u) << p.key;
        EXPECT_GT(std::strlen(p.group), 0u) << p.key;
        EXPECT_GT(std::strlen(p.help), 20u) << p.key;
        EXPECT_EQ(p.help[std::strlen(p.help) - 1], '.') << p.key;
        EXPECT_EQ(paramByKey(p.key), &p);
        if (p.kind == ParamKind::Enum) {
            EXPECT_EQ(p.maxValue, p.itemCount - 1.0) << p.key;
        }
    }
}

TEST(ParamTable, PerModuleIdsFollowModuleKeys) {
    for (int m = 0; m < kModuleCount; ++m) {
        const std::string prefix = std::string(moduleKey(m)) + "_";
        EXPECT_EQ(kParams[kModuleOnParams[m]].key, prefix + "on");
        EXPECT_EQ(kParams[kModuleRateParams[m]].key, prefix + "rate");
        EXPECT_EQ(kParams[kModulePhaseParams[m]].key, prefix + "phase");
        EXPECT_EQ(kParams[kModuleSmoothParams[m]].key, prefix + "smooth");
        EXPECT_EQ(kParams[kModuleTriggerParams[m]].key, prefix + "trigger");
        EXPECT_EQ(kParams[kModuleLoopParams[m]].key, prefix + "loop");
        EXPECT_EQ(kParams[kModuleEndParams[m]].key, prefix + "end");
    }
}

TEST(ParamTable, LogDefaultsArePositionsOfTheRealDefaults) {
    EXPECT_NEAR(kParams[kParamFltCutoff].defaultValue, 0.566323, 1e-6);
    EXPECT_NEAR(kParams[kParamSplitLow].defaultValue, 0.5, 1e-15);
    EXPECT_NEAR(kParams[kParamSplitHigh].defaultValue, 0.5, 1e-15);
    const std::pair<ParamId, double> realDefaults[] = {
        {kParamSplitLow, 200},  {kParamSplitHigh, 2000},   {kParamFltCutoff, 1000},
        {kParamTimRange, 500},  {kParamTrigFilter, 20000}, {kParamTrigHold, 50}};
    for (const auto& [id, real] : realDefaults) {
        const ParamDesc& p = kParams[id];
        ASSERT_EQ(p.kind, ParamKind::Log);
        EXPECT_NEAR(p.defaultValue, plugincore::realToParam(p, real), 1e-14) << p.key;
        EXPECT_NEAR(plugincore::paramToReal(p, p.defaultValue), real, real * 1e-13) << p.key;
    }
}

TEST(ParamTable, CompileTimeLogMatchesTheLibrary) {
    for (double x : {1e-6, 0.1, 0.5, 1.0, 1.5, 2.0, 10.0, 50.0, 1000.0, 1e9}) {
        const double expected = std::log(x);
        const double tolerance = 1e-14 * std::max(1.0, std::fabs(expected));
        EXPECT_NEAR(plugincore::constexprLn(x), expected, tolerance);
    }
    EXPECT_TRUE(std::isnan(plugincore::constexprLn(0.0)));
    EXPECT_TRUE(std::isnan(plugincore::constexprLn(-1.0)));
    EXPECT_TRUE(std::isnan(plugincore::constexprLn(std::numeric_limits<double>::infinity())));
}

// Every row's default must read sensibly and survive text -> value -> text,
// and so must its range ends and its midpoint.
TEST(ParamTable, EveryRowShowsAndReadsBackItsOwnText) {
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const ParamDesc& p = kParams[i];
        const std::string shown = textOf(p, p.defaultValue);
        if (p.kind == ParamKind::Enum) {
            EXPECT_EQ(shown, p.items[static_cast<int>(p.defaultValue)]) << p.key;
        } else {
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(shown[0])) || shown[0] == '-')
                << shown;
            EXPECT_TRUE(endsWith(shown, p.unit)) << p.key << ": " << shown;
        }
        double value = -1234.0;
        ASSERT_TRUE(plugincore::paramTextToValue(p, shown.c_str(), value)) << shown;
        EXPECT_NEAR(value, p.defaultValue, 1e-9) << p.key << ": " << shown;

        const double mid = 0.5 * (p.minValue + p.maxValue);
        for (double v : {p.minValue, p.maxValue, mid, p.defaultValue}) {
            const std::string first = textOf(p, v);
            ASSERT_TRUE(plugincore::paramTextToValue(p, first.c_str(), value)) << first;
            EXPECT_GE(value, p.minValue);
            EXPECT_LE(value, p.maxValue);
            EXPECT_EQ(textOf(p, value), first) << p.key;
        }
    }
}

}  // namespace
}  // namespace norvale
