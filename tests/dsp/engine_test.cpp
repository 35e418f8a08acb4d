// The engine as the plug-in drives it: band split, stages, clocks, triggers
// and scope, measured on the sound that leaves Engine::process.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine_fixture.h"

namespace norvale {
namespace {

using namespace fixture;

constexpr double kFs = 48000.0;

// Gain in dB of a sine through the engine, measured over whole periods once
// the filters settled.
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
    for (const auto& [lo, hi] : pairs) {
        for (double hz : {100.0, lo * 1.0, lo * 1.4, hi * 0.8, hi * 1.0, hi * 1.3, 15000.0})
            if (hz >= 100.0) {
                EXPECT_NEAR(bandGainDb(lo, hi, -1, hz), 0.0, 0.05)
                    << lo << "/" << hi << " at " << hz;
            }
        if (lo != 200) continue;
        EXPECT_LT(bandGainDb(lo, hi, kBandLow, lo * 4), -30.0) << lo;
        EXPECT_LT(bandGainDb(lo, hi, kBandMid, lo / 4), -30.0) << lo;
        EXPECT_LT(bandGainDb(lo, hi, kBandMid, hi * 4), -30.0) << hi;
        EXPECT_LT(bandGainDb(lo, hi, kBandHigh, hi / 4), -30.0) << hi;
    }
}

// One module on with its curve flat at `value` in every band.
struct StageCase {
    const char* what;
    Module module;
    float value;
    std::function<void(EngineParams&)> set;
    std::function<void(Rig&)> input;
    std::function<void(const Rig&, const Rig&)> check; // (input, output)
};

TEST(Stages, SoundProperties) {
    const auto tone = [](double hz, double shift = 0.0) {
        return [=](Rig& r) { r.sine(hz, 24000, 0.5f, shift); };
    };
    const auto gain = [](double expected, double tolerance) {
        return [=](const Rig& in, const Rig& out) {
            EXPECT_NEAR(rms(out.left, 12000) / rms(in.left, 12000), expected, tolerance);
        };
    };
    const auto same = [](const Rig& in, const Rig& out) {
        for (size_t i = 12000; i < in.left.size(); ++i)
            ASSERT_NEAR(out.left[i], in.left[i], 1e-4f) << i;
    };
    const auto types = [](FilterType t) {
        return [=](EngineParams& p) {
            p.fltType[0] = p.fltType[1] = p.fltType[2] = t, p.fltRes = 0.0f;
        };
    };
    const StageCase cases[] = {
        {"volume at half is a quarter", kVol, 0.5f, {}, tone(1000), gain(0.25, 1e-3)},
        {"volume trim", kVol, 1.0f, [](EngineParams& p) { p.volTrim = 0.5f; }, tone(1000),
         gain(0.5, 1e-3)},
        {"bandpass passes its centre", kFlt, 1.0f, types(kBandpass), tone(1000), gain(1.0, 0.01)},
        {"lowpass falls above", kFlt, 1.0f, types(kLowpass), tone(8000), gain(0.0, 0.02)},
        {"highpass falls below", kFlt, 1.0f, types(kHighpass), tone(125), gain(0.0, 0.02)},
        {"notch takes its centre", kFlt, 1.0f, types(kNotch), tone(1000), gain(0.0, 0.01)},
        {"filter curve bottom is depth octaves down", kFlt, 0.0f,
         [](EngineParams& p) {
             p.fltCutoff = 16000.0f;
             p.fltDepth = 4;
         },
         tone(1000), gain(0.7, 0.05)},
        {"soft clip at zero drive is clean",
         kDrv,
         0.0f,
         {},
         [](Rig& r) { r.sine(1000, 24000, 0.05f); },
         same},
        {"rectify leaves no lasting DC", kDrv, 1.0f, [](EngineParams& p) { p.drvStyle = kRectify; },
         tone(1000),
         [](const Rig&, const Rig& out) {
             double sum = 0.0;
             for (size_t i = 19200; i < 24000; ++i)
                 sum += out.left[i];
             EXPECT_LT(std::fabs(sum / 4800), 2e-3);
         }},
        {"crush at curve 0 passes", kCrs, 0.0f, {}, tone(1000), same},
        {"crush at 16 bits is clean", kCrs, 1.0f,
         [](EngineParams& p) { p.crsBits = 16, p.crsDown = 1, p.crsAmount = 1.0f; }, tone(1000),
         [](const Rig& in, const Rig& out) {
             for (size_t i = 12000; i < in.left.size(); ++i)
                 ASSERT_NEAR(out.left[i], in.left[i], 1.5f / 65535) << i;
         }},
        {"crush holds for the down factor", kCrs, 1.0f,
         [](EngineParams& p) { p.crsBits = 16, p.crsDown = 4, p.crsAmount = 1.0f; }, tone(700),
         [](const Rig&, const Rig& out) {
             size_t last = 0, jumps = 0; // within a hold the output moves by rounding only
             for (size_t i = 20001; i < 24000; ++i)
                 if (std::fabs(out.left[i] - out.left[i - 1]) > 1e-4f) {
                     if (last) {
                         ASSERT_EQ((i - last) % 4, 0u) << i;
                     }
                     last = i, ++jumps;
                 }
             EXPECT_GT(jumps, 900u);
         }},
        {"time at the top is the live signal", kTim, 1.0f, {}, tone(1000), same},
        {"pan at the bottom silences the right",
         kPan,
         0.0f,
         {},
         tone(1000),
         [](const Rig&, const Rig& out) { EXPECT_LT(rms(out.right, 12000), 1e-3); }},
        {"width at the bottom is mono",
         kWid,
         0.0f,
         {},
         tone(1000, 1.0),
         [](const Rig&, const Rig& out) {
             for (size_t i = 12000; i < out.left.size(); ++i)
                 ASSERT_NEAR(out.left[i], out.right[i], 1e-5f);
         }},
    };
    for (const StageCase& c : cases) {
        SCOPED_TRACE(c.what);
        EngineParams p;
        p.modules[c.module].on = true;
        p.modules[c.module].smooth = 0.0f;
        if (c.set) c.set(p);
        CurveSet curves = neutralCurves();
        setFlat(curves, c.module, c.value);
        // The reference runs the same split with a neutral volume stage.
        EngineParams neutral;
        neutral.modules[kVol] = {.on = true, .smooth = 0.0f};
        Rig in(neutral, neutralCurves()), out(p, curves);
        c.input(in);
        out.left = in.left, out.right = in.right;
        in.run(480), out.run(480);
        c.check(in, out);
    }
}

// Every module on at its neutral curve leaves the sound alone; the chain's
// order is the signal's order; a band that is off passes and keeps its state.
TEST(Stages, NeutralCurvesChainOrderAndBandsOff) {
    EngineParams p;
    for (Module m : {kVol, kTim, kPan, kWid})
        p.modules[m].on = true;
    EXPECT_NEAR(sineGainDb(p, neutralCurves(), 440.0), 0.0, 0.01);

    p = EngineParams{};
    p.modules[kVol].on = p.modules[kDrv].on = true;
    p.drvDrive = 1.0f;
    CurveSet curves = neutralCurves();
    setFlat(curves, kVol, 0.3f);
    parseChain("vol drv", curves);
    const double volumeFirst = sineGainDb(p, curves, 1000.0);
    parseChain("drv vol", curves);
    EXPECT_GT(volumeFirst - sineGainDb(p, curves, 1000.0), 3.0)
        << "quieter into the drive, less make-up";

    p = EngineParams{};
    p.modules[kVol].on = true;
    p.bandOn[kBandMid] = false;
    setFlat(curves, kVol, 0.0f);
    EXPECT_NEAR(sineGainDb(p, curves, 1000.0), 0.0, 1.0) << "the mid band passes";
}

TEST(Engine, GainOnlyPathAndMix) {
    const struct {
        bool anyOn;
        float mix;
        double gain;
    } rows[] = {{false, 0.0f, 0.5}, {false, 1.0f, 0.5}, {true, 0.0f, 1.0}};
    for (const auto& r : rows) {
        EngineParams p;
        p.inputGain = 0.25f, p.outputGain = 2.0f, p.mix = r.mix;
        p.modules[kDrv].on = r.anyOn;
        Rig in, out(p, neutralCurves());
        in.noise(4800);
        out.left = in.left, out.right = in.right;
        out.run(480);
        for (size_t i = 0; i < in.left.size(); ++i)
            ASSERT_EQ(out.left[i], static_cast<float>(in.left[i] * r.gain)) << i;
    }
}

// Host block sizes only change where the curves are read, not the sound.
TEST(Engine, OutputIsIndependentOfBlockSize) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 6; ++trial) {
        EngineParams p = randomParams(rng);
        allModulesOn(p);
        for (ModuleSettings& m : p.modules)
            m.trigger = kTrigSync;
        CurveSet curves = neutralCurves();
        for (int m = 0; m < kModuleCount; ++m)
            for (Curve& c : curves.curves[m])
                c.addPoint(0.5f, std::uniform_real_distribution<float>(0.3f, 1.0f)(rng), 2);
        std::vector<float> reference;
        for (uint32_t block : {512u, 64u, 1024u, 37u}) {
            Rig rig(p, curves);
            rig.noise(19200, 3);
            rig.run(block);
            if (reference.empty()) reference = rig.left;
            std::vector<float> diff(reference.size());
            for (size_t i = 0; i < diff.size(); ++i)
                diff[i] = rig.left[i] - reference[i];
            // Whole sub-blocks read the curves at the same places: the same sound.
            EXPECT_LT(rms(diff), (block % kSubBlock ? 1e-2 : 1e-6) * rms(reference))
                << "trial " << trial << " block " << block;
        }
    }
}

TEST(Engine, RandomSettingsAndSignalsGiveFiniteOutput) {
    const double rates[] = {22050.0, 44100.0, 96000.0, 192000.0, 384000.0};
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 40; ++trial) {
        const bool ends = trial % 2 == 1; // every value at one end of its range
        EngineParams p = randomParams(rng, ends);
        if (ends) allModulesOn(p);
        CurveSet curves = neutralCurves();
        randomCurves(curves, rng);
        Rig rig(p, curves, rates[trial % 5]);
        rig.noise(6000, static_cast<uint32_t>(trial), trial % 3 ? 4.0f : 1.0f);
        if (trial % 4 == 0) std::fill(rig.left.begin(), rig.left.end(), 1.0f); // DC
        const uint32_t midi[3] = {0, 100, 5000};
        for (uint32_t o = 0; o < rig.left.size(); o += 600)
            rig.engine->process(rig.left.data() + o, rig.right.data() + o, 600,
                                trial % 3 ? 3.5 : -1.0, trial % 5 * 70.0, rig.right.data() + o,
                                nullptr, midi, static_cast<uint32_t>(trial % 4));
        ASSERT_TRUE(allFinite(rig.left) && allFinite(rig.right)) << "trial " << trial;
    }
}

// ---- the faults users met ----

// After activation, a curve that holds a stage at its far end must hold it
// from the very first sample, not glide there from neutral.
TEST(Faults, StagesStartAtTheCurveNotAtNeutral) {
    const struct {
        Module module;
        float value;
        bool right; // which channel must be silent
    } rows[] = {{kVol, 0.0f, false}, {kVol, 0.0f, true}, {kPan, 0.0f, true}, {kPan, 1.0f, false}};
    for (const auto& r : rows) {
        EngineParams p;
        p.modules[r.module].on = true;
        p.modules[r.module].smooth = 1.0f;
        CurveSet curves = neutralCurves();
        setFlat(curves, r.module, r.value);
        Rig rig(p, curves);
        for (int pass = 0; pass < 2; ++pass) { // activation, then a reset mid-stream
            rig.noise(960, static_cast<uint32_t>(pass + 1));
            rig.run(480);
            EXPECT_LT(rms(r.right ? rig.right : rig.left), 1e-4) << r.module << " pass " << pass;
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
        // A slow ramp: the output's distance behind the input is the look-back.
        rig.left.resize(48000 + 480);
        for (size_t i = 0; i < rig.left.size(); ++i)
            rig.left[i] = static_cast<float>(i) / 96000.0f;
        rig.right = rig.left;
        const std::vector<float> in = rig.left;
        rig.run(480);
        const size_t at = 48000 + 240; // 5 ms after the jump at half the 2 s cycle
        return (in[at] - rig.left[at]) * 96000.0f / (0.1f * kFs);
    };
    const float quick = lookBackAfterJump(0.0f), smooth = lookBackAfterJump(1.0f);
    EXPECT_GT(quick, 0.9f);
    EXPECT_LT(smooth, 0.3f);
    EXPECT_GT(smooth, 0.05f);
}

// Reactivating at another sample rate must move the trigger focus filter's
// cutoff with it: a 3 kHz tone stays below a 300 Hz focus at either rate.
TEST(Faults, TriggerFocusFollowsTheSampleRate) {
    EngineParams p;
    p.modules[kVol] = {.on = true, .trigger = kTrigAudio};
    p.trigFromInput = true, p.trigFocus = 300.0f, p.trigThreshold = dbToGain(-20);
    Rig rig(p, neutralCurves(), 8000.0);
    rig.sine(40.0, 800);
    rig.run(400);
    const uint32_t before = rig.engine->triggerCount();
    EXPECT_EQ(before, 1u) << "the focus passes a low tone";
    rig.engine->prepare(48000.0, 1024);
    rig.sine(3000.0, 4800);
    rig.run(480);
    EXPECT_EQ(rig.engine->triggerCount(), before);
}

} // namespace
} // namespace norvale
