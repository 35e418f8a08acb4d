// The engine as the plug-in drives it: band split, stages, clocks, triggers
// and scope, measured on what leaves Engine::process.
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "engine_fixture.h"

namespace norvale {
namespace {

using namespace fixture;

constexpr double kFs = 48000.0;

// Gain in dB of a sine through the engine, over whole periods once settled.
double sineGainDb(const EngineParams& p, const CurveSet& curves, double hz) {
    Rig rig(p, curves);
    rig.sine(hz, 24000);
    const size_t to = 9600 + static_cast<size_t>(std::floor(14400 * hz / kFs) * kFs / hz);
    const double in = rms(rig.left, 9600, to);
    rig.run(480);
    return 20.0 * std::log10(rms(rig.left, 9600, to) / in);
}

// Only `band` audible (all three for -1), through a neutral volume stage.
double bandGainDb(float lo, float hi, int band, double hz) {
    EngineParams p;
    p.modules[kVol] = {.on = true, .smooth = 0.0f};
    p.splitLow = lo, p.splitHigh = hi;
    CurveSet curves = neutralCurves();
    for (int b = 0; b < kBandCount; ++b)
        curves.curves[kVol][b].setFlat(band < 0 || b == band ? 1.0f : 0.0f);
    return sineGainDb(p, curves, hz);
}

TEST(Crossover, BandsSumFlatAndEachFallsOffBeyondItsSplits) {
    // The last pair is out of range: kept to 20 Hz and 0.45 of the rate.
    const float pairs[][2] = {{200, 2000}, {80, 12000}, {1000, 1100}, {10, 30000}};
    for (const auto& [lo, hi] : pairs)
        for (double hz : {100.0, lo * 1.0, lo * 1.4, hi * 0.8, hi * 1.0, hi * 1.3, 15000.0})
            EXPECT_NEAR(bandGainDb(lo, hi, -1, std::max(hz, 100.0)), 0.0, 0.05) << lo << " " << hz;
    EXPECT_LT(bandGainDb(200, 2000, kBandLow, 800), -30.0);
    EXPECT_LT(bandGainDb(200, 2000, kBandMid, 50), -30.0);
    EXPECT_LT(bandGainDb(200, 2000, kBandMid, 8000), -30.0);
    EXPECT_LT(bandGainDb(200, 2000, kBandHigh, 500), -30.0);
}

enum Measure { kGain, kDiff, kDc, kHold };

template <FilterType type>
void allTypes(EngineParams& p) {
    p.fltType[0] = p.fltType[1] = p.fltType[2] = type;
}
void crush16(EngineParams& p) {
    p.crsBits = 16, p.crsDown = 1, p.crsAmount = 1;
}

// One module on, unsmoothed, its curve flat at `value`, against the same
// split through a neutral volume stage.
TEST(Stages, SoundProperties) {
    using Set = void (*)(EngineParams&);

    // Module, curve value, settings, tone, what is measured, expected and tolerance.
    const std::tuple<Module, float, Set, double, Measure, double, double> rows[] = {
        {kVol, 0.5f, nullptr, 1000, kGain, 0.25, 1e-3}, // the curve is squared
        {kVol, 1.0f, [](EngineParams& p) { p.volTrim = 0.5f; }, 1000, kGain, 0.5, 1e-3},
        {kFlt, 1.0f, allTypes<kLowpass>, 8000, kGain, 0.0, 0.03},
        {kFlt, 1.0f, allTypes<kHighpass>, 125, kGain, 0.0, 0.03},
        {kFlt, 1.0f, allTypes<kBandpass>, 1000, kGain, 1.0, 0.01}, // unity at the centre
        {kFlt, 1.0f, allTypes<kNotch>, 1000, kGain, 0.0, 0.01},
        {kFlt, 0.0f, [](EngineParams& p) { p.fltCutoff = 16000, p.fltRes = 1; }, 16000 / 32.0,
         kGain, 50.0, 1.5}, // the bottom is depth octaves down: k 0.02 peaks there
        {kDrv, 0.0f, [](EngineParams& p) { p.drvInput = 0.1f; }, 1000, kGain, 0.1, 1e-3},
        {kDrv, 0.0f, [](EngineParams& p) { p.drvInput = 0.1f, p.drvTone = 1; }, 800, kGain,
         0.1 * std::sqrt(0.5), 2e-3}, // the tone's lowpass is 3 dB down at 800 Hz
        {kDrv, 1.0f, [](EngineParams& p) { p.drvStyle = kRectify; }, 1000, kDc, 0.0, 2e-3},
        {kCrs, 0.0f, nullptr, 1000, kDiff, 0.0, 1e-6},
        {kCrs, 1.0f, crush16, 1000, kDiff, 0.0, 1.5 / 65535},
        {kCrs, 1.0f, [](EngineParams& p) { crush16(p), p.crsBits = 4; }, 1000, kHold,
         48.0 / (2 * 2 * 0.5 * 15), 0.15}, // 4 bits: 15 steps over -0.5..0.5, up and down
        {kCrs, 1.0f, [](EngineParams& p) { crush16(p), p.crsDown = 4; }, 700, kHold, 4.0, 0.01},
        {kTim, 1.0f, nullptr, 1000, kDiff, 0.0, 1e-6}, // the top is the live signal
    };
    for (const auto& [module, value, set, hz, measure, expected, tolerance] : rows) {
        EngineParams p, neutral;
        p.modules[module] = neutral.modules[kVol] = {.on = true, .smooth = 0.0f};
        if (set) set(p);
        Rig ref(neutral, neutralCurves()), out(p, flat(neutralCurves(), module, value));
        ref.sine(hz, 24000, 0.5f, 1.0);
        out.left = ref.left, out.right = ref.right;
        ref.run(480), out.run(480);
        double m = 0.0;
        size_t jumps = 0;
        for (size_t i = 12000; i < 24000; ++i) {
            const float l = out.left[i];
            if (measure == kDiff) m = std::max(m, std::fabs(double(l) - ref.left[i]));
            if (measure == kDc) m += l / 12000.0;
            jumps += std::fabs(l - out.left[i - 1]) > 1e-4f;
        }
        if (measure == kGain) m = rms(out.left, 12000) / rms(ref.left, 12000);
        if (measure == kHold) m = 12000.0 / static_cast<double>(jumps);
        EXPECT_NEAR(m, expected, tolerance) << "module " << module << " at " << hz;
    }
}

// Where a sound ends up: each output channel's gain (signed) against the
// same signal through a neutral stage, for a centred signal through the pan
// stage and a signal on the left alone through the width stage.
TEST(Stages, PanAndWidthPlaceTheImage) {
    // Pan: the far side fades to silence toward either end, the middle
    // passes. Width: the mid stays, the side goes from nothing (mono) to twice.
    const struct {
        Module module;
        float value, inRight, left, right;
    } rows[] = {{kPan, 0.0f, 1, 1, 0},        {kPan, 0.25f, 1, 1, 0.5}, {kPan, 0.5f, 1, 1, 1},
                {kPan, 0.75f, 1, 0.5, 1},     {kPan, 1.0f, 1, 0, 1},    {kWid, 0.0f, 0, 0.5, 0.5},
                {kWid, 0.25f, 0, 0.75, 0.25}, {kWid, 0.5f, 0, 1, 0},    {kWid, 1.0f, 0, 1.5, -0.5}};
    for (const auto& row : rows) {
        EngineParams p, neutral;
        p.modules[row.module] = neutral.modules[kVol] = {.on = true, .smooth = 0.0f};
        Rig ref(neutral, neutralCurves()), out(p, flat(neutralCurves(), row.module, row.value));
        ref.sine(1000, 24000);
        for (float& x : ref.right)
            x *= row.inRight;
        out.left = ref.left, out.right = ref.right;
        ref.run(480), out.run(480);
        const auto gain = [&](const std::vector<float>& channel) {
            double along = 0, power = 0;
            for (size_t i = 12000; i < 24000; ++i)
                along += double(channel[i]) * ref.left[i],
                    power += double(ref.left[i]) * ref.left[i];
            return along / power;
        };
        EXPECT_NEAR(gain(out.left), row.left, 1e-4) << row.module << " at " << row.value;
        EXPECT_NEAR(gain(out.right), row.right, 1e-4) << row.module << " at " << row.value;
    }
}

// The chain's order is the signal's order.
TEST(Stages, ChainOrderIsTheSignalOrder) {
    EngineParams p;
    p.modules[kVol].on = p.modules[kDrv].on = true;
    p.drvDrive = 1.0f;
    CurveSet curves = flat(neutralCurves(), kVol, 0.3f);
    parseChain("vol drv", curves);
    const double volumeFirst = sineGainDb(p, curves, 1000.0);
    parseChain("drv vol", curves);
    EXPECT_GT(volumeFirst - sineGainDb(p, curves, 1000.0), 3.0) << "quieter into the drive";
}

TEST(Engine, GainOnlyPathAndMix) {
    for (const auto& [anyOn, mix, gain] :
         {std::tuple{false, 0.0f, 0.5f}, {false, 1.0f, 0.5f}, {true, 0.0f, 1.0f}}) {
        EngineParams p;
        p.inputGain = 0.25f, p.outputGain = 2.0f, p.mix = mix, p.modules[kDrv].on = anyOn;
        Rig rig(p, neutralCurves());
        rig.noise(4800);
        const std::vector<float> in = rig.left;
        rig.run(480);
        for (size_t i = 0; i < in.size(); ++i)
            ASSERT_EQ(rig.left[i], in[i] * gain) << i;
    }
}

// Host block sizes only change where the curves are read, not the sound, at
// any rate and with every setting at an end of its range (odd trials); and
// nothing but finite numbers come out (a NaN fails the comparison).
TEST(Engine, OutputIsIndependentOfBlockSizeAndFinite) {
    const double rates[] = {44100.0, 22050.0, 96000.0, 384000.0};
    std::mt19937 rng(5);
    for (int trial = 0; trial < 8; ++trial) {
        EngineParams p = randomParams(rng, trial % 2);
        for (ModuleSettings& m : p.modules)
            m.on = true, m.trigger = kTrigSync;
        CurveSet curves = neutralCurves();
        for (auto& module : curves.curves)
            for (Curve& c : module)
                c.addPoint(0.5f, 0.3f + 0.7f * (rng() % 100) / 100.0f, 2);
        std::vector<float> reference;
        for (uint32_t block : {512u, 64u, 1024u, trial % 2 ? 1024u : 37u}) {
            Rig rig(p, curves, rates[trial % 4]);
            rig.noise(19200, 3, 4.0f);
            rig.run(block);
            if (reference.empty()) reference = rig.left;
            for (size_t i = 0; i < reference.size(); ++i)
                rig.left[i] -= reference[i];
            // Whole sub-blocks read the curves at the same places: the same sound.
            EXPECT_LT(rms(rig.left), (block % kSubBlock ? 1e-2 : 1e-6) * rms(reference)) << block;
        }
    }
}

// ---- clocks and triggers ----

// One block of 480 samples of silence with MIDI notes.
void block(Rig& rig, std::vector<uint32_t> notes = {}) {
    rig.run(480, -1.0, 120.0, nullptr, std::move(notes), 480);
}

float volumePhase(const Rig& rig, bool* held = nullptr) {
    return rig.engine->modulePhase(kVol, 0, -1.0, 120.0, held);
}

TEST(Clocks, SyncCountsAt120BpmWithoutTransportMidiRunsOnceOrLoops) {
    EngineParams p;
    p.modules[kVol] = {.on = true, .rate = 3, .phase = 0.25f};
    Rig rig(p, neutralCurves());
    EXPECT_NEAR(rig.engine->modulePhase(kVol, 6000, 10.5, 60.0), 0.875f, 1e-6f);
    rig.noise(960);
    rig.run(480, -1.0, 0.0); // no song position, no tempo
    rig.run(480, 3.0, 0.0);  // a song position leaves the own count alone
    rig.engine->process(nullptr, rig.right.data(), 480, -1.0, 0.0, nullptr, nullptr, nullptr, 0);
    rig.engine->process(rig.left.data(), rig.right.data(), 0, -1.0, 0, nullptr, nullptr, nullptr,
                        0);
    EXPECT_DOUBLE_EQ(rig.engine->beatPosition(), 960 * 2.0 / kFs);

    p.modules[kVol] = {.on = true, .rate = 3, .trigger = kTrigMidi, .end = 0.5f};
    rig.engine->setParams(p);
    bool held = false;
    EXPECT_EQ(volumePhase(rig, &held), 0.5f); // before any note: at the End
    EXPECT_TRUE(held);
    block(rig, {100});
    EXPECT_NEAR(volumePhase(rig, &held), 380 / 24000.0f, 1e-6f);
    EXPECT_FALSE(held);
    for (int i = 0; i < 30; ++i)
        block(rig);
    EXPECT_EQ(volumePhase(rig, &held), 0.5f);
    EXPECT_TRUE(held);

    p.modules[kVol].loop = true, p.modules[kVol].phase = 0.25f;
    Rig loop(p, neutralCurves());
    EXPECT_EQ(volumePhase(loop), 0.25f); // resting at the cycle's end, plus the phase
    std::vector<uint32_t> seventy(70);
    for (uint32_t i = 0; i < 70; ++i)
        seventy[i] = 5 * i;
    block(loop, seventy);
    EXPECT_EQ(loop.engine->triggerCount(), 64u);
    EXPECT_NEAR(volumePhase(loop), 0.25f + 165 / 24000.0f, 1e-6f); // the 64th note, at 315
    block(loop, {900, 10}); // past the end: the last sample; smaller: raised to it
    EXPECT_NEAR(volumePhase(loop), 0.25f + 1 / 24000.0f, 1e-6f);
    for (int i = 0; i < 62; ++i)
        block(loop);
    EXPECT_NEAR(volumePhase(loop), 0.25f + std::fmod(62 * 480 + 1, 24000) / 24000.0f, 1e-5f);
}

TEST(Clocks, AudioTriggersHitOncePerRiseWithHoldAndHysteresis) {
    using Steps = std::vector<std::pair<size_t, float>>; // sidechain level from a sample on
    const Steps twoBursts = {{0, 0.5f}, {48, 0.0f}, {4800, 0.5f}, {4848, 0.0f}};
    // Sidechain steps, hold, listening to the (silent) input, hits. Threshold
    // 0.1: re-armed only below 0.05.
    const std::tuple<Steps, float, bool, uint32_t> rows[] = {
        {{{100, .5f}, {9600, .055f}, {14400, .5f}, {19200, .045f}, {28800, .5f}}, .05f, false, 2},
        {{{0, .09f}, {9600, 0.0f}, {14400, .11f}}, .05f, false, 1}, // just below, just above
        {twoBursts, 0.2f, false, 1},
        {twoBursts, 0.05f, false, 2},
        {{{0, 0.5f}}, 0.05f, true, 0}};
    for (const auto& [steps, hold, fromInput, hits] : rows) {
        EngineParams p;
        p.modules[kVol] = {.on = true, .trigger = kTrigAudio};
        p.trigThreshold = 0.1f, p.trigHold = hold, p.trigFromInput = fromInput;
        Rig rig(p, neutralCurves());
        std::vector<float> side(48000);
        for (const auto& [from, level] : steps)
            std::fill(side.begin() + from, side.end(), level);
        rig.run(480, -1.0, 120.0, &side, {}, 48000);
        EXPECT_EQ(rig.engine->triggerCount(), hits) << hold;
    }
}

// ---- scope ----

// The volume module traced in the mid band; sidechain sample i is i + 1, so
// each column shows which samples wrote it.
Rig scopeRig(const ModuleSettings& volume, bool bandOn = true) {
    EngineParams p;
    p.modules[kVol] = volume;
    p.bandOn[kBandMid] = bandOn;
    Rig rig(p, neutralCurves());
    rig.engine->scope().targetBand = kBandMid;
    rig.engine->scope().wanted = true;
    return rig;
}

void runCounting(Rig& rig, size_t frames, double tempo, std::vector<uint32_t> notes = {}) {
    std::vector<float> side(frames);
    for (size_t i = 0; i < frames; ++i)
        side[i] = static_cast<float>(i + 1);
    rig.run(480, 0.0, tempo, &side, std::move(notes), frames);
}

TEST(Scope, ColumnsFollowThePhaseAndFillShortSkips) {
    // A quarter note at 120 BPM over 480 columns: 50 samples each, in order.
    Rig beat = scopeRig({.on = true, .rate = 3, .phase = 0.5f / 24000});
    runCounting(beat, 24000, 120.0);
    for (int c = 0; c < kScopeColumns; ++c) {
        ASSERT_EQ(beat.engine->scope().sideMin[c], 50.0f * c + 1) << c;
        ASSERT_EQ(beat.engine->scope().sideMax[c], 50.0f * c + 50) << c;
    }
    // Three samples, the playhead moving `gap` columns per sample: a skip of
    // up to a quarter of the columns is filled with the sample that made it.
    for (int gap : {2, 17, 119, 120, 479}) {
        Rig rig = scopeRig({.on = true, .rate = 0, .phase = 0.5f / 480});
        runCounting(rig, 3, 750.0 * gap);
        const ScopeData& s = rig.engine->scope();
        const bool filled = gap < kScopeColumns / 4;
        int written = 0;
        for (int c = 0; c < kScopeColumns; ++c) {
            written += s.sideMax[c] != 0;
            ASSERT_EQ(s.trace[c], s.sideMax[c] != 0 ? 1.0f : -1.0f) << gap << " " << c;
        }
        EXPECT_EQ(written, filled ? 2 * gap + 1 : 3) << gap;
        EXPECT_EQ(s.sideMax[1], filled ? 2.0f : 0.0f) << gap;
    }
}

TEST(Scope, ANewTargetClearsTheRecordAndATriggerIsNeverFilledBackwards) {
    Rig rig = scopeRig({.on = true, .phase = 0.5f / 24000});
    ScopeData& s = rig.engine->scope();
    runCounting(rig, 24000, 120.0);
    rig.engine->reset(); // neither a reset nor the same target clears
    s.targetModule = kVol;
    runCounting(rig, 50, 120.0);
    EXPECT_EQ(s.sideMax[479], 24000.0f);
    s.targetBand = kBandHigh;
    runCounting(rig, 50, 120.0);
    EXPECT_EQ(s.sideMax[0], 50.0f);
    EXPECT_EQ(s.sideMax[1], 0.0f);
    EXPECT_EQ(s.trace[479], -1.0f);
    s.wanted = false; // paused: nothing moves
    const uint32_t updates = s.updates;
    runCounting(rig, 480, 120.0);
    EXPECT_EQ(s.updates, updates);

    // A looping MIDI module 5 columns per sample, retriggered at column 470.
    Rig midi =
        scopeRig({.on = true, .rate = 0, .phase = 0.5f / 480, .trigger = kTrigMidi, .loop = true});
    runCounting(midi, 120, 3750.0, {0, 95});
    const ScopeData& m = midi.engine->scope();
    EXPECT_EQ(m.sideMax[466], 95.0f) << "forward moves are filled";
    for (int c = 471; c < kScopeColumns; ++c)
        EXPECT_EQ(m.sideMax[c], 0.0f) << c;
    EXPECT_EQ(m.sideMax[0], 96.0f);
}

TEST(Scope, ShowsTheBandOrTheWholeBeforeAndAfter) {
    // Band on, all bands, after/before, before's peak (0: not checked), trace.
    const std::tuple<bool, bool, float, float, float> rows[] = {
        {true, false, 0.25f, 0.0f, 0.5f}, // the band, with the volume at a quarter
        {false, false, 1.0f, 0.0f, -1.0f},
        {true, true, 0.0625f, 1.0f, 0.5f}}; // input gain 2, a quarter and output 1/4
    for (const auto& [bandOn, all, ratio, before, trace] : rows) {
        Rig rig = scopeRig({.on = true, .smooth = 0.0f}, bandOn);
        EngineParams p = rig.engine->params();
        p.inputGain = 2.0f, p.outputGain = 0.25f;
        rig.engine->setParams(p);
        rig.engine->publishCurves(flat(neutralCurves(), kVol, 0.5f));
        ScopeData& s = rig.engine->scope();
        s.targetAllBands = all;
        rig.sine(1000.0, 24000, 0.5f, kPi); // a period per column, in the mid band
        rig.run(480, 0.0);
        for (int c = 240; c < kScopeColumns; ++c) {
            EXPECT_NEAR(s.afterMax[c] / s.beforeMax[c], ratio, 0.01f) << c;
            if (before > 0) {
                EXPECT_NEAR(s.beforeMax[c], before, 0.01f) << c;
            }
            EXPECT_NEAR(s.trace[c], trace, 1e-3f) << c;
        }
    }
}

// ---- the faults users met ----

// After activation, a curve that holds a stage at its far end must hold it
// from the very first sample, not glide there from neutral.
TEST(Faults, StagesStartAtTheCurveNotAtNeutral) {
    // Module, curve value, and the channel that must be silent (true: right).
    const std::tuple<Module, float, bool> rows[] = {
        {kVol, 0.0f, false}, {kVol, 0.0f, true}, {kPan, 0.0f, true}, {kPan, 1.0f, false}};
    for (const auto& [module, value, right] : rows) {
        EngineParams p;
        p.modules[module] = {.on = true, .smooth = 1.0f};
        Rig rig(p, flat(neutralCurves(), module, value));
        for (int pass = 0; pass < 2; ++pass) { // activation, then a reset mid-stream
            rig.noise(960, static_cast<uint32_t>(pass + 1));
            rig.run(480);
            EXPECT_LT(rms(right ? rig.right : rig.left), 1e-4) << module << " pass " << pass;
            rig.engine->reset();
        }
    }
}

// The time stage's Smooth smooths the curve before the Step slew: the read
// head reaches a jump of the curve later the more it smooths.
TEST(Faults, TimeSmoothSlowsTheReadHead) {
    auto lookBackAfterJump = [](float smooth) {
        EngineParams p;
        p.modules[kTim] = {.on = true, .rate = 5, .smooth = smooth};
        p.timStep = 0.0f, p.timRange = 0.1f;
        CurveSet curves = neutralCurves();
        for (Curve& c : curves.curves[kTim])
            c.parse("0 1 0, 0.5 1 0, 0.5 0 0, 1 0 0");
        Rig rig(p, curves);
        // A ramp: how far the output lags behind it is the look-back.
        rig.left.resize(48240), rig.right.resize(48240);
        std::iota(rig.left.begin(), rig.left.end(), 0.0f), rig.right = rig.left;
        rig.run(480);
        return (48239 - rig.left.back()) / (0.1f * kFs); // 5 ms after the jump
    };
    EXPECT_GT(lookBackAfterJump(0.0f), 0.9f);
    const float smoothed = lookBackAfterJump(1.0f); // 30 ms: about 15 % of the way
    EXPECT_GT(smoothed, 0.1f);
    EXPECT_LT(smoothed, 0.2f);
}

// Reactivating at another sample rate must move the trigger focus filter's
// cutoff with it: a 3 kHz tone stays below a 300 Hz focus at either rate.
TEST(Faults, TriggerFocusFollowsTheSampleRate) {
    EngineParams p;
    p.modules[kVol] = {.on = true, .trigger = kTrigAudio};
    p.trigFromInput = true, p.trigFocus = 300.0f, p.trigThreshold = 0.1f;
    Rig rig(p, neutralCurves(), 8000.0);
    rig.sine(40.0, 800, 0.9f);
    rig.run(400);
    EXPECT_EQ(rig.engine->triggerCount(), 1u) << "the focus passes a low tone";
    rig.engine->prepare(48000.0, 1024);
    rig.sine(3000.0, 4800, 0.9f);
    rig.run(480);
    EXPECT_EQ(rig.engine->triggerCount(), 1u);
}

} // namespace
} // namespace norvale
