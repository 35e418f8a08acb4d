// Audio trigger detection: a peak envelope against a threshold, with re-arm
// hysteresis and a minimum time between hits.
#include <algorithm>
#include <cmath>

#include "dsp/engine.h"

namespace norvale {

void Engine::detectTriggers(const float* left, const float* right, uint32_t frames) {
    audio_.count = 0;
    const EngineParams& p = params_;

    // Above 19 kHz the focus filter would change nothing worth its cost.
    const bool focus = p.trigFocus < 19000.0f;
    if (focus && p.trigFocus != focusApplied_) {
        focusCoef_ = onePoleCoef(p.trigFocus, sampleRate_);
        focusApplied_ = p.trigFocus;
    }
    const float a = focusCoef_;
    const float release = static_cast<float>(std::exp(-1.0 / (sampleRate_ * 0.03)));

    float threshold = p.trigThreshold;
    float rearm;
    if (threshold >= 1e-6f) {
        rearm = 0.5f * threshold;
    } else {
        threshold = 1e-6f;
        rearm = 5e-7f;
    }
    const double hold =
        std::min(p.trigHold > 0.001f ? static_cast<double>(p.trigHold) : 0.001, 3600.0);
    const auto holdSamples = static_cast<uint32_t>(hold * sampleRate_);

    for (uint32_t i = 0; i < frames; ++i) {
        float l = left ? left[i] : 0.0f;
        float r = right ? right[i] : l;
        if (focus) {
            float* fl = focusState_[0];
            float* fr = focusState_[1];
            fl[0] += (l - fl[0]) * a;
            fl[1] += (fl[0] - fl[1]) * a;
            fr[0] += (r - fr[0]) * a;
            fr[1] += (fr[0] - fr[1]) * a;
            l = fl[1];
            r = fr[1];
        }
        const float peak = std::max(std::fabs(l), std::fabs(r));
        envelope_ = peak > envelope_ ? peak : envelope_ * release;

        if (sinceHit_ < kNoHit - 1) ++sinceHit_;
        if (!armed_) {
            if (envelope_ < rearm) armed_ = true;
            continue;
        }
        if (envelope_ >= threshold && (sinceHit_ == kNoHit || sinceHit_ >= holdSamples)) {
            if (audio_.count < kMaxTriggers) audio_.offsets[audio_.count++] = i;
            armed_ = false;
            sinceHit_ = 0;
            scope_.triggerCount.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

}  // namespace norvale
