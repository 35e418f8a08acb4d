// The seven stages and the filter's once-per-sub-block coefficient update.
// Every stage runs the three bands side by side (lane b = band b) over a whole
// sub-block, with its state gathered from the band states into lanes first
// and written back afterwards for the bands that are on. `levels`, when given,
// receives the stage's smoothed value after each sample (the scope's trace).
#include <algorithm>
#include <cmath>

#include "dsp/engine.h"
#include "dsp/hot_path.h"

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

NORVALE_HOT_PATH
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

NORVALE_HOT_PATH
void Engine::stageFilter(Lanes* left, Lanes* right, uint32_t n) {
    const EngineParams& p = params_;
    SvfLanes fl, fr;  // the right channel's coefficients are the left's
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
    // Both channels' sections step at once (the steps of SvfLanes::step).
    StereoLanes ic1, ic2, a1, a2, a3, mixX, mixB, mixL;
    join(ic1, fl.ic1, fr.ic1);
    join(ic2, fl.ic2, fr.ic2);
    join(a1, fl.a1, fl.a1);
    join(a2, fl.a2, fl.a2);
    join(a3, fl.a3, fl.a3);
    join(mixX, cx, cx);
    join(mixB, cb, cb);
    join(mixL, cl, cl);
    auto run = [&](auto saturate) __attribute__((always_inline)) {
        for (uint32_t i = 0; i < n; ++i) {
            StereoLanes x;
            join(x, left[i], right[i]);
            saturate(x);
            const StereoLanes d = x - ic2;
            const StereoLanes bp = a1 * ic1 + a2 * d;
            const StereoLanes lp = ic2 + a2 * ic1 + a3 * d;
            ic1 = 2.0f * bp - ic1;
            ic2 = 2.0f * lp - ic2;
            const StereoLanes y = x * mixX + bp * mixB + lp * mixL;
            left[i] = leftOf(y);
            right[i] = rightOf(y);
        }
    };
    if (p.fltDrive > 0.0f) {
        // Saturation in front of the filter.
        const float drive = 1.0f + 3.0f * p.fltDrive;
        run([drive](StereoLanes& x) {
            x *= drive;
            tanhInPlace(x);
            x /= drive;
        });
    } else {
        run([](StereoLanes&) {});
    }
    fl.ic1 = leftOf(ic1);
    fr.ic1 = rightOf(ic1);
    fl.ic2 = leftOf(ic2);
    fr.ic2 = rightOf(ic2);
    for (int b = 0; b < kBandCount; ++b) {
        if (!p.bandOn[b]) continue;
        Svf* svf = bands_[b].svf;
        svf[0].ic1 = fl.ic1[b];
        svf[0].ic2 = fl.ic2[b];
        svf[1].ic1 = fr.ic1[b];
        svf[1].ic2 = fr.ic2[b];
    }
}

NORVALE_HOT_PATH
void Engine::stageDrive(Lanes* left, Lanes* right, const Lanes* values, uint32_t n,
                        Lanes* levels) {
    const EngineParams& p = params_;
    const float coef = smoothCoef_[kDrv];
    const bool rectify = p.drvStyle == kRectify;
    const float toneAmount = std::fabs(p.drvTone);
    const bool toneOn = p.drvTone != 0.0f;
    const bool towardLowpass = p.drvTone > 0.0f;
    // Locals, not params_ reads: the stores to left/right might alias params_.
    const float drive = p.drvDrive, input = p.drvInput, output = p.drvOutput, mix = p.drvMix;
    Lanes level = gather(&BandState::driveLevel);
    Lanes dcL{}, dcR{}, toneL{}, toneR{};  // left and right run as one StereoLanes
    for (int b = 0; b < kBandCount; ++b) {
        dcL[b] = bands_[b].dcBlock[0].z;
        dcR[b] = bands_[b].dcBlock[1].z;
        toneL[b] = bands_[b].tone[0].z;
        toneR[b] = bands_[b].tone[1].z;
    }
    // The coefficients depend on the sample rate only: the same in every band.
    const float dcCoef = bands_[0].dcBlock[0].a;
    const float toneCoef = bands_[0].tone[0].a;

    // One loop per style, so the shaper is inlined into it; forced inline so
    // each CPU's copy of this function gets its own loop.
    auto run = [&](auto shaper) __attribute__((always_inline)) {
        StereoLanes dc, tone;
        join(dc, dcL, dcR);
        join(tone, toneL, toneR);
        for (uint32_t i = 0; i < n; ++i) {
            const Lanes target = clamp(drive * values[i], splat(0.0f), splat(1.0f));
            // The first sample after a reset takes its target at once.
            level = select(level < 0.0f, target, level + (target - level) * coef);
            if (levels) levels[i] = level;
            const Lanes pre = input * exp2Lanes(level * kDriveOctaves);
            const Lanes makeUp = output / (1.0f + 2.5f * level);  // louder drive, lower level
            StereoLanes x, y, preBoth, makeUpBoth;
            join(x, left[i], right[i]);
            join(preBoth, pre, pre);
            join(makeUpBoth, makeUp, makeUp);
            y = preBoth * x;
            shaper(y, level);
            if (rectify) {
                dc += (y - dc) * dcCoef;
                y -= dc;
            }
            y *= makeUpBoth;
            if (toneOn) {
                tone += (y - tone) * toneCoef;
                if (towardLowpass)
                    y += (tone - y) * toneAmount;
                else
                    y -= toneAmount * tone;
            }
            y = x + (y - x) * mix;
            left[i] = leftOf(y);
            right[i] = rightOf(y);
        }
        dcL = leftOf(dc);
        dcR = rightOf(dc);
        toneL = leftOf(tone);
        toneR = rightOf(tone);
    };
    // Shapers without a StereoLanes form take each channel in turn.
    auto perChannel = [](StereoLanes& x, auto fn) {
        join(x, fn(leftOf(x)), fn(rightOf(x)));
    };
    switch (p.drvStyle) {
        case kHardClip:
            run([](StereoLanes& x, Lanes) {
                const StereoLanes one = StereoLanes{} + 1.0f;
                x = x < -one ? -one : (x > one ? one : x);
            });
            break;
        case kFold:
            run([&](StereoLanes& x, Lanes) { perChannel(x, [](Lanes c) { return fold(c); }); });
            break;
        case kRectify:
            run([&](StereoLanes& x, Lanes) { perChannel(x, [](Lanes c) { return abs(c); }); });
            break;
        case kSineFold:
            run([&](StereoLanes& x, Lanes) {
                perChannel(x, [](Lanes c) { return sineFold(c); });
            });
            break;
        case kCrushStyle:
            run([&](StereoLanes& x, Lanes amount) {
                perChannel(x, [amount](Lanes c) { return crushShape(c, amount); });
            });
            break;
        case kSoftClip:
        default: run([](StereoLanes& x, Lanes) { tanhInPlace(x); }); break;
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

NORVALE_HOT_PATH
void Engine::stageCrush(Lanes* left, Lanes* right, const Lanes* values, uint32_t n,
                        Lanes* levels) {
    const EngineParams& p = params_;
    const float coef = smoothCoef_[kCrs];
    const float reduction =
        p.crsBits < 2 ? 14.0f : (p.crsBits > 16 ? 0.0f : static_cast<float>(16 - p.crsBits));
    const float downMinusOne = static_cast<float>(std::clamp(p.crsDown, 1, 32) - 1);
    // Locals, not params_ reads: the stores to left/right might alias params_.
    const float crushAmount = p.crsAmount, mix = p.crsMix;
    Lanes level = gather(&BandState::crushLevel);
    Lanes phase = gather(&BandState::crushPhase);
    Lanes holdL{}, holdR{};
    for (int b = 0; b < kBandCount; ++b) {
        holdL[b] = bands_[b].crushHold[0];
        holdR[b] = bands_[b].crushHold[1];
    }
    StereoLanes hold;
    join(hold, holdL, holdR);

    for (uint32_t i = 0; i < n; ++i) {
        level += (clamp(crushAmount * values[i], splat(0.0f), splat(1.0f)) - level) * coef;
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
        StereoLanes x, qBoth;
        StereoMask capture, apply;
        join(x, left[i], right[i]);
        join(qBoth, q, q);
        join(capture, active & wrap, active & wrap);
        join(apply, active & (q > 1.0f), active & (q > 1.0f));
        hold = capture ? x : hold;

        StereoLanes y = hold * qBoth;
        nearestInPlace(y);
        y /= qBoth;
        x = apply ? x + (y - x) * mix : x;
        left[i] = leftOf(x);
        right[i] = rightOf(x);
    }
    holdL = leftOf(hold);
    holdR = rightOf(hold);
    scatter(&BandState::crushLevel, level);
    scatter(&BandState::crushPhase, phase);
    for (int b = 0; b < kBandCount; ++b) {
        if (!p.bandOn[b]) continue;
        bands_[b].crushHold[0] = holdL[b];
        bands_[b].crushHold[1] = holdR[b];
    }
}

// A look-back, not an echo: the read head sits timeDelay samples behind the
// write head and glides there when the curve jumps. The glide runs on all
// bands at once; each band then reads its own ring.
NORVALE_HOT_PATH
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

    // The three bands' rings are read side by side. A band that passes gets a
    // one-sample stand-in ring, so the loop needs no per-band branch.
    float spare[2][kBandCount] = {};
    float* ringL[kBandCount];
    float* ringR[kBandCount];
    LaneMask length = {1, 1, 1, 1}, write{}, took{};
    Lanes longest{};
    for (int b = 0; b < kBandCount; ++b) {
        BandState& s = bands_[b];
        if (params_.bandOn[b] && s.lookLength >= 1) {
            ringL[b] = s.lookBack[0].get();
            ringR[b] = s.lookBack[1].get();
            length[b] = s.lookLength;
            write[b] = s.writePos;
            longest[b] = static_cast<float>(s.lookLength - 2);
            took[b] = -1;
        } else {
            ringL[b] = &spare[0][b];
            ringR[b] = &spare[1][b];
        }
    }
    for (uint32_t i = 0; i < n; ++i) {
        // Position write - d, split into whole samples and a fraction.
        const Lanes d = min(distance[i], longest);
        const LaneMask whole = truncToInt(d);
        const Lanes part = d - toFloat(whole);
        const LaneMask between = part > 0.0f;
        LaneMask i0 = write - whole + between;  // one further back when between
        const Lanes f = select(between, 1.0f - part, splat(0.0f));
        i0 += length & (i0 < 0);
        LaneMask i1 = i0 + 1;
        i1 &= i1 < length;
        // Built whole from scalars: lane stores followed by a vector load
        // would stall on store forwarding.
        auto tap = [&](int b, const Lanes* in, float* const* ring, float& at0, float& at1)
                       __attribute__((always_inline)) {
            ring[b][write[b]] = in[i][b];
            at0 = ring[b][i0[b]];
            at1 = ring[b][i1[b]];
        };
        float a0, a1, b0, b1, c0, c1;
        tap(0, left, ringL, a0, a1);
        tap(1, left, ringL, b0, b1);
        tap(2, left, ringL, c0, c1);
        const Lanes l0 = {a0, b0, c0, 0.0f}, l1 = {a1, b1, c1, 0.0f};
        tap(0, right, ringR, a0, a1);
        tap(1, right, ringR, b0, b1);
        tap(2, right, ringR, c0, c1);
        const Lanes r0 = {a0, b0, c0, 0.0f}, r1 = {a1, b1, c1, 0.0f};
        left[i] = select(took, l0 + (l1 - l0) * f, left[i]);
        right[i] = select(took, r0 + (r1 - r0) * f, right[i]);
        write += 1;
        write &= write < length;
    }
    for (int b = 0; b < kBandCount; ++b)
        if (took[b]) bands_[b].writePos = write[b];
}

NORVALE_HOT_PATH
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

NORVALE_HOT_PATH
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

// After the stages: a function built in several copies must be defined
// before its first call.
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

}  // namespace norvale
