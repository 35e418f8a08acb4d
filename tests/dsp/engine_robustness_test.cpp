// Whatever the parameters (inside their ranges), curves, chain, sample rate
// and input, nothing but finite numbers leaves Engine::process.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

using namespace norvale;
using namespace norvale::fixture;

// Full-scale noise, noise at +12 dBFS, DC +1 and -1, silence, clicks, Nyquist.
float signal(int kind, std::mt19937& rng, uint64_t n) {
    const float noise = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
    const float values[] = {noise, 4.0f * noise, 1.0f, -1.0f, 0.0f, n % 3001 == 0 ? 1.0f : 0.0f, n % 2 ? 1.0f : -1.0f};
    return values[kind % 7];
}

// Runs `samples` samples in blocks of random size with MIDI notes and a
// sidechain; true when every output sample is finite.
bool runsFinite(Engine& engine, std::mt19937& rng, size_t samples, int input, int side, double tempo, double beats) {
    std::vector<float> left, right, sideL, sideR;
    uint64_t clock = 0;
    for (size_t done = 0; done < samples;) {
        const uint32_t frames = std::uniform_int_distribution<uint32_t>(1, 1024)(rng);
        for (auto* v : {&left, &right, &sideL, &sideR}) v->resize(frames);
        for (uint32_t i = 0; i < frames; ++i, ++clock) {
            left[i] = signal(input, rng, clock), right[i] = signal(input, rng, clock);
            sideL[i] = sideR[i] = signal(side, rng, clock);
        }
        uint32_t midi[3] = {0, frames / 2, frames - 1};
        const bool withSide = side != 4;
        engine.process(left.data(), right.data(), frames, beats, tempo, withSide ? sideL.data() : nullptr,
                       withSide ? sideR.data() : nullptr, midi, std::uniform_int_distribution<uint32_t>(0, 3)(rng));
        if (!allFinite(left) || !allFinite(right)) return false;
        if (beats >= 0.0) beats += frames * (tempo > 0 ? tempo : 120.0) / 60.0 / engine.sampleRate();
        done += frames;
    }
    return true;
}

TEST(EngineRobustness, RandomSettingsAndSignalsGiveFiniteOutput) {
    const double rates[] = {22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0};
    const double tempos[] = {0.0, 60.0, 120.0, 174.0, 300.0};
    std::mt19937 rng(20240611);
    // Odd trials put every parameter at an end of its range.
    for (int trial = 0; trial < 60; ++trial) {
        const bool ends = trial % 2 == 1;
        auto engine = makeEngine(rates[trial % 6]);
        EngineParams params = randomParams(rng, ends);
        if (ends) allModulesOn(params);
        CurveSet curves = neutralCurves();
        randomCurves(curves, rng);
        engine->setParams(params);
        engine->publishCurves(curves);
        const int input = trial % 7, side = (trial / 7 + trial) % 7;
        const std::string what = "trial " + std::to_string(trial) + ", input " + std::to_string(input) +
                                 ", sidechain " + std::to_string(side);
        ASSERT_TRUE(runsFinite(*engine, rng, 3000, input, side, tempos[trial % 5], trial % 3 ? 3.5 : -1.0)) << what;

        // Settings move while it runs.
        engine->setParams(randomParams(rng, ends));
        randomCurves(curves, rng);
        engine->publishCurves(curves);
        ASSERT_TRUE(runsFinite(*engine, rng, 3000, input, side, 140.0, -1.0)) << what << ", after a change";
    }
}

TEST(EngineRobustness, LongestLookBackAndOddRatesStayFinite) {
    // The read head at the full 2 s range from the first sample on, run past
    // the end of the ring.
    auto engine = makeEngine(48000.0);
    EngineParams p;
    p.timOn = true;
    p.timRange = 2.0f;
    p.timStep = 0.0f;
    engine->setParams(p);
    CurveSet curves = neutralCurves();
    setFlat(curves, kTim, 0.0f);
    engine->publishCurves(curves);
    std::mt19937 rng(3);
    ASSERT_TRUE(runsFinite(*engine, rng, 400000, 0, 4, 120.0, 0.0));

    // A zero or negative rate counts as 48 kHz; a very low one must not break
    // the filters' frequency limits.
    for (double rate : {0.0, -1.0, 8000.0}) {
        engine = makeEngine(rate);
        p = randomParams(rng);
        allModulesOn(p);
        engine->setParams(p);
        randomCurves(curves, rng);
        engine->publishCurves(curves);
        ASSERT_TRUE(runsFinite(*engine, rng, 4000, 0, 0, 140.0, 0.0)) << rate << " Hz";
        if (rate <= 0.0) {
            EXPECT_EQ(engine->sampleRate(), 48000.0);
        }
    }
}

}  // namespace
