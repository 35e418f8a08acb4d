// What a host's automation, transport and bypass do to the sound, measured at
// the output of the plug-in file.
#include "test_host.h"

#include <gtest/gtest.h>

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

// One block of `signal` from frame `at` (silence if null), with parameter
// values {time, id, value}; the left output.
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

// 64 points over one 1024-frame block, as a host draws a fade: the gain
// follows them (half way it is where the points were a few milliseconds
// before) and glides over their steps: no sample moves by a quarter of the
// largest step between two points' settled gains.
TEST_F(AutomationTest, SteppedGainAutomationIsFollowedWithoutSteps) {
    const struct {
        clap_id id;
        double from, to, outputDb; // a fixed output gain lets the mix be heard
    } cases[] = {{pid::kInput, -12, 12, 0}, {pid::kOutput, 12, -12, 0}, {pid::kMix, 0, 1, -24}};
    for (const auto& c : cases) {
        Instance inst(module, host);
        ASSERT_TRUE(inst.activate());
        const auto point = [&](uint32_t p) { return c.from + (c.to - c.from) * (p + 1) / 64; };
        // A stage on, so that there is a rack to mix.
        for (int i = 0; i < 8; ++i)
            play(inst, 1024, one, 0,
                 {{0, pid::kVolOn, 1}, {0, pid::kOutput, c.outputDb}, {0, double(c.id), c.from}});
        std::vector<std::array<double, 3>> fade;
        for (uint32_t p = 0; p < 64; ++p)
            fade.push_back({p * 16.0, double(c.id), point(p)});
        const std::vector<float> gain = play(inst, 1024, one, 0, fade);
        std::vector<float> settled;
        for (uint32_t p = 0; p < 64; ++p)
            settled.push_back(play(inst, 1024, one, 0, {{0, double(c.id), point(p)}}).back());
        EXPECT_LE(maxStep(gain), maxStep(settled) / 4) << c.id;
        EXPECT_LE(std::min(settled[11], settled[32]), gain[512]) << c.id;
        EXPECT_GE(std::max(settled[11], settled[32]), gain[512]) << c.id;
    }
}

// The same song bounced again, after any stretch of stopped pre-roll, is the
// same file: Crush's hold follows the song position.
TEST_F(AutomationTest, BouncesOfOneSongAreTheSameWhateverThePreRoll) {
    StateImage img = *StateImage::decode(*Instance(module, host).save());
    img.set(pid::kCrsOn, 1);
    for (int band = 0; band < 3; ++band)
        img.curve(4, band) = "0.0000 0.7000 0 0.000, 1.0000 0.7000 0 0.000";
    const auto bounce = [&](uint32_t preRoll) {
        Instance inst(module, host);
        EXPECT_TRUE(inst.load(img.encode()) && inst.activate());
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

// Bypass fades to the input and back without a step of its own; faded, the
// output is the input bit for bit and the tail stays. The rack ran on
// underneath: back on, it sounds as if never bypassed.
TEST_F(AutomationTest, BypassFadesToTheExactInput) {
    Instance inst(module, host), wet(module, host);
    for (Instance* i : {&inst, &wet}) {
        ASSERT_TRUE(i->activate());
        for (const auto& [id, value] : {std::pair{pid::kOutput, -12.0}, {pid::kTimOn, 1.0}})
            i->flushValue(id, value);
    }
    const auto* tail = static_cast<const clap_plugin_tail_t*>(inst.extension(CLAP_EXT_TAIL));
    const uint32_t tailBefore = tail->get(inst.plugin());
    for (uint32_t block = 0; block < 5; ++block) {
        std::vector<std::array<double, 3>> bypass;
        if (block % 2) bypass.push_back({100, pid::kBypass, block == 1 ? 1.0 : 0.0});
        const std::vector<float> out = play(inst, 1024, sine, block * 1024, bypass),
                                 reference = play(wet, 1024, sine, block * 1024);
        std::vector<float> input(1024);
        for (uint32_t i = 0; i < 1024; ++i)
            input[i] = sine(block * 1024 + i, 0);
        EXPECT_LE(maxStep(out), std::max(maxStep(reference), maxStep(input)) * 1.1f) << block;
        EXPECT_TRUE(block != 2 || (out == input && tail->get(inst.plugin()) == tailBefore));
        EXPECT_TRUE(block != 4 || out == reference);
    }
}

} // namespace
} // namespace claphost
