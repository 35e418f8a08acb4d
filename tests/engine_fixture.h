// Helpers shared by the engine tests: engine construction, curves, and
// random settings inside the ranges the plug-in allows.
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

inline void allModulesOn(EngineParams& p) {
    p.volOn = p.fltOn = p.drvOn = p.timOn = p.crsOn = p.panOn = p.widOn = true;
}

inline float dbToGain(double db) { return static_cast<float>(std::pow(10.0, db / 20.0)); }

// Every field inside its range; with `ends`, every field at one end of it.
inline EngineParams randomParams(std::mt19937& rng, bool ends = false) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto t = [&] { return ends ? (u(rng) < 0.5 ? 0.0 : 1.0) : u(rng); };
    auto pick = [&](int lo, int hi) { return ends && lo + 1 < hi && u(rng) < 0.5 ? (u(rng) < 0.5 ? lo : hi)
                                                                      : std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto coin = [&] { return u(rng) < 0.5; };
    auto lin = [&](double lo, double hi) { return static_cast<float>(lo + (hi - lo) * t()); };
    auto log = [&](double lo, double hi) { return static_cast<float>(lo * std::pow(hi / lo, t())); };
    auto db = [&](double lo, double hi) { return dbToGain(lin(lo, hi)); };

    EngineParams p;
    p.inputGain = db(-24, 24);
    p.outputGain = db(-24, 24);
    p.mix = lin(0, 1);
    p.splitLow = log(20, 2000);
    p.splitHigh = log(200, 20000);
    for (bool& on : p.bandOn) on = pick(0, 3) != 0;
    p.volOn = coin(), p.fltOn = coin(), p.drvOn = coin(), p.timOn = coin();
    p.crsOn = coin(), p.panOn = coin(), p.widOn = coin();
    p.volTrim = db(-24, 24);
    p.fltCutoff = log(20, 20000);
    p.fltRes = lin(0, 1);
    p.fltDepth = pick(0, 8);
    p.fltDrive = lin(0, 1);
    for (int32_t& type : p.fltType) type = pick(0, 3);
    p.drvStyle = pick(0, 5);
    p.drvDrive = lin(0, 1);
    p.drvInput = db(-12, 36);
    p.drvOutput = db(-36, 12);
    p.drvTone = lin(-1, 1);
    p.drvMix = lin(0, 1);
    p.timRange = log(20, 2000) * 0.001f;
    p.timStep = lin(0, 1);
    p.crsAmount = lin(0, 1);
    p.crsBits = pick(2, 16);
    p.crsDown = pick(1, 32);
    p.crsMix = lin(0, 1);
    int32_t* rates[] = {&p.volRate, &p.fltRate, &p.drvRate, &p.timRate, &p.crsRate, &p.panRate, &p.widRate};
    float* phases[] = {&p.volPhase, &p.fltPhase, &p.drvPhase, &p.timPhase, &p.crsPhase, &p.panPhase, &p.widPhase};
    float* smooths[] = {&p.volSmooth, &p.fltSmooth, &p.drvSmooth, &p.timSmooth, &p.crsSmooth, &p.panSmooth, &p.widSmooth};
    for (int m = 0; m < kModuleCount; ++m) {
        *rates[m] = pick(0, 7);
        *phases[m] = lin(0, 1);
        *smooths[m] = lin(0, 1);
        p.trigMode[m] = pick(0, 2);
        p.trigLoop[m] = coin();
        p.trigEnd[m] = lin(0, 1);
    }
    p.trigFromInput = coin();
    p.trigThreshold = db(-60, 0);
    p.trigFocus = log(40, 20000);
    p.trigHold = log(5, 1000) * 0.001f;
    return p;
}

// Random points, weights and bends on every curve, and a random chain of
// random length (possibly empty).
inline void randomCurves(CurveSet& set, std::mt19937& rng) {
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (auto& module : set.curves)
        for (Curve& c : module) {
            c.setFlat(u(rng));
            for (int i = pick(0, 20); i > 0; --i) {
                const int index = c.addPoint(u(rng), u(rng), static_cast<uint8_t>(pick(0, 2)));
                if (index >= 0) c.setBend(index, 2.0f * u(rng) - 1.0f);
            }
            if (pick(0, 3) == 0) c.fillSteps(pick(1, 32));
        }
    int order[kModuleCount] = {0, 1, 2, 3, 4, 5, 6};
    std::shuffle(order, order + kModuleCount, rng);
    set.chainLength = static_cast<int8_t>(pick(0, kModuleCount));
    for (int i = 0; i < kModuleCount; ++i) set.chain[i] = static_cast<int8_t>(order[i]);
}

inline bool allFinite(const std::vector<float>& v) {
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

}  // namespace norvale::fixture
