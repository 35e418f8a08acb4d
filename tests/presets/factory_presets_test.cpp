// The built-in presets: the files of presets/factory as embedded, each read
// strictly, each switching on the stages its name promises with a drawn
// curve, and Bended Duck byte for byte as published.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "plugin/params.h"
#include "presets/preset_format.h"
#include "presets/test_files.h"

namespace norvale {
namespace {

const std::string kFactoryDir =
    (std::filesystem::path(NORVALE_TESTS_DIR) / "../presets/factory").string();

uint64_t fnv1a(const std::string& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char c : bytes)
        hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

TEST(FactoryPresets, EmbeddedAsTheFilesAndBendedDuckAsPublished) {
    ASSERT_EQ(kBuiltinPresets.size(), 10u);
    for (const plugincore::BuiltinPreset& builtin : kBuiltinPresets)
        EXPECT_EQ(builtin.text,
                  presets_test::readFile(kFactoryDir + "/" + builtin.key + ".norvale"))
            << builtin.key;
    const std::string bended = kBuiltinPresets[0].text;
    EXPECT_EQ(bended.size(), 2117u);
    EXPECT_EQ(fnv1a(bended), 0xfd16adc58a446e9aull);
    EXPECT_EQ(findBuiltinPreset("kick_duck"), &kBuiltinPresets[6]);
    EXPECT_EQ(findBuiltinPreset("Kick_Duck"), nullptr);
}

TEST(FactoryPresets, EachSwitchesOnItsStagesWithADrawnCurve) {
    const std::pair<const char*, std::set<int>> stages[] = {
        {"bended_duck", {kVol}},   {"crush_steps", {kCrs}},       {"drive_pump", {kDrv}},
        {"filter_wobble", {kFlt}}, {"gated_stabs", {kVol, kFlt}}, {"half_speed_stop", {kTim}},
        {"kick_duck", {kVol}},     {"live_stutter", {kTim}},      {"pan_steps", {kPan}},
        {"sidechain_duck", {kVol}}};
    for (const auto& [key, on] : stages) {
        const plugincore::BuiltinPreset* builtin = findBuiltinPreset(key);
        ASSERT_NE(builtin, nullptr) << key;
        plugincore::PresetData data;
        CurveSet curves;
        std::string err;
        ASSERT_TRUE(parsePreset(builtin->text, std::strlen(builtin->text), data, curves, err, true))
            << key << ": " << err;
        EXPECT_EQ(data.author, "Norvale");
        EXPECT_FALSE(data.description.empty());
        std::set<int> switchedOn;
        for (const plugincore::PresetValue& v : data.values)
            for (int m = 0; m < kModuleCount; ++m)
                if (v.id == kModuleOnParams[m] && v.value == 1) switchedOn.insert(m);
        EXPECT_EQ(switchedOn, on) << key;
        for (const int m : on) {
            Curve neutral;
            neutral.setFlat(neutralValue(m));
            bool drawn = false;
            for (int b = 0; b < kBandCount; ++b)
                drawn = drawn || curves.curves[m][b].format() != neutral.format();
            EXPECT_TRUE(drawn) << key << " " << moduleKey(m);
        }
    }
}

} // namespace
} // namespace norvale
