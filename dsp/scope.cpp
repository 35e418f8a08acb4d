// Scope capture: envelopes and the applied control value over one cycle of
// the module the editor shows, in 480 columns.
#include <algorithm>
#include <cmath>

#include "dsp/engine.h"
#include "dsp/rates.h"

namespace norvale {

namespace {

// Skips of up to a quarter cycle are filled so a fast playhead leaves no holes;
// longer ones are jumps, not movement.
constexpr int kLongestFill = 119;

}  // namespace

void Engine::scopeBlock(uint32_t /*frames*/, double songBeats, double tempo) {
    scopeActive_ = scope_.wanted.load(std::memory_order_relaxed);
    scopeTracing_ = false;
    if (!scopeActive_) return;
    const int module =
        std::clamp(scope_.targetModule.load(std::memory_order_relaxed), 0, kModuleCount - 1);
    const int bandIndex =
        std::clamp(scope_.targetBand.load(std::memory_order_relaxed), 0, kBandCount - 1);
    const bool all = scope_.targetAllBands.load(std::memory_order_relaxed);

    if (module != lastTargetModule_ || bandIndex != lastTargetBand_ || all != lastTargetAll_) {
        std::fill_n(scope_.beforeMin, kScopeColumns, 0.0f);
        std::fill_n(scope_.beforeMax, kScopeColumns, 0.0f);
        std::fill_n(scope_.afterMin, kScopeColumns, 0.0f);
        std::fill_n(scope_.afterMax, kScopeColumns, 0.0f);
        std::fill_n(scope_.sideMin, kScopeColumns, 0.0f);
        std::fill_n(scope_.sideMax, kScopeColumns, 0.0f);
        std::fill_n(scope_.trace, kScopeColumns, -1.0f);
        scope_.playhead = -1.0f;
        column_ = -1;
        lastTargetModule_ = module;
        lastTargetBand_ = bandIndex;
        lastTargetAll_ = all;
    }

    scopeModule_ = module;
    scopeBand_ = bandIndex;
    scopeAll_ = all;
    scopeTriggered_ = modeOf(module) != kTrigSync;
    scopeSongBeats_ = songBeats;
    scopeTempo_ = tempo;

    int rate = 3;
    float phaseOffset = 0.0f;
    cycleOf(module, rate, phaseOffset);
    scopeStartPhase_ = phaseAt(rate, phaseOffset, 0, songBeats, tempo);
    scopeIncrement_ = beatsPerSample(tempo) / beatsForRate(rate);
}

void Engine::scopeNewColumn(int c, double f, const Column& sample) {
    const int previous = column_;
    if (previous >= 0) {
        commitColumn();
        const int gap = (c - previous + kScopeColumns) % kScopeColumns;
        // A triggered module that moved backwards was restarted: nothing to fill.
        if (gap >= 2 && gap <= kLongestFill && (!scopeTriggered_ || previous <= c)) {
            for (int k = (previous + 1) % kScopeColumns; k != c; k = (k + 1) % kScopeColumns) {
                column_ = k;
                columnAcc_ = sample;
                writeColumn();
            }
        }
    }
    column_ = c;
    columnAcc_ = sample;
    scope_.playhead = static_cast<float>(f);
}

void Engine::scopeEnd() {
    if (scopeActive_ && column_ >= 0) commitColumn();
}

void Engine::writeColumn() {
    const int c = column_;
    // Worked out within the block of the column's last sample, so with that
    // block's parameters; scopeEnd commits every block.
    if (columnAcc_.traceStale) {
        columnAcc_.trace = scopeTracing_ ? traceFromLevel(scopeModule_, columnAcc_.traceLevel,
                                                          columnAcc_.traceValue)
                                         : -1.0f;
        columnAcc_.traceStale = false;
    }
    scope_.beforeMin[c] = columnAcc_.beforeMin;
    scope_.beforeMax[c] = columnAcc_.beforeMax;
    scope_.afterMin[c] = columnAcc_.afterMin;
    scope_.afterMax[c] = columnAcc_.afterMax;
    scope_.sideMin[c] = columnAcc_.sideMin;
    scope_.sideMax[c] = columnAcc_.sideMax;
    scope_.trace[c] = columnAcc_.trace;
}

void Engine::commitColumn() {
    writeColumn();
    scope_.updates.fetch_add(1, std::memory_order_release);
}

float Engine::traceOf(int module, int bandIndex, float value) const {
    if (!moduleOn(module)) return -1.0f;
    const BandState& s = band(bandIndex);
    switch (module) {
        case kVol: return traceFromLevel(module, s.volLevel, value);
        case kFlt: return traceFromLevel(module, s.filterLevel, value);
        case kDrv: return traceFromLevel(module, s.driveLevel, value);
        case kTim: return traceFromLevel(module, s.timeDelay, value);
        case kCrs: return traceFromLevel(module, s.crushLevel, value);
        case kPan: return traceFromLevel(module, s.panPos, value);
        case kWid: return traceFromLevel(module, s.widthLevel, value);
        default: return -1.0f;
    }
}

float Engine::traceFromLevel(int module, float level, float value) const {
    const EngineParams& p = params_;
    switch (module) {
        case kVol: return level > 0.0f ? std::sqrt(level) : 0.0f;
        case kFlt: return level < 0.0f ? value : level;
        case kDrv:
            if (p.drvDrive <= 0.0f || level < 0.0f) return value;
            return std::clamp(level / p.drvDrive, 0.0f, 1.0f);
        case kTim: {
            const double range = sampleRate_ * std::clamp(p.timRange, 0.001f, 2.0f);
            return static_cast<float>(std::clamp(1.0 - level / range, 0.0, 1.0));
        }
        case kCrs:
            if (p.crsAmount <= 0.0f) return value;
            return std::clamp(level / p.crsAmount, 0.0f, 1.0f);
        case kPan: return level;
        case kWid: return std::clamp(0.5f * level, 0.0f, 1.0f);
        default: return -1.0f;
    }
}

}  // namespace norvale
