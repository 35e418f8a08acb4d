// Module clocks (Sync, MIDI, audio triggers), the engine's own beat position
// and the split-frequency limits, observed through the public clock queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/curve_set.h"
#include "dsp/engine.h"

namespace norvale {
namespace {

constexpr double kRate = 48000.0;
constexpr double kBeatsPerSample = 2.0 / kRate;  // 120 BPM

struct Rig {
    Engine engine;
    EngineParams params;
    std::vector<float> left = std::vector<float>(48000, 0.0f);
    std::vector<float> right = std::vector<float>(48000, 0.0f);

    Rig() {
        engine.prepare(kRate, 1024);
        params.volOn = true;
        CurveSet curves;
        resetCurves(curves);
        engine.publishCurves(curves);
    }
    void apply() { engine.setParams(params); }
    // One block of silence (or of the given sidechain) with optional MIDI offsets.
    void block(uint32_t frames, const std::vector<uint32_t>& midi = {}, const float* side = nullptr,
               double songBeats = -1.0, double tempo = 120.0) {
        engine.process(left.data(), right.data(), frames, songBeats, tempo, side, nullptr,
                       midi.data(), static_cast<uint32_t>(midi.size()));
    }
    // The volume clock at the start of the next block.
    float phase(bool* held = nullptr) const {
        return engine.modulePhase(kVol, 0, -1.0, 120.0, held);
    }
};

TEST(EngineClock, SyncPhaseFollowsSongPositionAndTempo) {
    Rig rig;
    rig.params.volRate = 3;  // one beat
    rig.params.volPhase = 0.25f;
    rig.apply();
    EXPECT_NEAR(rig.engine.modulePhase(kVol, 0, 10.5, 120.0), 0.75f, 1e-6f);
    // Half a beat later at 120 BPM: 12000 samples.
    EXPECT_NEAR(rig.engine.modulePhase(kVol, 12000, 10.5, 120.0), 0.25f, 1e-6f);
    // At 60 BPM 6000 samples are an eighth of a beat.
    EXPECT_NEAR(rig.engine.modulePhase(kVol, 6000, 10.5, 60.0), 0.875f, 1e-6f);

    rig.params.volRate = 5;  // four beats
    rig.params.volPhase = 0.0f;
    rig.apply();
    EXPECT_NEAR(rig.engine.modulePhase(kVol, 0, 6.0, 120.0), 0.5f, 1e-6f);
    bool held = true;
    rig.engine.modulePhase(kVol, 0, 6.0, 120.0, &held);
    EXPECT_FALSE(held);
    // Unknown rate indexes count one beat.
    EXPECT_NEAR(rig.engine.phaseAt(-4, 0.0f, 0, 2.25, 120.0), 0.25f, 1e-6f);
}

TEST(EngineClock, WithoutTransportTheEngineCountsAt120Bpm) {
    Rig rig;
    rig.apply();
    rig.block(480, {}, nullptr, -1.0, 0.0);
    EXPECT_DOUBLE_EQ(rig.engine.beatPosition(), 480 * kBeatsPerSample);
    rig.block(480, {}, nullptr, -1.0, 0.0);
    EXPECT_DOUBLE_EQ(rig.engine.beatPosition(), 960 * kBeatsPerSample);
    // A 1/4 module cycles every half second.
    const float now = rig.engine.modulePhase(kVol, 0, -1.0, 0.0);
    EXPECT_NEAR(rig.engine.modulePhase(kVol, 24000, -1.0, 0.0), now, 1e-5f);
    EXPECT_NEAR(rig.engine.modulePhase(kVol, 12000, -1.0, 0.0), std::fmod(now + 0.5f, 1.0f), 1e-5f);
    // A host song position leaves the engine's own count alone.
    rig.block(480, {}, nullptr, 3.0, 0.0);
    EXPECT_DOUBLE_EQ(rig.engine.beatPosition(), 960 * kBeatsPerSample);
}

TEST(EngineClock, OneShotMidiRunsToItsEndAndHolds) {
    Rig rig;
    rig.params.trigMode[kVol] = kTrigMidi;
    rig.params.trigLoop[kVol] = false;
    rig.params.trigEnd[kVol] = 0.5f;
    rig.params.volRate = 3;  // one beat = 24000 samples
    rig.apply();

    bool held = false;
    EXPECT_FLOAT_EQ(rig.phase(&held), 0.5f);  // before any note: at the End marker
    EXPECT_TRUE(held);

    rig.block(480, {100});
    EXPECT_NEAR(rig.phase(&held), 380 / 24000.0f, 1e-6f);
    EXPECT_FALSE(held);
    for (int i = 0; i < 12; ++i) rig.block(480);
    EXPECT_NEAR(rig.phase(), 6140 / 24000.0f, 1e-6f);
    for (int i = 0; i < 20; ++i) rig.block(480);  // well past half a beat
    EXPECT_FLOAT_EQ(rig.phase(&held), 0.5f);
    EXPECT_TRUE(held);

    rig.block(480, {0});  // the next note restarts the run
    EXPECT_NEAR(rig.phase(&held), 480 / 24000.0f, 1e-6f);
    EXPECT_FALSE(held);
}

TEST(EngineClock, LoopingTriggeredModuleRestsAtCycleEndAndWraps) {
    Rig rig;
    rig.params.trigMode[kVol] = kTrigMidi;
    rig.params.trigLoop[kVol] = true;
    rig.apply();
    bool held = false;
    EXPECT_FLOAT_EQ(rig.phase(&held), 1.0f);
    EXPECT_TRUE(held);

    rig.params.volPhase = 0.25f;
    rig.apply();
    EXPECT_FLOAT_EQ(rig.phase(), 0.25f);

    rig.block(480, {0});
    for (int i = 0; i < 61; ++i) rig.block(480);  // 1.24 beats after the note
    EXPECT_NEAR(rig.phase(&held), std::fmod(0.25f + 62 * 480 / 24000.0f, 1.0f), 1e-5f);
    EXPECT_FALSE(held);
}

TEST(EngineClock, MidiOffsetsAreCappedAndKeptInOrder) {
    Rig rig;
    rig.params.trigMode[kVol] = kTrigMidi;
    rig.params.trigLoop[kVol] = true;
    rig.apply();

    std::vector<uint32_t> seventy(70);
    for (uint32_t i = 0; i < 70; ++i) seventy[i] = 5 * i;
    rig.block(480, seventy);
    EXPECT_EQ(rig.engine.triggerCount(), 64u);
    // The latest trigger kept is offset 315, not 345.
    EXPECT_NEAR(rig.engine.triggerElapsed(kVol, 0, 120.0), (480 - 315) * kBeatsPerSample, 1e-9);

    // Offsets past the block end at its last sample; a smaller one is raised.
    rig.block(480, {900, 10});
    EXPECT_EQ(rig.engine.triggerCount(), 66u);
    EXPECT_NEAR(rig.engine.triggerElapsed(kVol, 0, 120.0), 1 * kBeatsPerSample, 1e-9);
}

TEST(EngineClock, EmptyOrMissingBlocksTouchNothing) {
    Rig rig;
    rig.params.trigMode[kVol] = kTrigMidi;
    rig.apply();
    rig.block(480, {100});
    const double beats = rig.engine.beatPosition();
    const double elapsed = rig.engine.triggerElapsed(kVol, 0, 120.0);
    const uint32_t count = rig.engine.triggerCount();

    rig.left[0] = 0.25f;
    rig.block(0, {0});
    rig.engine.process(nullptr, rig.right.data(), 480, -1.0, 120.0, nullptr, nullptr, nullptr, 0);
    rig.engine.process(rig.left.data(), nullptr, 480, -1.0, 120.0, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(rig.engine.beatPosition(), beats);
    EXPECT_EQ(rig.engine.triggerElapsed(kVol, 0, 120.0), elapsed);
    EXPECT_EQ(rig.engine.triggerCount(), count);
    EXPECT_EQ(rig.left[0], 0.25f);
}

struct AudioTriggerTest : ::testing::Test {
    Rig rig;
    std::vector<float> side = std::vector<float>(48000, 0.0f);

    void SetUp() override {
        rig.params.trigMode[kVol] = kTrigAudio;
        rig.params.trigThreshold = 0.1f;
        rig.params.trigHold = 0.05f;
    }
    void fill(size_t from, size_t to, float level) {
        std::fill(side.begin() + from, side.begin() + to, level);
    }
    void runSide() {
        rig.apply();
        for (size_t at = 0; at < side.size(); at += 480) rig.block(480, {}, side.data() + at);
    }
};

TEST_F(AudioTriggerTest, SteadyLevelHitsOnceAndReArmsBelowHalfThreshold) {
    // Threshold 0.1: re-armed only below 0.05.
    fill(100, 9600, 0.5f);
    fill(9600, 14400, 0.055f);
    fill(14400, 19200, 0.5f);
    fill(19200, 28800, 0.045f);
    fill(28800, 38400, 0.5f);
    rig.apply();
    rig.block(480, {}, side.data());
    EXPECT_EQ(rig.engine.triggerCount(), 1u);
    EXPECT_NEAR(rig.engine.triggerElapsed(kVol, 0, 120.0), 380 * kBeatsPerSample, 1e-9);
    for (size_t at = 480; at < 28800; at += 480) rig.block(480, {}, side.data() + at);
    EXPECT_EQ(rig.engine.triggerCount(), 1u);
    for (size_t at = 28800; at < 48000; at += 480) rig.block(480, {}, side.data() + at);
    EXPECT_EQ(rig.engine.triggerCount(), 2u);
}

TEST_F(AudioTriggerTest, HitsCloserThanTheHoldCountOnce) {
    fill(0, 48, 0.5f);
    fill(4800, 4848, 0.5f);  // 100 ms later, re-armed by then
    rig.params.trigHold = 0.2f;
    runSide();
    EXPECT_EQ(rig.engine.triggerCount(), 1u);

    Rig shortHold;
    shortHold.params = rig.params;
    shortHold.params.trigHold = 0.05f;
    shortHold.apply();
    for (size_t at = 0; at < side.size(); at += 480) shortHold.block(480, {}, side.data() + at);
    EXPECT_EQ(shortHold.engine.triggerCount(), 2u);
}

TEST_F(AudioTriggerTest, InputSourceIgnoresTheSidechain) {
    fill(0, 48000, 0.5f);
    rig.params.trigFromInput = true;
    runSide();
    EXPECT_EQ(rig.engine.triggerCount(), 0u);
}

TEST(EngineSplit, FrequenciesAreKeptInRange) {
    auto render = [](float low, float high) {
        Rig rig;
        rig.params.splitLow = low;
        rig.params.splitHigh = high;
        rig.params.bandOn[kBandLow] = false;  // only the upper bands change level
        rig.params.volOn = true;
        CurveSet curves;
        resetCurves(curves);
        for (Curve& c : curves.curves[kVol]) c.setFlat(0.5f);
        rig.engine.publishCurves(curves);
        rig.apply();
        for (size_t i = 0; i < rig.left.size(); ++i)
            rig.left[i] = rig.right[i] = std::sin(0.01f * static_cast<float>(i * i % 100003));
        rig.block(4800);
        return std::vector<float>(rig.left.begin(), rig.left.begin() + 4800);
    };
    EXPECT_EQ(render(10.0f, 2000.0f), render(20.0f, 2000.0f));
    EXPECT_NE(render(30.0f, 2000.0f), render(20.0f, 2000.0f));
    EXPECT_EQ(render(1000.0f, 500.0f), render(1000.0f, 1200.0f));
    EXPECT_NE(render(1000.0f, 1300.0f), render(1000.0f, 1200.0f));
}

}  // namespace
}  // namespace norvale
