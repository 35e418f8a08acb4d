// Three-band split: fourth-order Linkwitz-Riley low/high at the low split,
// then the upper part split again at the high split. Mid and high together
// are the upper part turned through the high split's allpass, so the low band
// takes the same allpass; only then do the three bands sum back flat.
#include <cmath>

#include "dsp/engine.h"
#include "dsp/hot_path.h"

namespace norvale {

namespace {

// Butterworth damping of each of the two cascaded sections.
constexpr float kButterworthK = 1.414415f;

float prewarp(double hz, double sampleRate) {
    double w = hz / sampleRate;
    w = w > 0.49 ? 0.49 : (w >= 1e-5 ? w : 1e-5);
    return static_cast<float>(std::tan(kPi * w));
}

// Lanes 0 and 1 are the left channel's lowpass and highpass section of one
// cascade step, lanes 2 and 3 the right channel's.
constexpr LaneMask kLowHigh = {0, -1, 0, -1};

}  // namespace

void Engine::updateSplit() {
    const float top = static_cast<float>(0.4 * sampleRate_);
    float lo = params_.splitLow;
    float minHigh;
    if (!(lo >= 20.0f)) {
        lo = 20.0f;
        minHigh = 24.0f;
    } else if (lo > top) {
        lo = top;
        minHigh = 1.2f * top;
    } else {
        minHigh = 1.2f * lo;
    }
    float hi = params_.splitHigh;
    if (!(hi >= minHigh))
        hi = minHigh;
    else
        hi = std::fmin(hi, static_cast<float>(0.45 * sampleRate_));

    if (lo == splitLowApplied_ && hi == splitHighApplied_) return;
    splitLowApplied_ = lo;
    splitHighApplied_ = hi;
    const float gLow = prewarp(lo, sampleRate_);
    const float gHigh = prewarp(hi, sampleRate_);
    Svf low, high;
    low.setCoefficients(gLow, kButterworthK);
    high.setCoefficients(gHigh, kButterworthK);
    for (int step = 0; step < 4; ++step) {
        const Svf& f = step < 2 ? low : high;
        SvfLanes& s = split_[step];
        s.k = splat(f.k);
        s.a1 = splat(f.a1);
        s.a2 = splat(f.a2);
        s.a3 = splat(f.a3);
        s.highpass = kLowHigh;
    }
    lowPhase_.k = splat(high.k);
    lowPhase_.a1 = splat(high.a1);
    lowPhase_.a2 = splat(high.a2);
    lowPhase_.a3 = splat(high.a3);
}

NORVALE_HOT_PATH
void Engine::splitBlock(const float* left, const float* right, uint32_t n, Lanes* bandL,
                        Lanes* bandR) {
    SvfLanes firstLow = split_[0], secondLow = split_[1], firstHigh = split_[2],
             secondHigh = split_[3], lowPhase = lowPhase_;
    for (uint32_t i = 0; i < n; ++i) {
        const Lanes x = {left[i], left[i], right[i], right[i]};
        const Lanes lowAbove = secondLow.tick(firstLow.tick(x));
        const Lanes above = {lowAbove[1], lowAbove[1], lowAbove[3], lowAbove[3]};
        const Lanes midHigh = secondHigh.tick(firstHigh.tick(above));
        // The fourth-order Linkwitz-Riley pair sums to the second-order
        // allpass x - 2k*bp of one section.
        const Lanes low = {lowAbove[0], 0.0f, lowAbove[2], 0.0f};
        const Lanes lowAligned = low - 2.0f * lowPhase.k * lowPhase.step(low).bp;
        bandL[i] = Lanes{lowAligned[0], midHigh[0], midHigh[1], 0.0f};
        bandR[i] = Lanes{lowAligned[2], midHigh[2], midHigh[3], 0.0f};
    }
    split_[0] = firstLow;
    split_[1] = secondLow;
    split_[2] = firstHigh;
    split_[3] = secondHigh;
    lowPhase_ = lowPhase;
}

}  // namespace norvale
