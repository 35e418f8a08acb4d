// Helpers shared by the engine tests: engine construction, curve and
// parameter set-ups, signal checks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "dsp/curve_set.h"
#include "dsp/engine.h"
#include "dsp/engine_params.h"
#include "dsp/modules.h"

namespace norvale::fixture {

// The engine holds two curve sets and the scope record: keep it off the stack.
inline std::unique_ptr<Engine> makeEngine(double sampleRate = 48000.0, uint32_t maxFrames = 1024) {
    auto engine = std::make_unique<Engine>();
    engine->prepare(sampleRate, maxFrames);
    return engine;
}

inline CurveSet neutralCurves() {
    CurveSet set;
    resetCurves(set);
    return set;
}

inline void setFlat(CurveSet& set, int module, float value) {
    for (int b = 0; b < kBandCount; ++b) set.curves[module][b].setFlat(value);
}

inline void setModuleOn(EngineParams& p, int module, bool on) {
    switch (module) {
        case kVol: p.volOn = on; break;
        case kFlt: p.fltOn = on; break;
        case kDrv: p.drvOn = on; break;
        case kTim: p.timOn = on; break;
        case kCrs: p.crsOn = on; break;
        case kPan: p.panOn = on; break;
        case kWid: p.widOn = on; break;
        default: break;
    }
}

inline void setRate(EngineParams& p, int module, int rate, float phase = 0.0f) {
    switch (module) {
        case kVol: p.volRate = rate; p.volPhase = phase; break;
        case kFlt: p.fltRate = rate; p.fltPhase = phase; break;
        case kDrv: p.drvRate = rate; p.drvPhase = phase; break;
        case kTim: p.timRate = rate; p.timPhase = phase; break;
        case kCrs: p.crsRate = rate; p.crsPhase = phase; break;
        case kPan: p.panRate = rate; p.panPhase = phase; break;
        case kWid: p.widRate = rate; p.widPhase = phase; break;
        default: break;
    }
}

inline void allModulesOn(EngineParams& p) {
    for (int m = 0; m < kModuleCount; ++m) setModuleOn(p, m, true);
}

inline float dbToGain(double db) { return static_cast<float>(std::pow(10.0, db / 20.0)); }

// Real value of a logarithmic parameter at position t (0..1).
inline float logRange(double lo, double hi, double t) {
    return static_cast<float>(lo * std::pow(hi / lo, t));
}

// Every field inside the range its parameter allows, from the same real-unit
// conversion the plug-in applies.
inline EngineParams randomParams(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto coin = [&] { return pick(0, 1) == 1; };
    auto db = [&](double lo, double hi) { return dbToGain(lo + (hi - lo) * u(rng)); };
    auto unit = [&] { return static_cast<float>(u(rng)); };

    EngineParams p;
    p.inputGain = db(-24, 24);
    p.outputGain = db(-24, 24);
    p.mix = unit();
    p.splitLow = logRange(20, 2000, u(rng));
    p.splitHigh = logRange(200, 20000, u(rng));
    for (bool& on : p.bandOn) on = pick(0, 3) != 0;

    p.volOn = coin();
    p.volTrim = db(-24, 24);
    p.volRate = pick(0, 7);
    p.volPhase = unit();
    p.volSmooth = unit();

    p.fltOn = coin();
    p.fltCutoff = logRange(20, 20000, u(rng));
    p.fltRes = unit();
    p.fltDepth = pick(0, 8);
    p.fltDrive = unit();
    for (int32_t& t : p.fltType) t = pick(0, 3);
    p.fltRate = pick(0, 7);
    p.fltPhase = unit();
    p.fltSmooth = unit();

    p.drvOn = coin();
    p.drvStyle = pick(0, 5);
    p.drvDrive = unit();
    p.drvInput = db(-12, 36);
    p.drvOutput = db(-36, 12);
    p.drvTone = static_cast<float>(2.0 * u(rng) - 1.0);
    p.drvMix = unit();
    p.drvRate = pick(0, 7);
    p.drvPhase = unit();
    p.drvSmooth = unit();

    p.timOn = coin();
    p.timRange = logRange(20, 2000, u(rng)) * 0.001f;
    p.timStep = unit();
    p.timRate = pick(0, 7);
    p.timPhase = unit();
    p.timSmooth = unit();

    p.crsOn = coin();
    p.crsAmount = unit();
    p.crsBits = pick(2, 16);
    p.crsDown = pick(1, 32);
    p.crsMix = unit();
    p.crsRate = pick(0, 7);
    p.crsPhase = unit();
    p.crsSmooth = unit();

    p.panOn = coin();
    p.panRate = pick(0, 7);
    p.panPhase = unit();
    p.panSmooth = unit();

    p.widOn = coin();
    p.widRate = pick(0, 7);
    p.widPhase = unit();
    p.widSmooth = unit();

    for (int m = 0; m < kModuleCount; ++m) {
        p.trigMode[m] = pick(0, 2);
        p.trigLoop[m] = coin();
        p.trigEnd[m] = unit();
    }
    p.trigFromInput = coin();
    p.trigThreshold = db(-60, 0);
    p.trigFocus = logRange(40, 20000, u(rng));
    p.trigHold = logRange(5, 1000, u(rng)) * 0.001f;
    return p;
}

// Random points, weights and bends on every curve, and a random chain of
// random length (possibly empty).
inline void randomCurves(CurveSet& set, std::mt19937& rng) {
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int m = 0; m < kModuleCount; ++m) {
        for (int b = 0; b < kBandCount; ++b) {
            Curve& c = set.curves[m][b];
            c.setFlat(u(rng));
            const int points = std::uniform_int_distribution<int>(0, 20)(rng);
            for (int i = 0; i < points; ++i) {
                const int index = c.addPoint(u(rng), u(rng),
                                             static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 2)(rng)));
                if (index >= 0) c.setBend(index, 2.0f * u(rng) - 1.0f);
            }
            if (std::uniform_int_distribution<int>(0, 3)(rng) == 0) c.fillSteps(std::uniform_int_distribution<int>(1, 32)(rng));
        }
    }
    int order[kModuleCount] = {0, 1, 2, 3, 4, 5, 6};
    std::shuffle(order, order + kModuleCount, rng);
    set.chainLength = static_cast<int8_t>(std::uniform_int_distribution<int>(0, kModuleCount)(rng));
    for (int i = 0; i < kModuleCount; ++i) set.chain[i] = static_cast<int8_t>(order[i]);
}

inline bool allFinite(const std::vector<float>& v) {
    for (float x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

inline float peakOf(const std::vector<float>& v) {
    float peak = 0.0f;
    for (float x : v) peak = std::max(peak, std::fabs(x));
    return peak;
}

}  // namespace norvale::fixture
