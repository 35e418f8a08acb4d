// "clap.state" through the ABI: the default stream is pinned by a golden
// file, saving copes with host streams, loading applies a whole sound or
// nothing at all, and what is loaded is what is heard.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "test_host.h"

namespace claphost {
namespace {

std::vector<uint8_t> golden(const std::string& name) {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path() / "../golden" / name,
                     std::ios::binary);
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
    inst.flushValue(pid::kBypass, 1.0);
    ASSERT_TRUE(inst.load(v3, 5, -1)); // small reads, then a read error after the end
    EXPECT_EQ(inst.value(pid::kMix), 0.5);
    EXPECT_EQ(inst.value(pid::kBypass), 0.0); // streams from before the bypass: off
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
    StateImage img = *StateImage::decode(golden("state_default.bin"));
    img.set(pid::kVolOn, 1);
    img.set(pid::kVolSmooth, 0.0);
    const std::vector<float> full = play(img.encode());
    for (int band = 0; band < 3; ++band)
        img.curve(0, band) = flatCurve(0.5);
    const std::vector<float> half = play(img.encode());
    // The volume curve is squared: half way is a quarter of the level.
    for (uint32_t i = 300; i < full.size(); ++i)
        ASSERT_NEAR(half[i], 0.25 * full[i], 1e-5) << i;

    img.set(pid::kDrvOn, 1);
    img.set(pid::kDrvDrive, 1.0);
    img.chain = "vol drv";
    const std::vector<float> volFirst = play(img.encode());
    img.chain = "drv vol";
    EXPECT_NE(play(img.encode()), volFirst);

    // A load that fails half way leaves the running sound as it was.
    StateImage::Layout layout;
    std::vector<uint8_t> tooLongCurve = img.encode(&layout);
    const uint32_t tooLong = 70000;
    std::memcpy(tooLongCurve.data() + layout.curveLength[5] - 4, &tooLong, 4);
    std::vector<uint8_t> shortParams = img.encode();
    shortParams.resize(layout.params - 5);
    EXPECT_EQ(play(img.encode(), {tooLongCurve, shortParams}), play(img.encode()));
}

} // namespace
} // namespace claphost
