// "clap.state" through the ABI: the default stream is pinned by a golden
// file, saving copes with host streams, loading applies a whole sound or
// nothing at all, and what is loaded is what is heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "presets/state_codec.h"
#include "test_host.h"

namespace claphost {
namespace {

std::vector<uint8_t> golden(const std::string& name) {
    std::ifstream in(std::filesystem::path(NORVALE_TESTS_DIR) / "golden" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

float signal(uint32_t i, int ch) {
    return float(0.4 * std::sin(0.013 * i + ch) + 0.2 * std::sin(0.31 * i));
}

class ClapStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.ok()) << module.error();
        ASSERT_NE(inst.state(), nullptr);
    }
    // A fresh, active instance that loaded bytes and played four blocks;
    // with interfere, two failing loads come between the second and third.
    std::vector<float> play(const std::vector<uint8_t>& bytes,
                            const std::vector<std::vector<uint8_t>>& interfere = {}) {
        Instance other(module, host);
        EXPECT_TRUE(other.activate());
        EXPECT_TRUE(other.load(bytes)); // while active, as hosts do
        std::vector<float> out;
        for (uint32_t b = 0; b < 4; ++b) {
            for (size_t i = 0; b == 2 && i < interfere.size(); ++i) {
                EXPECT_FALSE(other.load(interfere[i]));
            }
            AudioBlock block(512);
            block.fillInput(signal, b * 512);
            EXPECT_EQ(block.run(other.plugin()), CLAP_PROCESS_CONTINUE);
            out.insert(out.end(), block.outL.begin(), block.outL.end());
        }
        return out;
    }
    Module module;
    TestHost host;
    Instance inst{module, host};
};

TEST_F(ClapStateTest, FreshInstanceSavesTheGoldenDefaultAndFailsOnFailingStreams) {
    const std::vector<uint8_t> expected = golden("state_default.bin");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(inst.save(), expected); // streams that take a few bytes a call: the validator's
    for (size_t failAfter : {0, 100})
        for (int64_t result : {-1, 0}) {
            MemoryOut out;
            out.failAfter = failAfter;
            out.failResult = result;
            EXPECT_FALSE(inst.state()->save(inst.plugin(), out.stream()))
                << failAfter << " " << result;
        }
    EXPECT_FALSE(inst.state()->save(inst.plugin(), nullptr));
    EXPECT_FALSE(inst.state()->load(inst.plugin(), nullptr));
}

TEST_F(ClapStateTest, LoadAppliesTheWholeSoundAndTellsTheHost) {
    const std::vector<uint8_t> v3 = golden("state_v3.bin");
    inst.flushValue(norvale::kParamBypass, 1.0);
    ASSERT_TRUE(inst.load(v3, 5, -1)); // small reads, then a read error after the end
    EXPECT_EQ(inst.value(norvale::kParamMix), 0.5);
    EXPECT_EQ(inst.value(norvale::kParamBypass), 0.0); // streams from before the bypass: off
    EXPECT_EQ(host.rescans,
              std::vector<uint32_t>{CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT});
    // What each field reads as is the codec's test; saving it again is the validator's.
    const auto saved = inst.save();
    ASSERT_TRUE(saved);

    // A refused stream changes nothing, host included (which streams are
    // refused is the codec's own test).
    host.rescans.clear();
    EXPECT_FALSE(inst.load(std::vector<uint8_t>(v3.begin(), v3.begin() + 20)));
    EXPECT_EQ(inst.save(), saved);
    EXPECT_TRUE(host.rescans.empty());
}

TEST_F(ClapStateTest, LoadedCurvesAndChainReachTheSound) {
    using namespace norvale;
    StateRecord state;
    ASSERT_TRUE(decodeState(golden("state_default.bin"), state));
    state.values[kParamVolOn] = 1;
    state.values[kParamVolSmooth] = 0.0;
    const std::vector<float> full = play(encodeState(state));
    for (Curve& curve : state.curves.curves[kVol])
        curve.setFlat(0.5f);
    const std::vector<float> half = play(encodeState(state));
    // The volume curve is squared: half way is a quarter of the level.
    for (uint32_t i = 300; i < full.size(); ++i)
        ASSERT_NEAR(half[i], 0.25 * full[i], 1e-5) << i;

    state.values[kParamDrvOn] = 1;
    state.values[kParamDrvDrive] = 1.0;
    ASSERT_TRUE(parseChain("vol drv", state.curves));
    const std::vector<float> volFirst = play(encodeState(state));
    ASSERT_TRUE(parseChain("drv vol", state.curves));
    EXPECT_NE(play(encodeState(state)), volFirst);

    // A load that fails half way leaves the running sound as it was: one
    // whose sixth curve claims too long a text, one cut inside the parameters.
    state.curves.curves[kFlt][2].setFlat(0.125f); // unheard, and the only such text
    const std::vector<uint8_t> whole = encodeState(state);
    const auto lengthBefore = [&](const Curve& curve) {
        const std::string text = curve.format();
        return size_t(std::search(whole.begin(), whole.end(), text.begin(), text.end()) -
                      whole.begin()) -
               4;
    };
    std::vector<uint8_t> tooLongCurve = whole;
    const uint32_t tooLong = 70000;
    std::memcpy(tooLongCurve.data() + lengthBefore(state.curves.curves[kFlt][2]), &tooLong, 4);
    const std::vector<uint8_t> shortParams(
        whole.begin(), whole.begin() + long(lengthBefore(state.curves.curves[kVol][0])) - 5);
    EXPECT_EQ(play(whole, {tooLongCurve, shortParams}), play(whole));
}

} // namespace
} // namespace claphost
