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

constexpr double kRates[] = {22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0};

enum class Signal { Noise, HotNoise, PositiveDc, NegativeDc, Silence, Clicks, Alternating };
constexpr Signal kSignals[] = {Signal::Noise,   Signal::HotNoise, Signal::PositiveDc,
                               Signal::NegativeDc, Signal::Silence, Signal::Clicks,
                               Signal::Alternating};

const char* name(Signal s) {
    switch (s) {
        case Signal::Noise: return "full-scale noise";
        case Signal::HotNoise: return "noise at +12 dBFS";
        case Signal::PositiveDc: return "DC +1";
        case Signal::NegativeDc: return "DC -1";
        case Signal::Silence: return "silence";
        case Signal::Clicks: return "clicks";
        case Signal::Alternating: return "full-scale Nyquist";
    }
    return "?";
}

void fill(std::vector<float>& x, Signal s, std::mt19937& rng, uint64_t& clock) {
    std::uniform_real_distribution<float> full(-1.0f, 1.0f);
    for (float& v : x) {
        switch (s) {
            case Signal::Noise: v = full(rng); break;
            case Signal::HotNoise: v = 4.0f * full(rng); break;
            case Signal::PositiveDc: v = 1.0f; break;
            case Signal::NegativeDc: v = -1.0f; break;
            case Signal::Silence: v = 0.0f; break;
            case Signal::Clicks: v = clock % 3001 == 0 ? 1.0f : 0.0f; break;
            case Signal::Alternating: v = clock % 2 ? 1.0f : -1.0f; break;
        }
        ++clock;
    }
}

// Runs `samples` samples through the engine in blocks of random size, with
// MIDI notes and sidechain, and reports the first non-finite output.
struct Runner {
    Engine& engine;
    std::mt19937& rng;
    Signal input;
    Signal side;
    bool withSide;
    double tempo;
    double beats;
    uint64_t clock = 0;
    uint64_t sideClock = 0;

    // Returns the index of the first block that produced a non-finite sample, or -1.
    int run(size_t samples, uint32_t maxBlock = 1024) {
        std::vector<float> left, right, sideL, sideR;
        int block = 0;
        for (size_t done = 0; done < samples; ++block) {
            const uint32_t frames = std::uniform_int_distribution<uint32_t>(1, maxBlock)(rng);
            left.resize(frames);
            right.resize(frames);
            sideL.resize(frames);
            sideR.resize(frames);
            fill(left, input, rng, clock);
            fill(right, input, rng, clock);
            fill(sideL, side, rng, sideClock);
            fill(sideR, side, rng, sideClock);
            uint32_t midi[3] = {0, frames / 2, frames - 1};
            const uint32_t midiCount = std::uniform_int_distribution<uint32_t>(0, 3)(rng);
            engine.process(left.data(), right.data(), frames, beats, tempo,
                           withSide ? sideL.data() : nullptr, withSide ? sideR.data() : nullptr,
                           midi, midiCount);
            if (!allFinite(left) || !allFinite(right)) return block;
            if (beats >= 0.0) beats += frames * (tempo > 0 ? tempo : 120.0) / 60.0 / engine.sampleRate();
            done += frames;
        }
        return -1;
    }
};

TEST(EngineRobustness, RandomSettingsAndSignalsGiveFiniteOutput) {
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 30; ++trial) {
        const double rate = kRates[trial % 6];
        auto engine = makeEngine(rate);
        EngineParams params = randomParams(rng);
        CurveSet curves = neutralCurves();
        randomCurves(curves, rng);
        engine->setParams(params);
        engine->publishCurves(curves);

        const double tempos[] = {0.0, 60.0, 120.0, 174.0, 300.0};
        Runner runner{*engine,
                      rng,
                      kSignals[trial % 7],
                      kSignals[(trial / 7 + trial) % 7],
                      trial % 4 != 3,
                      tempos[trial % 5],
                      trial % 3 == 0 ? -1.0 : 3.5};
        const std::string what = "trial " + std::to_string(trial) + ", " + std::to_string(rate) +
                                 " Hz, input " + name(runner.input) + ", sidechain " + name(runner.side);
        ASSERT_EQ(runner.run(3000), -1) << what;

        // Settings move while it runs: new parameters, new curves and chain.
        engine->setParams(randomParams(rng));
        randomCurves(curves, rng);
        engine->publishCurves(curves);
        ASSERT_EQ(runner.run(3000), -1) << what << ", after a change of settings";
    }
}

// Every field at one end of its range, chosen at random per field.
EngineParams corner(std::mt19937& rng) {
    auto end = [&](auto lo, auto hi) { return std::uniform_int_distribution<int>(0, 1)(rng) ? hi : lo; };
    EngineParams p;
    allModulesOn(p);
    p.inputGain = end(dbToGain(-24), dbToGain(24));
    p.outputGain = end(dbToGain(-24), dbToGain(24));
    p.mix = end(0.0f, 1.0f);
    p.splitLow = end(20.0f, 2000.0f);
    p.splitHigh = end(200.0f, 20000.0f);
    p.volTrim = end(dbToGain(-24), dbToGain(24));
    p.volRate = end(0, 7);
    p.volSmooth = end(0.0f, 1.0f);
    p.fltCutoff = end(20.0f, 20000.0f);
    p.fltRes = end(0.0f, 1.0f);
    p.fltDepth = end(0, 8);
    p.fltDrive = end(0.0f, 1.0f);
    for (int32_t& t : p.fltType) t = std::uniform_int_distribution<int>(0, 3)(rng);
    p.fltSmooth = end(0.0f, 1.0f);
    p.drvStyle = std::uniform_int_distribution<int>(0, 5)(rng);
    p.drvDrive = end(0.0f, 1.0f);
    p.drvInput = end(dbToGain(-12), dbToGain(36));
    p.drvOutput = end(dbToGain(-36), dbToGain(12));
    p.drvTone = end(-1.0f, 1.0f);
    p.drvMix = end(0.0f, 1.0f);
    p.drvSmooth = end(0.0f, 1.0f);
    p.timRange = end(0.02f, 2.0f);
    p.timStep = end(0.0f, 1.0f);
    p.timRate = end(0, 7);
    p.crsAmount = end(0.0f, 1.0f);
    p.crsBits = end(2, 16);
    p.crsDown = end(1, 32);
    p.crsMix = end(0.0f, 1.0f);
    p.crsSmooth = end(0.0f, 1.0f);
    p.panSmooth = end(0.0f, 1.0f);
    p.widSmooth = end(0.0f, 1.0f);
    for (int m = 0; m < kModuleCount; ++m) {
        p.trigMode[m] = std::uniform_int_distribution<int>(0, 2)(rng);
        p.trigLoop[m] = end(false, true);
        p.trigEnd[m] = end(0.0f, 1.0f);
    }
    p.trigFromInput = end(false, true);
    p.trigThreshold = end(dbToGain(-60), 1.0f);
    p.trigFocus = end(40.0f, 20000.0f);
    p.trigHold = end(0.005f, 1.0f);
    return p;
}

// Curves that sit at the extremes or jump between them.
void extremeCurves(CurveSet& set, std::mt19937& rng) {
    for (int m = 0; m < kModuleCount; ++m) {
        for (int b = 0; b < kBandCount; ++b) {
            Curve& c = set.curves[m][b];
            switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
                case 0: c.setFlat(0.0f); break;
                case 1: c.setFlat(1.0f); break;
                case 2:
                    c.setFlat(0.0f);
                    for (int cell = 0; cell < 32; cell += 2) c.setStep(cell, 32, 1.0f);
                    break;
                default:
                    c.setFlat(1.0f);
                    c.addPoint(0.5f, 0.0f, 0);
                    c.addPoint(0.5f + 1e-4f, 1.0f, 0);
                    break;
            }
        }
    }
}

TEST(EngineRobustness, ParametersAtTheEndsOfTheirRangesGiveFiniteOutput) {
    std::mt19937 rng(77);
    for (int trial = 0; trial < 36; ++trial) {
        const double rate = kRates[trial % 6];
        auto engine = makeEngine(rate);
        engine->setParams(corner(rng));
        CurveSet curves = neutralCurves();
        extremeCurves(curves, rng);
        engine->publishCurves(curves);
        const Signal input = trial % 3 == 0 ? Signal::HotNoise : (trial % 3 == 1 ? Signal::Noise : Signal::PositiveDc);
        Runner runner{*engine, rng, input, Signal::Clicks, true, 0.0, -1.0};
        ASSERT_EQ(runner.run(4096), -1) << "trial " << trial << ", " << rate << " Hz, " << name(input);
    }
}

TEST(EngineRobustness, LongestLookBackAtEveryRateStaysInsideTheRing) {
    // The read head at the full 2 s range from the first sample on; with the
    // time stage alone it is cheap enough to run once past the end of the
    // ring at 48 kHz.
    for (double rate : kRates) {
        auto engine = makeEngine(rate);
        EngineParams p;
        p.timOn = true;
        p.timRange = 2.0f;
        p.timStep = 0.0f;
        engine->setParams(p);
        CurveSet curves = neutralCurves();
        setFlat(curves, kTim, 0.0f);
        engine->publishCurves(curves);
        std::mt19937 rng(3);
        Runner runner{*engine, rng, Signal::Noise, Signal::Silence, false, 120.0, 0.0};
        const size_t samples = rate == 48000.0 ? 400000 : 20000;
        ASSERT_EQ(runner.run(samples), -1) << rate << " Hz";
    }
}

TEST(EngineRobustness, SampleRatesOutsideTheUsualRangeStillWork) {
    // A zero or negative rate counts as 48 kHz; a very low one must not
    // break the filters' frequency limits.
    for (double rate : {0.0, -1.0, 8000.0, 11025.0}) {
        auto engine = makeEngine(rate);
        std::mt19937 rng(1);
        EngineParams p = randomParams(rng);
        allModulesOn(p);
        engine->setParams(p);
        CurveSet curves = neutralCurves();
        randomCurves(curves, rng);
        engine->publishCurves(curves);
        Runner runner{*engine, rng, Signal::Noise, Signal::Noise, true, 140.0, 0.0};
        ASSERT_EQ(runner.run(4000), -1) << rate << " Hz";
        if (rate <= 0.0) {
            EXPECT_EQ(engine->sampleRate(), 48000.0);
        }
    }
}

}  // namespace
