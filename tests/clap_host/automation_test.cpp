// What a host's automation, transport and bypass do to the plug-in file's sound.
#include "test_host.h"

#include <gtest/gtest.h>

#include "presets/state_codec.h"

#include <array>
#include <cmath>

namespace claphost {
namespace {

float sine(uint32_t i, int ch) {
    return float(0.3 * std::sin(6.2832 * 110.0 * i / 48000.0 + ch));
}
float one(uint32_t, int) {
    return 1.0f; // a gain meter
}
float maxStep(const std::vector<float>& v) {
    float step = 0.0f;
    for (size_t i = 1; i < v.size(); ++i)
        step = std::max(step, std::abs(v[i] - v[i - 1]));
    return step;
}

// One block of `signal` from `at` (null: silence) with values {time, id, value}; left output.
std::vector<float> play(const Instance& inst, uint32_t frames, float (*signal)(uint32_t, int),
                        uint32_t at, std::vector<std::array<double, 3>> values = {},
                        const clap_event_transport_t* transport = nullptr) {
    AudioBlock block(frames);
    if (signal) block.fillInput(signal, at);
    block.transport = transport;
    for (const auto& [time, id, value] : values)
        block.events.paramValue(uint32_t(time), clap_id(id), value);
    block.run(inst.plugin());
    return block.outL;
}

struct AutomationTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(module.ok()) << module.error(); }
    Module module;
    TestHost host;
};

// A fade of 64 points in a 1024-frame block: the gain follows (half way, where
// the points were milliseconds before) and glides: no sample moves by a quarter
// of the largest step between two points' settled gains.
TEST_F(AutomationTest, SteppedGainAutomationIsFollowedWithoutSteps) {
    const struct {
        clap_id id;
        double from, to, outputDb; // a fixed output gain lets the mix be heard
    } cases[] = {{norvale::kParamInput, -12, 12, 0},
                 {norvale::kParamOutput, 12, -12, 0},
                 {norvale::kParamMix, 0, 1, -24}};
    for (const auto& c : cases) {
        Instance inst(module, host);
        ASSERT_TRUE(inst.activate());
        const auto point = [&](uint32_t p) { return c.from + (c.to - c.from) * (p + 1) / 64; };
        for (const auto& [id, value] : {std::pair<clap_id, double>{norvale::kParamVolOn, 1.0},
                                        {norvale::kParamOutput, c.outputDb},
                                        {c.id, c.from}}) // a rack to mix
            inst.flushValue(id, value);
        for (int i = 0; i < 8; ++i)
            play(inst, 1024, one, 0);
        std::vector<std::array<double, 3>> fade;
        for (uint32_t p = 0; p < 64; ++p)
            fade.push_back({p * 16.0, double(c.id), point(p)});
        const std::vector<float> gain = play(inst, 1024, one, 0, fade);
        std::vector<float> settled;
        for (uint32_t p = 0; p < 64; ++p)
            settled.push_back(play(inst, 1024, one, 0, {{0, double(c.id), point(p)}}).back());
        EXPECT_LE(maxStep(gain), maxStep(settled) / 4) << c.id;
        EXPECT_TRUE(std::clamp(gain[512], std::min(settled[11], settled[32]),
                               std::max(settled[11], settled[32])) == gain[512]);
    }
}

// A song bounced again after any stopped pre-roll is the same file: Crush's
// hold follows the song position.
TEST_F(AutomationTest, BouncesOfOneSongAreTheSameWhateverThePreRoll) {
    norvale::StateRecord state;
    ASSERT_TRUE(norvale::decodeState(*Instance(module, host).save(), state));
    state.values[norvale::kParamCrsOn] = 1;
    for (norvale::Curve& curve : state.curves.curves[norvale::kCrs])
        ASSERT_TRUE(curve.parse("0.0000 0.7000 0 0.000, 1.0000 0.7000 0 0.000"));
    const auto bounce = [&](uint32_t preRoll) {
        Instance inst(module, host);
        EXPECT_TRUE(inst.load(norvale::encodeState(state)) && inst.activate());
        const clap_event_transport_t stopped = transportAt(0.0, false);
        for (uint32_t done = 0; done < preRoll; done += 512)
            play(inst, std::min(512u, preRoll - done), nullptr, 0, {}, &stopped);
        std::vector<float> file;
        for (uint32_t at = 0; at < 4096; at += 512) {
            const clap_event_transport_t playing = transportAt(at / 24000.0, true);
            const std::vector<float> out = play(inst, 512, sine, at, {}, &playing);
            file.insert(file.end(), out.begin(), out.end());
        }
        return file;
    };
    const std::vector<float> first = bounce(0);
    for (const uint32_t preRoll : {0u, 700u, 3000u})
        EXPECT_EQ(bounce(preRoll), first) << preRoll;
}

// Bypass fades without a step of its own; faded, the output is the input bit
// for bit and the tail stays; back on, it sounds as if never bypassed.
TEST_F(AutomationTest, BypassFadesToTheExactInput) {
    Instance inst(module, host), wet(module, host);
    for (Instance* i : {&inst, &wet}) {
        ASSERT_TRUE(i->activate());
        for (const auto& [id, value] : {std::pair<clap_id, double>{norvale::kParamOutput, -12.0},
                                        {norvale::kParamTimOn, 1.0}})
            i->flushValue(id, value);
    }
    const auto* tail = static_cast<const clap_plugin_tail_t*>(inst.extension(CLAP_EXT_TAIL));
    const uint32_t tailBefore = tail->get(inst.plugin());
    for (uint32_t b = 0; b < 5; ++b) {
        AudioBlock block(1024);
        block.fillInput(sine, b * 1024);
        if (b % 2) block.events.paramValue(100, norvale::kParamBypass, b == 1 ? 1.0 : 0.0);
        block.run(inst.plugin());
        const std::vector<float> reference = play(wet, 1024, sine, b * 1024);
        EXPECT_LE(maxStep(block.outL), std::max(maxStep(reference), maxStep(block.inL)) * 1.1f);
        EXPECT_TRUE(b != 2 || (block.outL == block.inL && tail->get(inst.plugin()) == tailBefore));
        EXPECT_TRUE(b != 4 || block.outL == reference);
    }
}

} // namespace
} // namespace claphost
