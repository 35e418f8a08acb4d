// The engine tests' one rig and one random generator: an engine on the heap
// with helpers to feed it signals, and random settings and curves inside the
// ranges the plug-in allows.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "dsp/curve_set.h"
#include "dsp/engine.h"

namespace norvale::fixture {

inline CurveSet neutralCurves() {
    CurveSet set;
    resetCurves(set);
    return set;
}

// `set` with every curve of `module` flat at `value`.
inline CurveSet flat(CurveSet set, int module, float value) {
    for (Curve& c : set.curves[module])
        c.setFlat(value);
    return set;
}

inline void allModulesOn(EngineParams& p) {
    for (ModuleSettings& m : p.modules)
        m.on = true;
}

inline double rms(const std::vector<float>& v, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, v.size());
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(v[i]) * v[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

// The engine lives on the heap: it holds three curve sets and the scope record.
struct Rig {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    std::vector<float> left, right;

    explicit Rig(double sampleRate = 48000.0) { engine->prepare(sampleRate, 1024); }
    Rig(const EngineParams& p, const CurveSet& curves, double sampleRate = 48000.0)
        : Rig(sampleRate) {
        engine->setParams(p);
        engine->publishCurves(curves);
    }

    // Runs the whole of `left`/`right` (silence of `frames` if given) in blocks,
    // from beat `beats` at `tempo` (beats < 0: no song position), with MIDI
    // notes at the given offsets of the first block.
    void run(uint32_t block = 512, double beats = 0.0, double tempo = 120.0,
             const std::vector<float>* side = nullptr, std::vector<uint32_t> notes = {},
             size_t frames = 0) {
        if (frames) left.assign(frames, 0.0f), right = left;
        for (size_t o = 0; o < left.size(); o += block, notes.clear()) {
            const auto n = static_cast<uint32_t>(std::min<size_t>(block, left.size() - o));
            const float* s = side ? side->data() + o : nullptr;
            engine->process(left.data() + o, right.data() + o, n, beats, tempo, s, s, notes.data(),
                            static_cast<uint32_t>(notes.size()));
            if (beats >= 0.0) beats += n * tempo / 60.0 / engine->sampleRate();
        }
    }
    // A sine of `hz` at `amplitude` on both channels (right shifted by `shift` radians).
    void sine(double hz, size_t frames, float amplitude = 0.5f, double shift = 0.0) {
        left.resize(frames), right.resize(frames);
        for (size_t i = 0; i < frames; ++i) {
            const double w = 2.0 * kPi * hz * static_cast<double>(i) / engine->sampleRate();
            left[i] = amplitude * static_cast<float>(std::sin(w));
            right[i] = amplitude * static_cast<float>(std::sin(w + shift));
        }
    }
    void noise(size_t frames, uint32_t seed = 1, float amplitude = 0.5f) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> u(-amplitude, amplitude);
        left.resize(frames), right.resize(frames);
        for (size_t i = 0; i < frames; ++i)
            left[i] = u(rng), right[i] = u(rng);
    }
};

// Every field inside its range; with `ends`, every field at one end of it.
inline EngineParams randomParams(std::mt19937& rng, bool ends = false) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto t = [&] { return ends ? (u(rng) < 0.5 ? 0.0 : 1.0) : u(rng); };
    auto pick = [&](int lo, int hi) {
        return ends ? (u(rng) < 0.5 ? lo : hi) : std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    auto coin = [&] { return u(rng) < 0.5; };
    auto lin = [&](double lo, double hi) { return static_cast<float>(lo + (hi - lo) * t()); };
    auto log = [&](double lo, double hi) { return float(lo * std::pow(hi / lo, t())); };
    auto db = [&](double lo, double hi) { return std::pow(10.0f, lin(lo, hi) / 20.0f); };

    EngineParams p;
    p.inputGain = db(-24, 24), p.outputGain = db(-24, 24), p.mix = lin(0, 1);
    p.splitLow = log(20, 2000), p.splitHigh = log(200, 20000);
    for (bool& on : p.bandOn)
        on = pick(0, 3) != 0;
    for (ModuleSettings& m : p.modules)
        m = {coin(), pick(0, 7), lin(0, 1), lin(0, 1), TrigMode(pick(0, 2)), coin(), lin(0, 1)};
    p.volTrim = db(-24, 24);
    p.fltCutoff = log(20, 20000), p.fltRes = lin(0, 1), p.fltDepth = pick(0, 8);
    p.fltDrive = lin(0, 1);
    for (FilterType& type : p.fltType)
        type = FilterType(pick(0, 3));
    p.drvStyle = DriveStyle(pick(0, 5));
    p.drvDrive = lin(0, 1), p.drvInput = db(-12, 36), p.drvOutput = db(-36, 12);
    p.drvTone = lin(-1, 1), p.drvMix = lin(0, 1);
    p.timRange = log(20, 2000) * 0.001f, p.timStep = lin(0, 1);
    p.crsAmount = lin(0, 1), p.crsBits = pick(2, 16), p.crsDown = pick(1, 32), p.crsMix = lin(0, 1);
    p.trigFromInput = coin(), p.trigThreshold = db(-60, 0);
    p.trigFocus = log(40, 20000), p.trigHold = log(5, 1000) * 0.001f;
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
    std::iota(set.chain, set.chain + kModuleCount, int8_t{0});
    std::shuffle(set.chain, set.chain + kModuleCount, rng);
    set.chainLength = static_cast<int8_t>(pick(0, kModuleCount));
}

} // namespace norvale::fixture
