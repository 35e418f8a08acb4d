// One block of audio, sub-block by sub-block: control values, band split,
// stages, sum, mix, and the samples the scope records. Lane b of every Lanes
// value here is band b.
#include <algorithm>
#include <cmath>

#include "dsp/engine.h"
#include "dsp/hot_path.h"

namespace norvale {

// Here rather than with the rest of the scope, and forced inline (a plain
// inline function is not inlined into the AVX2 copies); a new column takes
// the out-of-line path.
__attribute__((always_inline)) inline void Engine::scopeSample(
    uint32_t index, float beforeL, float beforeR, float afterL, float afterR, float sideL,
    float sideR, float traceLevel, float traceValue) {
    double x;
    if (scopeTriggered_) {
        bool held = false;
        x = modulePhase(scopeModule_, index, scopeSongBeats_, scopeTempo_, &held);
        if (held) {
            scope_.playhead = static_cast<float>(x);
            return;
        }
    } else {
        x = scopeStartPhase_ + index * scopeIncrement_;
    }
    double f = x - std::floor(x);
    if (!(f >= 0.0)) f = 0.0;
    const int c = std::min(static_cast<int>(f * kScopeColumns), kScopeColumns - 1);

    const Column sample = {std::min(beforeL, beforeR), std::max(beforeL, beforeR),
                           std::min(afterL, afterR),   std::max(afterL, afterR),
                           std::min(sideL, sideR),     std::max(sideL, sideR),
                           traceLevel,                 traceValue,
                           -1.0f,                      true};
    if (c != column_) {
        scopeNewColumn(c, f, sample);
        return;
    }
    Column& a = columnAcc_;
    a.beforeMin = std::min(a.beforeMin, sample.beforeMin);
    a.beforeMax = std::max(a.beforeMax, sample.beforeMax);
    a.afterMin = std::min(a.afterMin, sample.afterMin);
    a.afterMax = std::max(a.afterMax, sample.afterMax);
    a.sideMin = std::min(a.sideMin, sample.sideMin);
    a.sideMax = std::max(a.sideMax, sample.sideMax);
    a.traceLevel = traceLevel;
    a.traceValue = traceValue;
    a.traceStale = true;
}

void Engine::processGainOnly(float* left, float* right, uint32_t frames) {
    const float inputGain = params_.inputGain;
    const float gain = inputGain * params_.outputGain;
    for (uint32_t i = 0; i < frames; ++i) {
        const float beforeL = left[i] * inputGain;
        const float beforeR = right[i] * inputGain;
        left[i] *= gain;
        right[i] *= gain;
        if (scopeActive_) scopeSample(i, beforeL, beforeR, left[i], right[i], 0.0f, 0.0f, 0.0f, 0.0f);
    }
}

Lanes Engine::curveLanes(int module, uint32_t offset, double songBeats, double tempo) const {
    const float phase = modulePhase(module, offset, songBeats, tempo);
    Lanes v{};
    for (int b = 0; b < kBandCount; ++b) v[b] = curves_.curves[module][b].valueAt(phase);
    return v;
}

NORVALE_HOT_PATH
void Engine::processSubBlocks(float* left, float* right, uint32_t frames, double songBeats,
                              double tempo, const float* sideLeft, const float* sideRight) {
    computeSmoothing();
    const EngineParams& p = params_;
    bool on[kModuleCount];
    for (int m = 0; m < kModuleCount; ++m) on[m] = moduleOn(m);
    const LaneMask bandOn = {p.bandOn[0] ? -1 : 0, p.bandOn[1] ? -1 : 0, p.bandOn[2] ? -1 : 0, 0};

    // Locals, not params_ reads: the stores to left/right might alias params_.
    const float inputGain = p.inputGain, outputGain = p.outputGain, mix = p.mix;
    const bool scoping = scopeActive_;
    const int tracedModule = scopeModule_;
    const int tracedBand = scopeBand_;
    const bool tracing = scoping && on[tracedModule] && p.bandOn[tracedBand];
    scopeTracing_ = tracing;

    Lanes control[kModuleCount][kSubBlock] = {};
    const Lanes* values[kModuleCount];
    for (int m = 0; m < kModuleCount; ++m) values[m] = control[m];
    Lanes levels[kSubBlock] = {};

    // Curves are evaluated at the ends of each sub-block only, and one
    // sub-block's end is the next one's start.
    Lanes startValue[kModuleCount] = {};
    for (int m = 0; m < kModuleCount; ++m)
        if (on[m] && m != kFlt) startValue[m] = curveLanes(m, 0, songBeats, tempo);

    for (uint32_t o = 0; o < frames;) {
        const uint32_t n = std::min(kSubBlock, frames - o);

        float t[kSubBlock];
        const float tStep = n > 1 ? 1.0f / static_cast<float>(n - 1) : 0.0f;
        for (uint32_t i = 0; i < n; ++i) t[i] = static_cast<float>(i) * tStep;
        for (int m = 0; m < kModuleCount; ++m) {
            if (!on[m]) continue;
            if (m == kFlt) {
                // The filter follows its start value alone, also in a band that
                // is off, so switching the band on is seamless.
                const Lanes v = curveLanes(m, o, songBeats, tempo);
                std::fill_n(control[m], n, v);
                for (int b = 0; b < kBandCount; ++b) updateFilter(bands_[b], v[b], n);
                continue;
            }
            const Lanes start = startValue[m];
            const Lanes end = curveLanes(m, o + n, songBeats, tempo);
            const Lanes delta = end - start;
            for (uint32_t i = 0; i < n; ++i) control[m][i] = start + delta * t[i];
            startValue[m] = end;
        }

        float inL[kSubBlock], inR[kSubBlock];
        for (uint32_t i = 0; i < n; ++i) {
            inL[i] = left[o + i] * inputGain;
            inR[i] = right[o + i] * inputGain;
        }
        Lanes splitL[kSubBlock], splitR[kSubBlock];
        splitBlock(inL, inR, n, splitL, splitR);
        Lanes bandL[kSubBlock], bandR[kSubBlock];
        std::copy_n(splitL, n, bandL);
        std::copy_n(splitR, n, bandR);
        processBands(bandL, bandR, n, values, tracing ? tracedModule : -1, levels);

        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t at = o + i;
            // A band that is off passes its split output.
            const Lanes outL = select(bandOn, bandL[i], splitL[i]);
            const Lanes outR = select(bandOn, bandR[i], splitR[i]);
            const float dryL = left[at];
            const float dryR = right[at];
            const float sumL = outL[kBandLow] + outL[kBandMid] + outL[kBandHigh];
            const float sumR = outR[kBandLow] + outR[kBandMid] + outR[kBandHigh];
            const float sideL = sideLeft ? sideLeft[at] : 0.0f;
            const float sideR = sideRight ? sideRight[at] : 0.0f;
            left[at] = dryL + (sumL * outputGain - dryL) * mix;
            right[at] = dryR + (sumR * outputGain - dryR) * mix;
            if (!scoping) continue;

            // The filter's level moves once per sub-block, not per sample.
            const float level =
                tracedModule == kFlt ? bands_[tracedBand].filterLevel : levels[i][tracedBand];
            const float value = control[tracedModule][i][tracedBand];
            if (scopeAll_)
                scopeSample(at, inL[i], inR[i], left[at], right[at], sideL, sideR, level, value);
            else
                scopeSample(at, splitL[i][tracedBand], splitR[i][tracedBand], outL[tracedBand],
                            outR[tracedBand], sideL, sideR, level, value);
        }
        o += n;
    }
}

}  // namespace norvale
