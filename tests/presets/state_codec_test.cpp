// The state stream codec against streams written from the layout by hand
// (tests/golden), cut short at every byte, and hostile headers.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "presets/state_codec.h"
#include "presets/test_files.h"

namespace norvale {
namespace {

std::vector<uint8_t> golden(const std::string& name) {
    const std::string bytes = presets_test::readFile(
        (std::filesystem::path(NORVALE_TESTS_DIR) / "golden" / name).string());
    return {bytes.begin(), bytes.end()};
}

std::unique_ptr<StateRecord> decoded(const std::vector<uint8_t>& bytes, bool expectOk = true) {
    auto state = std::make_unique<StateRecord>();
    EXPECT_EQ(decodeState(bytes, *state), expectOk);
    return state;
}

bool flat(const StateRecord& s, int module, int band) {
    Curve neutral;
    neutral.setFlat(neutralValue(module));
    return s.curves.curves[module][band].format() == neutral.format();
}

constexpr const char* kDrawn =
    "0.0000 0.2000 0 0.000, 0.5000 1.0000 2 0.500, 1.0000 0.2000 1 -0.250";

TEST(StateCodec, ReadsEveryVersion) {
    const auto v1 = decoded(golden("state_v1.bin"));
    EXPECT_EQ(v1->values[kParamMix], 0.25);
    EXPECT_EQ(v1->values[kParamVolRate], kParams[kParamVolRate].maxValue); // clamped
    EXPECT_EQ(v1->values[kParamFltCutoff], kParams[kParamFltCutoff].defaultValue);
    EXPECT_EQ(v1->curves.curves[kVol][0].format(), kDrawn);
    EXPECT_EQ(v1->curves.curves[kTim][2].format(), kDrawn);
    for (int m : {kCrs, kPan, kWid})
        EXPECT_TRUE(flat(*v1, m, 0));
    EXPECT_TRUE(v1->hasSelection && v1->hasSnap);
    EXPECT_EQ(v1->module, kModuleCount - 1); // 9 clamped
    EXPECT_EQ(v1->band, 0);                  // -1 clamped
    EXPECT_FALSE(v1->snap);
    EXPECT_FALSE(v1->hasToggles);

    const auto v2 = decoded(golden("state_v2.bin"));
    EXPECT_EQ(v2->values[kParamDrvOn], 1);
    EXPECT_EQ(v2->curves.curves[kPan][2].format(), kDrawn);
    EXPECT_TRUE(v2->hasToggles && !v2->editAllBands && v2->stepMode);
    EXPECT_EQ(v2->curves.chainLength, 0);

    const auto v3 = decoded(golden("state_v3.bin"));
    EXPECT_EQ(v3->values[kParamMix], 0.5);
    EXPECT_EQ(v3->curves.curves[kWid][2].format(), kDrawn);
    EXPECT_EQ(formatChain(v3->curves), "drv vol");
    EXPECT_EQ(v3->module, 3);
    EXPECT_EQ(v3->band, 2);
    EXPECT_TRUE(v3->snap && v3->editAllBands && !v3->stepMode);
    // Written again it reads back the same, now with every parameter.
    const std::vector<uint8_t> again = encodeState(*v3);
    EXPECT_EQ(encodeState(*decoded(again)), again);
}

// A stream cut anywhere inside the header or the parameters fails; cut
// anywhere later it loads with what it held.
TEST(StateCodec, CutAtEveryByte) {
    const std::vector<uint8_t> full = golden("state_v3.bin");
    const size_t parametersEnd = 12 + 12;
    for (size_t cut = 0; cut < full.size(); ++cut) {
        const std::vector<uint8_t> part(full.begin(), full.begin() + cut);
        const auto state = decoded(part, cut >= parametersEnd);
        if (cut < parametersEnd) continue;
        EXPECT_EQ(state->values[kParamMix], 0.5) << cut;
        EXPECT_EQ(state->hasSelection, cut >= full.size() - 11 - 5 + 2) << cut;
        EXPECT_EQ(state->curves.chainLength, 0) << cut; // the chain is the last field
        EXPECT_EQ(state->curves.curves[kWid][2].format() == kDrawn, cut >= full.size() - 16) << cut;
    }
}

TEST(StateCodec, HostileStreamsFail) {
    std::vector<uint8_t> v3 = golden("state_v3.bin");
    const auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> copy = v3;
        std::copy(bytes.begin(), bytes.end(), copy.begin() + at);
        return copy;
    };
    decoded(patched(0, {'N', 'O', 'R', 'W'}), false);
    decoded(patched(4, {4, 0, 0, 0}), false);              // a newer version
    decoded(patched(8, {0x88, 0x13, 0, 0}), false);        // 5000 parameters
    decoded(patched(24, {0x01, 0x00, 0x01, 0x00}), false); // a curve of 65537 bytes
    const auto longChain =
        decoded(patched(v3.size() - 11, {0x01, 0x01, 0, 0})); // 257 bytes: ignored
    EXPECT_EQ(longChain->curves.chainLength, 0);
}

} // namespace
} // namespace norvale
