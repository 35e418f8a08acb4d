// The seven stages and the filter's once-per-sub-block coefficient update.
// Every stage runs the three bands side by side (lane b = band b) over a whole
// sub-block, with its state gathered from the band states into lanes first
// and written back afterwards for the bands that are on. `levels`, when given,
// receives the stage's smoothed value after each sample (the scope's trace).
#include <algorithm>
#include <cmath>

#include "dsp/engine.h"

namespace norvale {

namespace {

// 10^(24 dB * s / 20) == 2^(s * kDriveOctaves): up to +24 dB of drive.
constexpr float kDriveOctaves = 3.98631371f;
constexpr float kHalfPi = 1.5707963f;

// NaN-safe scalar clamp: a NaN gives lo.
inline float clampf(float x, float lo, float hi) {
    return x > hi ? hi : (x >= lo ? x : lo);
}

template <typename Fn>
Lanes perLane(Lanes x, Fn fn) {
    for (int lane = 0; lane < 4; ++lane) x[lane] = fn(x[lane]);
    return x;
}

inline Lanes hardClip(Lanes x) {
    return select(x < -1.0f, splat(-1.0f), select(x > 1.0f, splat(1.0f), x));
}

// Triangle fold: the input reflects off +-1.
inline Lanes fold(Lanes x) {
    return perLane(x, [](float v) {
        float y = std::fmod(v + 1.0f, 4.0f);
        if (y < 0.0f) y += 4.0f;
        if (y > 2.0f) y = 4.0f - y;
        return y - 1.0f;
    });
}

inline Lanes sineFold(Lanes x) {
    return perLane(x, [](float v) { return std::sin(v * kHalfPi); });
}

inline Lanes crushShape(Lanes x, Lanes amount) {
    const Lanes q =
        select(amount < 0.0f, splat(65535.0f),
               select(amount > 1.0f, splat(3.0f), exp2Lanes(16.0f - 14.0f * amount) - 1.0f));
    return nearestLanes(x * q) / q;
}

inline Lanes shape(int style, Lanes x, Lanes amount) {
    switch (style) {
        case kHardClip: return hardClip(x);
        case kFold: return fold(x);
        case kRectify: return abs(x);
        case kSineFold: return sineFold(x);
        case kCrushStyle: return crushShape(x, amount);
        case kSoftClip:
        default: return tanhLanes(x);
    }
}

}  // namespace

float Engine::driveShape(int style, float x, float amount) {
    return shape(style, splat(x), splat(amount))[0];
}

Lanes Engine::gather(float BandState::*field) const {
    return Lanes{bands_[0].*field, bands_[1].*field, bands_[2].*field, 0.0f};
}

void Engine::scatter(float BandState::*field, Lanes value) {
    for (int b = 0; b < kBandCount; ++b)
        if (params_.bandOn[b]) bands_[b].*field = value[b];
}

void Engine::processBands(Lanes* left, Lanes* right, uint32_t n,
                          const Lanes* const values[kModuleCount], int tracedModule,
                          Lanes* tracedLevels) {
    const EngineParams& p = params_;
    for (int i = 0; i < chainLength_; ++i) {
        const int m = chain_[i];
        Lanes* levels = m == tracedModule ? tracedLevels : nullptr;
        switch (m) {
            case kVol: if (p.volOn) stageVolume(left, right, values[kVol], n, levels); break;
            case kFlt: if (p.fltOn) stageFilter(left, right, n); break;
            case kDrv: if (p.drvOn) stageDrive(left, right, values[kDrv], n, levels); break;
            case kTim: if (p.timOn) stageTime(left, right, values[kTim], n, levels); break;
            case kCrs: if (p.crsOn) stageCrush(left, right, values[kCrs], n, levels); break;
            case kPan: if (p.panOn) stagePan(left, right, values[kPan], n, levels); break;
            case kWid: if (p.widOn) stageWidth(left, right, values[kWid], n, levels); break;
            default: break;
        }
    }
}

void Engine::stageVolume(Lanes* left, Lanes* right, const Lanes* values, uint32_t n,
                         Lanes* levels) {
    const float coef = smoothCoef_[kVol];
    const float trim = params_.volTrim;
    Lanes level = gather(&BandState::volLevel);
    for (uint32_t i = 0; i < n; ++i) {
        // The curve is squared: half way down is a quarter of the level.
        level += (values[i] * values[i] - level) * coef;
        const Lanes gain = level * trim;
        left[i] *= gain;
        right[i] *= gain;
        if (levels) levels[i] = level;
    }
    scatter(&BandState::volLevel, level);
}

void Engine::updateFilter(BandState& s, float value, uint32_t length) {
    const EngineParams& p = params_;
    if (s.filterLevel < 0.0f) {
        s.filterLevel = value;
    } else {
        // A sub-block's worth of one-pole steps at once.
        const float step = 1.0f - std::pow(1.0f - smoothCoef_[kFlt], static_cast<float>(length));
        s.filterLevel += (value - s.filterLevel) * step;
    }
    // The curve's top is the cutoff, its bottom fltDepth octaves below.
    const float cutoff =
        clampf(p.fltCutoff * std::exp2(static_cast<float>(p.fltDepth) * (s.filterLevel - 1.0f)),
               20.0f, static_cast<float>(0.45 * sampleRate_));
    const float w = clampf(static_cast<float>(cutoff / sampleRate_), 1e-5f, 0.49f);
    const float g = std::tan(static_cast<float>(kPi) * w);
    const float k = clampf(2.0f - 1.98f * p.fltRes, 0.02f, 2.0f);
    s.svf[0].setCoefficients(g, k);
    s.svf[1].setCoefficients(g, k);
}

void Engine::stageFilter(Lanes* left, Lanes* right, uint32_t n) {
    const EngineParams& p = params_;
    SvfLanes fl, fr;
    // Output = input*cx + band*cb + low*cl per band's response, which gives
    // each response exactly (the terms with a zero factor add nothing).
    Lanes cx{}, cb{}, cl{};
    for (int b = 0; b < kBandCount; ++b) {
        const Svf* svf = bands_[b].svf;
        const float k = svf[0].k;
        fl.a1[b] = fr.a1[b] = svf[0].a1;
        fl.a2[b] = fr.a2[b] = svf[0].a2;
        fl.a3[b] = fr.a3[b] = svf[0].a3;
        fl.ic1[b] = svf[0].ic1;
        fl.ic2[b] = svf[0].ic2;
        fr.ic1[b] = svf[1].ic1;
        fr.ic2[b] = svf[1].ic2;
        switch (p.fltType[b]) {
            case kHighpass: cx[b] = 1.0f; cb[b] = -k; cl[b] = -1.0f; break;
            case kBandpass: cb[b] = k; break;  // unity gain at the centre
            case kNotch: cx[b] = 1.0f; cb[b] = -k; break;
            case kLowpass:
            default: cl[b] = 1.0f; break;
        }
    }
    auto tick = [&](SvfLanes& f, Lanes x) {
        const SvfLanes::Out o = f.step(x);
        return x * cx + o.bp * cb + o.lp * cl;
    };
    if (p.fltDrive > 0.0f) {
        // Saturation in front of the filter.
        const float drive = 1.0f + 3.0f * p.fltDrive;
        for (uint32_t i = 0; i < n; ++i) {
            left[i] = tick(fl, tanhLanes(drive * left[i]) / drive);
            right[i] = tick(fr, tanhLanes(drive * right[i]) / drive);
        }
    } else {
        for (uint32_t i = 0; i < n; ++i) {
            left[i] = tick(fl, left[i]);
            right[i] = tick(fr, right[i]);
        }
    }
    for (int b = 0; b < kBandCount; ++b) {
        if (!p.bandOn[b]) continue;
        Svf* svf = bands_[b].svf;
        svf[0].ic1 = fl.ic1[b];
        svf[0].ic2 = fl.ic2[b];
        svf[1].ic1 = fr.ic1[b];
        svf[1].ic2 = fr.ic2[b];
    }
}

void Engine::stageDrive(Lanes* left, Lanes* right, const Lanes* values, uint32_t n,
                        Lanes* levels) {
    const EngineParams& p = params_;
    const float coef = smoothCoef_[kDrv];
    const bool rectify = p.drvStyle == kRectify;
    const float toneAmount = std::fabs(p.drvTone);
    const bool toneOn = p.drvTone != 0.0f;
    const bool towardLowpass = p.drvTone > 0.0f;
    Lanes level = gather(&BandState::driveLevel);
    Lanes dcL{}, dcR{}, toneL{}, toneR{};
    for (int b = 0; b < kBandCount; ++b) {
        dcL[b] = bands_[b].dcBlock[0].z;
        dcR[b] = bands_[b].dcBlock[1].z;
        toneL[b] = bands_[b].tone[0].z;
        toneR[b] = bands_[b].tone[1].z;
    }
    // The coefficients depend on the sample rate only: the same in every band.
    const float dcCoef = bands_[0].dcBlock[0].a;
    const float toneCoef = bands_[0].tone[0].a;

    // One loop per style, so the shaper is inlined into it.
    auto run = [&](auto shaper) {
        auto channel = [&](Lanes x, Lanes pre, Lanes makeUp, Lanes& dc, Lanes& tone) {
            Lanes y = shaper(pre * x, level);
            if (rectify) {
                dc += (y - dc) * dcCoef;
                y -= dc;
            }
            y *= makeUp;
            if (toneOn) {
                tone += (y - tone) * toneCoef;
                if (towardLowpass)
                    y += (tone - y) * toneAmount;
                else
                    y -= toneAmount * tone;
            }
            return x + (y - x) * p.drvMix;
        };
        for (uint32_t i = 0; i < n; ++i) {
            const Lanes target = clamp(p.drvDrive * values[i], splat(0.0f), splat(1.0f));
            // The first sample after a reset takes its target at once.
            level = select(level < 0.0f, target, level + (target - level) * coef);
            if (levels) levels[i] = level;
            const Lanes pre = p.drvInput * exp2Lanes(level * kDriveOctaves);
            const Lanes makeUp = p.drvOutput / (1.0f + 2.5f * level);  // louder drive, lower level
            left[i] = channel(left[i], pre, makeUp, dcL, toneL);
            right[i] = channel(right[i], pre, makeUp, dcR, toneR);
        }
    };
    switch (p.drvStyle) {
        case kHardClip: run([](Lanes x, Lanes) { return hardClip(x); }); break;
        case kFold: run([](Lanes x, Lanes) { return fold(x); }); break;
        case kRectify: run([](Lanes x, Lanes) { return abs(x); }); break;
        case kSineFold: run([](Lanes x, Lanes) { return sineFold(x); }); break;
        case kCrushStyle: run([](Lanes x, Lanes amount) { return crushShape(x, amount); }); break;
        case kSoftClip:
        default: run([](Lanes x, Lanes) { return tanhLanes(x); }); break;
    }

    scatter(&BandState::driveLevel, level);
    for (int b = 0; b < kBandCount; ++b) {
        if (!p.bandOn[b]) continue;
        bands_[b].dcBlock[0].z = dcL[b];
        bands_[b].dcBlock[1].z = dcR[b];
        bands_[b].tone[0].z = toneL[b];
        bands_[b].tone[1].z = toneR[b];
    }
}

void Engine::stageCrush(Lanes* left, Lanes* right, const Lanes* values, uint32_t n,
                        Lanes* levels) {
    const EngineParams& p = params_;
    const float coef = smoothCoef_[kCrs];
    const float reduction =
        p.crsBits < 2 ? 14.0f : (p.crsBits > 16 ? 0.0f : static_cast<float>(16 - p.crsBits));
    const float downMinusOne = static_cast<float>(std::clamp(p.crsDown, 1, 32) - 1);
    Lanes level = gather(&BandState::crushLevel);
    Lanes phase = gather(&BandState::crushPhase);
    Lanes hold[2]{};
    for (int b = 0; b < kBandCount; ++b)
        for (int c = 0; c < 2; ++c) hold[c][b] = bands_[b].crushHold[c];

    for (uint32_t i = 0; i < n; ++i) {
        level += (clamp(p.crsAmount * values[i], splat(0.0f), splat(1.0f)) - level) * coef;
        if (levels) levels[i] = level;
        // Bands whose amount is (nearly) zero pass and keep their hold.
        const LaneMask active = level > 0.0001f;
        const Lanes amount = min(level, splat(1.0f));
        const Lanes q = exp2Lanes(16.0f - reduction * amount) - 1.0f;

        // The hold grows smoothly from one sample to crsDown samples.
        // The phase is at most 1 (its value after a reset) and a step at most 1,
        // so the whole part to drop is 1, or 2 at the very top.
        Lanes next = phase + 1.0f / (1.0f + amount * downMinusOne);
        const LaneMask wrap = next >= 1.0f;
        next = select(wrap, next - select(next >= 2.0f, splat(2.0f), splat(1.0f)), next);
        phase = select(active, next, phase);
        const LaneMask capture = active & wrap;
        hold[0] = select(capture, left[i], hold[0]);
        hold[1] = select(capture, right[i], hold[1]);

        const LaneMask apply = active & (q > 1.0f);
        const Lanes yl = nearestLanes(hold[0] * q) / q;
        const Lanes yr = nearestLanes(hold[1] * q) / q;
        left[i] = select(apply, left[i] + (yl - left[i]) * p.crsMix, left[i]);
        right[i] = select(apply, right[i] + (yr - right[i]) * p.crsMix, right[i]);
    }
    scatter(&BandState::crushLevel, level);
    scatter(&BandState::crushPhase, phase);
    for (int b = 0; b < kBandCount; ++b) {
        if (!p.bandOn[b]) continue;
        for (int c = 0; c < 2; ++c) bands_[b].crushHold[c] = hold[c][b];
    }
}

// A look-back, not an echo: the read head sits timeDelay samples behind the
// write head and glides there when the curve jumps. The glide runs on all
// bands at once; each band then reads its own ring.
void Engine::stageTime(Lanes* left, Lanes* right, const Lanes* values, uint32_t n,
                       Lanes* levels) {
    const float coef = smoothCoef_[kTim];
    const auto range = static_cast<float>(sampleRate_ * clampf(params_.timRange, 0.001f, 2.0f));
    Lanes delay = gather(&BandState::timeDelay);
    Lanes distance[kSubBlock];
    for (uint32_t i = 0; i < n; ++i) {
        delay += ((1.0f - values[i]) * range - delay) * coef;
        if (levels) levels[i] = delay;
        distance[i] = clamp(delay, splat(0.0f), splat(range));
    }
    scatter(&BandState::timeDelay, delay);

    for (int b = 0; b < kBandCount; ++b) {
        BandState& s = bands_[b];
        const int32_t length = s.lookLength;
        if (!params_.bandOn[b] || length < 1) continue;
        const auto longest = static_cast<float>(length - 2);
        float* ringL = s.lookBack[0].get();
        float* ringR = s.lookBack[1].get();
        int32_t write = s.writePos;
        for (uint32_t i = 0; i < n; ++i) {
            ringL[write] = left[i][b];
            ringR[write] = right[i][b];
            // Position write - d, split into whole samples and a fraction.
            const float d = std::min(distance[i][b], longest);
            const auto whole = static_cast<int32_t>(d);
            const float part = d - static_cast<float>(whole);
            int32_t i0 = write - whole;
            float f = 0.0f;
            if (part > 0.0f) {
                i0 -= 1;
                f = 1.0f - part;
            }
            if (i0 < 0) i0 += length;
            const int32_t i1 = i0 + 1 < length ? i0 + 1 : 0;
            left[i][b] = ringL[i0] + (ringL[i1] - ringL[i0]) * f;
            right[i][b] = ringR[i0] + (ringR[i1] - ringR[i0]) * f;
            write = write + 1 < length ? write + 1 : 0;
        }
        s.writePos = write;
    }
}

void Engine::stageWidth(Lanes* left, Lanes* right, const Lanes* values, uint32_t n,
                        Lanes* levels) {
    const float coef = smoothCoef_[kWid];
    Lanes level = gather(&BandState::widthLevel);
    for (uint32_t i = 0; i < n; ++i) {
        level += (clamp(2.0f * values[i], splat(0.0f), splat(2.0f)) - level) * coef;
        if (levels) levels[i] = level;
        const Lanes mid = (left[i] + right[i]) * 0.5f;
        const Lanes side = (left[i] - right[i]) * 0.5f * level;
        left[i] = mid + side;
        right[i] = mid - side;
    }
    scatter(&BandState::widthLevel, level);
}

void Engine::stagePan(Lanes* left, Lanes* right, const Lanes* values, uint32_t n, Lanes* levels) {
    const float coef = smoothCoef_[kPan];
    Lanes pos = gather(&BandState::panPos);
    for (uint32_t i = 0; i < n; ++i) {
        pos += (clamp(values[i], splat(0.0f), splat(1.0f)) - pos) * coef;
        if (levels) levels[i] = pos;
        const LaneMask towardLeft = pos < 0.5f;
        right[i] = select(towardLeft, right[i] * (2.0f * pos), right[i]);
        left[i] = select(towardLeft, left[i], left[i] * (2.0f * (1.0f - pos)));
    }
    scatter(&BandState::panPos, pos);
}

}  // namespace norvale
