// The seven stages, the chain order and the dry/gain paths, observed through
// Engine::process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "dsp/curve_set.h"
#include "dsp/engine.h"

namespace norvale {
namespace {

constexpr double kRate = 48000.0;
constexpr float kTwoPi = 6.2831853f;

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t n, float l = 0.0f, float r = 0.0f) : left(n, l), right(n, r) {}
};

Stereo sine(size_t n, float hz, float amplitude) {
    Stereo s(n);
    for (size_t i = 0; i < n; ++i) {
        s.left[i] = amplitude * std::sin(kTwoPi * hz * static_cast<float>(i) / kRate);
        s.right[i] = amplitude * std::cos(kTwoPi * hz * static_cast<float>(i) / kRate);
    }
    return s;
}

// Three sines, one per band at the default splits.
Stereo threeBands(size_t n) {
    Stereo s(n);
    for (size_t i = 0; i < n; ++i) {
        const float t = static_cast<float>(i) / kRate;
        s.left[i] = 0.3f * std::sin(kTwoPi * 80.0f * t) + 0.3f * std::sin(kTwoPi * 700.0f * t) +
                    0.3f * std::sin(kTwoPi * 6000.0f * t);
        s.right[i] = s.left[i];
    }
    return s;
}

CurveSet flatCurves() {
    CurveSet set;
    resetCurves(set);
    return set;
}

void setModuleCurve(CurveSet& set, int module, float value) {
    for (Curve& c : set.curves[module]) c.setFlat(value);
}

// Runs the whole signal in blocks of 480 (a multiple of the 16-sample sub-block).
void run(Engine& engine, Stereo& s, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, s.left.size());
    for (size_t at = from; at < to; at += 480) {
        const auto frames = static_cast<uint32_t>(std::min<size_t>(480, to - at));
        engine.process(s.left.data() + at, s.right.data() + at, frames, -1.0, 120.0, nullptr,
                       nullptr, nullptr, 0);
    }
}

struct Rig {
    Engine engine;
    EngineParams params;
    CurveSet curves = flatCurves();

    Rig() { engine.prepare(kRate, 1024); }
    Stereo process(Stereo input) {
        engine.setParams(params);
        engine.publishCurves(curves);
        run(engine, input);
        return input;
    }
};

float peak(const std::vector<float>& v, size_t from) {
    float p = 0.0f;
    for (size_t i = from; i < v.size(); ++i) p = std::max(p, std::fabs(v[i]));
    return p;
}

float maxDifference(const Stereo& a, const Stereo& b) {
    float d = 0.0f;
    for (size_t i = 0; i < a.left.size(); ++i)
        d = std::max({d, std::fabs(a.left[i] - b.left[i]), std::fabs(a.right[i] - b.right[i])});
    return d;
}

TEST(EngineStages, VolumeCurveAtHalfSettlesToAQuarter) {
    Rig rig;
    rig.params.volOn = true;
    setModuleCurve(rig.curves, kVol, 0.5f);
    const Stereo out = rig.process(Stereo(48000, 0.5f, -0.5f));
    EXPECT_NEAR(out.left.back(), 0.125f, 1e-4f);
    EXPECT_NEAR(out.right.back(), -0.125f, 1e-4f);
    for (int b = 0; b < kBandCount; ++b) EXPECT_NEAR(rig.engine.band(b).volLevel, 0.25f, 1e-5f);
}

TEST(EngineStages, BandThatIsOffPassesAndKeepsItsState) {
    Rig rig;
    rig.params.volOn = rig.params.fltOn = true;
    rig.params.bandOn[kBandLow] = false;  // DC lives in the low band
    setModuleCurve(rig.curves, kVol, 0.5f);
    setModuleCurve(rig.curves, kFlt, 0.5f);
    const Stereo out = rig.process(Stereo(48000, 0.5f, 0.5f));
    EXPECT_NEAR(out.left.back(), 0.5f, 1e-4f);
    EXPECT_EQ(rig.engine.band(kBandLow).volLevel, 1.0f);
    EXPECT_NEAR(rig.engine.band(kBandMid).volLevel, 0.25f, 1e-5f);
    // The filter's level alone keeps following its curve.
    EXPECT_NEAR(rig.engine.band(kBandLow).filterLevel, 0.5f, 1e-5f);
}

TEST(EngineStages, FilterResponsesPerBand) {
    // Splits at the edges put the whole test range into the mid band.
    auto run = [](int midType, float hz) {
        Rig rig;
        rig.params.splitLow = 20.0f;
        rig.params.splitHigh = 20000.0f;
        rig.params.fltOn = true;
        rig.params.fltCutoff = 1000.0f;
        rig.params.fltType[kBandLow] = kNotch;
        rig.params.fltType[kBandMid] = midType;
        rig.params.fltType[kBandHigh] = kNotch;
        return peak(rig.process(sine(48000, hz, 0.5f)).left, 24000);
    };
    EXPECT_NEAR(run(kBandpass, 1000.0f), 0.5f, 0.005f);
    EXPECT_LT(run(kBandpass, 4000.0f), 0.25f);
    EXPECT_LT(run(kNotch, 1000.0f), 0.005f);
    EXPECT_LT(run(kHighpass, 125.0f), 0.02f);
    EXPECT_LT(run(kLowpass, 8000.0f), 0.02f);
}

TEST(EngineStages, RectifyLeavesNoLastingDc) {
    Rig rig;
    rig.params.splitLow = 20.0f;
    rig.params.splitHigh = 20000.0f;
    rig.params.drvOn = true;
    rig.params.drvStyle = kRectify;
    rig.params.drvDrive = 1.0f;
    const Stereo out = rig.process(sine(96000, 200.0f, 0.5f));
    double sum = 0.0;
    for (size_t i = 72000; i < 96000; ++i) sum += out.left[i];
    EXPECT_NEAR(sum / 24000.0, 0.0, 0.005);
    EXPECT_GT(peak(out.left, 72000), 0.5f);
}

// Reference: the same split with a stage that changes nothing.
Stereo neutralReference(EngineParams params, const Stereo& input) {
    Rig rig;
    params.volOn = true;
    rig.params = params;
    return rig.process(input);
}

TEST(EngineStages, CrushBypassesAtCurveZeroAndKeeps16BitsAtFullCurve) {
    const Stereo input = threeBands(9600);
    EngineParams base;
    base.crsAmount = 1.0f;

    Rig off;
    off.params = base;
    off.params.crsOn = true;
    setModuleCurve(off.curves, kCrs, 0.0f);
    EXPECT_EQ(maxDifference(off.process(input), neutralReference(base, input)), 0.0f);

    Rig full;
    base.crsBits = 16;
    base.crsDown = 1;
    base.bandOn[kBandLow] = base.bandOn[kBandHigh] = false;
    full.params = base;
    full.params.crsOn = true;
    const float error = maxDifference(full.process(input), neutralReference(base, input));
    // Rounding to a grid of 1/65535 in the mid band: at most half a step.
    EXPECT_LE(error, 0.5f / 65535.0f + 1e-7f);
    EXPECT_GT(error, 0.4f / 65535.0f);
}

TEST(EngineStages, CrushHoldsEachSampleForTheDownFactor) {
    Rig rig;
    rig.params.crsOn = true;
    rig.params.crsAmount = 1.0f;
    rig.params.crsBits = 16;
    rig.params.crsDown = 4;
    const Stereo out = rig.process(sine(24000, 700.0f, 0.5f));
    // Within a hold the output moves by rounding only; between holds it jumps.
    std::vector<size_t> jumps;
    for (size_t i = 20001; i < 24000; ++i)
        if (std::fabs(out.left[i] - out.left[i - 1]) > 1e-4f) jumps.push_back(i);
    EXPECT_GT(jumps.size(), 900u);
    for (size_t j = 1; j < jumps.size(); ++j) ASSERT_EQ((jumps[j] - jumps[j - 1]) % 4, 0u);
}

TEST(EngineStages, TimeIsTransparentAtTheTopAndGlidesOnAJump) {
    const Stereo input = threeBands(9600);
    Rig top;
    top.params.timOn = true;
    EXPECT_EQ(maxDifference(top.process(input), neutralReference(EngineParams{}, input)), 0.0f);

    // One 2-second cycle (1/1 at 120 BPM): top for the first half, bottom after.
    Rig jump;
    jump.params.timOn = true;
    jump.params.timRate = 5;
    jump.params.timRange = 0.5f;
    for (Curve& c : jump.curves.curves[kTim])
        ASSERT_TRUE(c.parse("0 1 0, 0.5 1 0, 0.5 0 0, 1 0 0"));
    jump.engine.setParams(jump.params);
    jump.engine.publishCurves(jump.curves);
    Stereo s(48000 + 1000);
    run(jump.engine, s, 0, 48000);
    EXPECT_EQ(jump.engine.band(1).timeDelay, 0.0f);

    const float range = 0.5f * 48000.0f;
    const double samplesPerT = (0.0003 + 0.03 * jump.params.timStep) * kRate;
    run(jump.engine, s, 48000, 48016);
    EXPECT_LT(jump.engine.band(1).timeDelay, 0.05f * range);
    const auto afterT = static_cast<size_t>(samplesPerT);
    run(jump.engine, s, 48016, 48000 + afterT);
    // One time constant, less the half sub-block the step is spread over.
    const double expected = range * (1.0 - std::exp(-(afterT - 8.0) / samplesPerT));
    EXPECT_NEAR(jump.engine.band(1).timeDelay, expected, 0.01 * range);
}

TEST(EngineStages, PanAtBottomSilencesRightAndWidthAtBottomIsMono) {
    Rig pan;
    pan.params.panOn = true;
    setModuleCurve(pan.curves, kPan, 0.0f);
    const Stereo panned = pan.process(Stereo(48000, 0.5f, 0.5f));
    EXPECT_NEAR(panned.left.back(), 0.5f, 1e-4f);
    EXPECT_NEAR(panned.right.back(), 0.0f, 1e-6f);

    Rig width;
    width.params.widOn = true;
    setModuleCurve(width.curves, kWid, 0.0f);
    const Stereo narrowed = width.process(sine(48000, 700.0f, 0.5f));
    for (size_t i = 47000; i < 48000; ++i) ASSERT_NEAR(narrowed.left[i], narrowed.right[i], 1e-6f);
}

TEST(EngineStages, ChainOrderIsTheSignalOrderInEveryBand) {
    // Drive then lowpass filters the harmonics away; lowpass then drive makes new ones.
    const Stereo input = threeBands(9600);
    for (int b = 0; b < kBandCount; ++b) {
        auto runChain = [&](std::initializer_list<int8_t> order) {
            Rig rig;
            rig.params.fltOn = rig.params.drvOn = true;
            rig.params.drvDrive = 1.0f;
            for (int other = 0; other < kBandCount; ++other) rig.params.bandOn[other] = other == b;
            rig.curves.chainLength = 0;
            for (int8_t m : order) rig.curves.chain[rig.curves.chainLength++] = m;
            return rig.process(input);
        };
        EXPECT_GT(maxDifference(runChain({kDrv, kFlt}), runChain({kFlt, kDrv})), 0.01f)
            << "band " << b;
    }
}

TEST(EngineStages, GainOnlyPathAndDryMix) {
    const Stereo input = threeBands(2000);

    Rig allOff;
    allOff.params.inputGain = 1.5f;
    allOff.params.outputGain = 0.7f;
    allOff.params.mix = 0.3f;  // no effect without a stage
    const Stereo gained = allOff.process(input);
    for (size_t i = 0; i < input.left.size(); ++i) {
        ASSERT_EQ(gained.left[i], input.left[i] * (1.5f * 0.7f));
        ASSERT_EQ(gained.right[i], input.right[i] * (1.5f * 0.7f));
    }

    Rig dry;
    dry.params.inputGain = 2.0f;
    dry.params.outputGain = 3.0f;
    dry.params.mix = 0.0f;
    dry.params.drvOn = dry.params.timOn = true;
    EXPECT_EQ(maxDifference(dry.process(input), input), 0.0f);
}

}  // namespace
}  // namespace norvale
