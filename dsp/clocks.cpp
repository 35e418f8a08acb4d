// Module clocks: a phase from the host's beat position (Sync) or from the time
// since the latest MIDI or audio trigger.
#include <algorithm>
#include <cmath>

#include "dsp/engine.h"
#include "dsp/rates.h"

namespace norvale {

double Engine::beatsPerSample(double tempo) const {
    return (tempo > 0.0 ? tempo / 60.0 : 2.0) / sampleRate_;
}

int Engine::modeOf(int module) const {
    if (module < 0 || module >= kModuleCount) return kTrigSync;
    return std::clamp(params_.trigMode[module], kTrigSync, kTrigAudio);
}

float Engine::phaseAt(int rate, float phaseOffset, uint32_t offset, double songBeats,
                      double tempo) const {
    const double position =
        (songBeats >= 0.0 ? songBeats : beatPos_) + beatsPerSample(tempo) * offset;
    // x - floor(x) is fmod(x, 1) moved into 0..1, and much cheaper.
    const double cycles = position / beatsForRate(rate) + phaseOffset;
    return static_cast<float>(cycles - std::floor(cycles));
}

void Engine::cycleOf(int module, int& rate, float& phaseOffset) const {
    const EngineParams& p = params_;
    switch (module) {
        case kVol: rate = p.volRate; phaseOffset = p.volPhase; return;
        case kFlt: rate = p.fltRate; phaseOffset = p.fltPhase; return;
        case kDrv: rate = p.drvRate; phaseOffset = p.drvPhase; return;
        case kTim: rate = p.timRate; phaseOffset = p.timPhase; return;
        case kCrs: rate = p.crsRate; phaseOffset = p.crsPhase; return;
        case kPan: rate = p.panRate; phaseOffset = p.panPhase; return;
        case kWid: rate = p.widRate; phaseOffset = p.widPhase; return;
        default: rate = 3; phaseOffset = 0.0f; return;
    }
}

double Engine::triggerElapsed(int module, uint32_t offset, double tempo) const {
    if (module < 0 || module >= kModuleCount) return -1.0;
    const TriggerList& list = modeOf(module) == kTrigMidi ? midi_ : audio_;
    const double bps = beatsPerSample(tempo);
    for (int i = list.count - 1; i >= 0; --i)
        if (list.offsets[i] <= offset) return bps * static_cast<double>(offset - list.offsets[i]);
    if (elapsed_[module] >= 0.0) return bps * offset + elapsed_[module];
    return -1.0;
}

float Engine::modulePhase(int module, uint32_t offset, double songBeats, double tempo,
                          bool* held) const {
    if (held) *held = false;
    int rate = 3;
    float phaseOffset = 0.0f;
    cycleOf(module, rate, phaseOffset);
    if (modeOf(module) == kTrigSync) return phaseAt(rate, phaseOffset, offset, songBeats, tempo);

    const bool loop = params_.trigLoop[module];
    const double end = std::clamp(static_cast<double>(params_.trigEnd[module]), 0.0, 1.0);
    const double e = triggerElapsed(module, offset, tempo);
    double run;
    bool resting = false;
    if (e < 0.0) {
        // Never triggered: wait at the point a run would stop.
        run = loop ? 1.0 : end;
        resting = true;
    } else {
        const double cycles = e / beatsForRate(rate);
        if (loop) {
            run = std::fmod(cycles, 1.0);
        } else if (cycles >= end) {
            run = end;
            resting = true;
        } else {
            run = cycles;
        }
    }
    double phase = phaseOffset + run;
    if (phase > 1.0) phase -= 1.0;  // exactly 1.0 stays: the curve's end point
    if (held) *held = resting;
    return static_cast<float>(phase);
}

void Engine::endTriggerBlock(uint32_t frames, double tempo) {
    for (int m = 0; m < kModuleCount; ++m) {
        if (modeOf(m) == kTrigSync) {
            elapsed_[m] = -1.0;
            continue;
        }
        double e = triggerElapsed(m, frames, tempo);
        if (e >= 0.0) {
            // Bounded so long runs keep their precision.
            int rate = 3;
            float phaseOffset = 0.0f;
            cycleOf(m, rate, phaseOffset);
            const double cycle = beatsForRate(rate);
            e = params_.trigLoop[m] ? std::fmod(e, cycle) : std::min(cycle, e);
        }
        elapsed_[m] = e;
    }
    // The block's triggers now live in elapsed_.
    midi_.count = 0;
    audio_.count = 0;
}

}  // namespace norvale
