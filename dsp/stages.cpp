#include "dsp/stages.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace norvale {

namespace {

// 10^(24 dB * s / 20) == 2^(s * kDriveOctaves): up to +24 dB of drive.
constexpr float kDriveOctaves = 3.98631371f;
constexpr float kHalfPi = 1.5707963f;
// Butterworth damping of each of the crossover's two cascaded sections.
constexpr float kButterworthK = 1.414415f;

float prewarp(double hz, double sampleRate) {
    const double w = std::clamp(hz / sampleRate, 1e-5, 0.49);
    return static_cast<float>(std::tan(kPi * w));
}

template <typename Fn>
Lanes perLane(Lanes x, Fn fn) {
    for (int lane = 0; lane < 4; ++lane)
        x[lane] = fn(x[lane]);
    return x;
}

// Triangle fold: the input reflects off +-1.
Lanes fold(Lanes x) {
    return perLane(x, [](float v) {
        float y = std::fmod(v + 1.0f, 4.0f);
        if (y < 0.0f) y += 4.0f;
        if (y > 2.0f) y = 4.0f - y;
        return y - 1.0f;
    });
}

Lanes sineFold(Lanes x) {
    return perLane(x, [](float v) { return std::sin(v * kHalfPi); });
}

// The drive amount (0..1) sets 16 down to 2 bits.
Lanes crushShape(Lanes x, Lanes amount) {
    const Lanes q = exp2Lanes(16.0f - 14.0f * amount) - 1.0f;
    return nearestLanes(x * q) / q;
}

// Shapers without a StereoLanes form take each channel in turn.
template <typename Fn>
void perChannel(StereoLanes& x, Fn fn) {
    join(x, fn(leftOf(x)), fn(rightOf(x)));
}

} // namespace

float onePoleCoef(double hz, double sampleRate) {
    const double w = std::clamp(hz / sampleRate, 1e-5, 0.49);
    return static_cast<float>(1.0 - std::exp(-2.0 * kPi * w));
}

float smootherCoef(float smooth, double sampleRate) {
    assert(smooth >= 0.0f && smooth <= 1.0f);
    const double seconds = 0.0003 + 0.03 * static_cast<double>(smooth);
    return static_cast<float>(std::max(0.0, 1.0 - std::exp(-1.0 / (sampleRate * seconds))));
}

// ---- volume ----

NORVALE_HOT_PATH
void VolumeStage::run(const StageBlock& b, float trim) {
    Lanes s = select(level < 0.0f, b.values[0] * b.values[0], level);
    for (uint32_t i = 0; i < b.n; ++i) {
        s += (b.values[i] * b.values[i] - s) * b.coef;
        const Lanes gain = s * trim;
        b.left[i] *= gain;
        b.right[i] *= gain;
        if (b.levels) b.levels[i] = s;
    }
    level = select(b.bandOn, s, level);
}

// ---- filter ----

void FilterStage::reset() {
    ic1 = ic2 = StereoLanes{};
    level = splat(-1.0f);
    k = splat(2.0f);
    a1 = a2 = a3 = Lanes{};
}

void FilterStage::update(Lanes value, uint32_t n, float coef, float cutoff, int32_t depth,
                         float res, double sampleRate) {
    // A sub-block's worth of one-pole steps at once.
    const float step = 1.0f - std::pow(1.0f - coef, static_cast<float>(n));
    const float damping = std::clamp(2.0f - 1.98f * res, 0.02f, 2.0f);
    for (int b = 0; b < kBandCount; ++b) {
        // A copy: a vector lane can't be bound to a reference everywhere.
        float s = level[b];
        s = s < 0.0f ? value[b] : s + (value[b] - s) * step;
        level[b] = s;
        // The curve's top is the cutoff, its bottom `depth` octaves below.
        const float hz = std::clamp(cutoff * std::exp2(static_cast<float>(depth) * (s - 1.0f)),
                                    20.0f, static_cast<float>(0.45 * sampleRate));
        const float w = std::clamp(static_cast<float>(hz / sampleRate), 1e-5f, 0.49f);
        const float g = std::tan(static_cast<float>(kPi) * w);
        k[b] = damping;
        a1[b] = 1.0f / (1.0f + g * (g + damping));
        a2[b] = g * a1[b];
        a3[b] = g * a2[b];
    }
}

NORVALE_HOT_PATH
void FilterStage::run(const StageBlock& b, const FilterType types[kBandCount], float drive) {
    // Output = input*cx + band*cb + low*cl per band's response, which gives
    // each response exactly (the terms with a zero factor add nothing).
    Lanes cx{}, cb{}, cl{};
    for (int band = 0; band < kBandCount; ++band) {
        switch (types[band]) {
        case kLowpass: cl[band] = 1.0f; break;
        case kHighpass: cx[band] = 1.0f, cb[band] = -k[band], cl[band] = -1.0f; break;
        case kBandpass: cb[band] = k[band]; break; // unity gain at the centre
        case kNotch: cx[band] = 1.0f, cb[band] = -k[band]; break;
        }
    }
    StereoLanes c1 = ic1, c2 = ic2, sa1, sa2, sa3, mixX, mixB, mixL;
    join(sa1, a1, a1);
    join(sa2, a2, a2);
    join(sa3, a3, a3);
    join(mixX, cx, cx);
    join(mixB, cb, cb);
    join(mixL, cl, cl);
    auto loop = [&](auto saturate) __attribute__((always_inline)) {
        for (uint32_t i = 0; i < b.n; ++i) {
            StereoLanes x;
            join(x, b.left[i], b.right[i]);
            saturate(x);
            const StereoLanes d = x - c2;
            const StereoLanes bp = sa1 * c1 + sa2 * d;
            const StereoLanes lp = c2 + sa2 * c1 + sa3 * d;
            c1 = 2.0f * bp - c1;
            c2 = 2.0f * lp - c2;
            const StereoLanes y = x * mixX + bp * mixB + lp * mixL;
            b.left[i] = leftOf(y);
            b.right[i] = rightOf(y);
        }
    };
    if (drive > 0.0f) {
        // Saturation in front of the filter.
        const float gain = 1.0f + 3.0f * drive;
        loop([gain](StereoLanes& x) {
            x *= gain;
            tanhInPlace(x);
            x /= gain;
        });
    } else {
        loop([](StereoLanes&) {});
    }
    StereoMask on;
    join(on, b.bandOn, b.bandOn);
    ic1 = on ? c1 : ic1;
    ic2 = on ? c2 : ic2;
}

// ---- drive ----

void DriveStage::prepare(double sampleRate) {
    toneCoef = onePoleCoef(800.0, sampleRate);
    dcCoef = onePoleCoef(12.0, sampleRate);
}

void DriveStage::reset() {
    level = splat(-1.0f);
    dc = tone = StereoLanes{};
}

NORVALE_HOT_PATH
void DriveStage::run(const StageBlock& b, DriveStyle style, float drive, float input, float output,
                     float toneAmount, float mix) {
    const bool rectify = style == kRectify;
    const float toneDepth = std::fabs(toneAmount);
    const bool towardLowpass = toneAmount > 0.0f;
    const float dcA = dcCoef, toneA = toneCoef;
    Lanes s = level;
    StereoLanes z = dc, t = tone;

    // One loop per style, so the shaper is inlined into it; forced inline so
    // each CPU's copy of this function gets its own loop.
    auto loop = [&](auto shaper) __attribute__((always_inline)) {
        for (uint32_t i = 0; i < b.n; ++i) {
            const Lanes target = clamp(drive * b.values[i], splat(0.0f), splat(1.0f));
            s = select(s < 0.0f, target, s + (target - s) * b.coef);
            if (b.levels) b.levels[i] = s;
            const Lanes pre = input * exp2Lanes(s * kDriveOctaves);
            const Lanes makeUp = output / (1.0f + 2.5f * s); // louder drive, lower level
            StereoLanes x, y, preBoth, makeUpBoth;
            join(x, b.left[i], b.right[i]);
            join(preBoth, pre, pre);
            join(makeUpBoth, makeUp, makeUp);
            y = preBoth * x;
            shaper(y, s);
            if (rectify) {
                z += (y - z) * dcA;
                y -= z;
            }
            y *= makeUpBoth;
            if (toneAmount != 0.0f) {
                t += (y - t) * toneA;
                if (towardLowpass)
                    y += (t - y) * toneDepth;
                else
                    y -= toneDepth * t;
            }
            y = x + (y - x) * mix;
            b.left[i] = leftOf(y);
            b.right[i] = rightOf(y);
        }
    };
    switch (style) {
    case kSoftClip: loop([](StereoLanes& x, Lanes) { tanhInPlace(x); }); break;
    case kHardClip:
        loop([](StereoLanes& x, Lanes) {
            const StereoLanes one = StereoLanes{} + 1.0f;
            x = x < -one ? -one : (x > one ? one : x);
        });
        break;
    case kFold:
        loop([](StereoLanes& x, Lanes) { perChannel(x, [](Lanes c) { return fold(c); }); });
        break;
    case kRectify:
        loop([](StereoLanes& x, Lanes) { perChannel(x, [](Lanes c) { return abs(c); }); });
        break;
    case kSineFold:
        loop([](StereoLanes& x, Lanes) { perChannel(x, [](Lanes c) { return sineFold(c); }); });
        break;
    case kCrushStyle:
        loop([](StereoLanes& x, Lanes amount) {
            perChannel(x, [amount](Lanes c) { return crushShape(c, amount); });
        });
        break;
    }
    StereoMask on;
    join(on, b.bandOn, b.bandOn);
    level = select(b.bandOn, s, level);
    dc = on ? z : dc;
    tone = on ? t : tone;
}

// ---- crush ----

void CrushStage::reset() {
    level = splat(-1.0f);
    phase = splat(1.0f);
    hold = StereoLanes{};
}

NORVALE_HOT_PATH
void CrushStage::run(const StageBlock& b, float amount, int32_t bits, int32_t down, float mix,
                     double songSample) {
    assert(bits >= 2 && bits <= 16 && down >= 1 && down <= 32);
    const auto reduction = static_cast<float>(16 - bits);
    const auto downMinusOne = static_cast<float>(down - 1);
    Lanes s = select(level < 0.0f, clamp(amount * b.values[0], splat(0.0f), splat(1.0f)), level);
    Lanes p = phase;
    StereoLanes h = hold;
    for (uint32_t i = 0; i < b.n; ++i) {
        s += (clamp(amount * b.values[i], splat(0.0f), splat(1.0f)) - s) * b.coef;
        if (b.levels) b.levels[i] = s;
        // Bands whose amount is (nearly) zero pass and keep their hold.
        const LaneMask active = s > 0.0001f;
        const Lanes amount = min(s, splat(1.0f));
        const Lanes q = exp2Lanes(16.0f - reduction * amount) - 1.0f;

        // The hold grows smoothly from one sample to `down` samples.
        const Lanes length = 1.0f + amount * downMinusOne;
        Lanes next;
        LaneMask wrap;
        if (songSample >= 0.0) {
            // Playing: a hold starts wherever the song position is a multiple
            // of the hold length, in whole samples; a length that moves by a
            // hair with the host's block size then moves no hold.
            const auto position = static_cast<int64_t>(songSample) + i;
            for (int band = 0; band < kBandCount; ++band) {
                const auto whole = static_cast<int64_t>(length[band] + 0.5f);
                const int64_t into = position % whole;
                next[band] = static_cast<float>(into) / static_cast<float>(whole);
                wrap[band] = into == 0 ? -1 : 0;
            }
            next[kBandCount] = 0.0f, wrap[kBandCount] = 0;
        } else {
            // Stopped: the phase runs on by a sample a step. It is at most 1
            // (its value after a reset) and a step at most 1, so the whole
            // part to drop is 1, or 2 at the very top.
            next = p + 1.0f / length;
            wrap = next >= 1.0f;
            next = select(wrap, next - select(next >= 2.0f, splat(2.0f), splat(1.0f)), next);
        }
        p = select(active, next, p);
        StereoLanes x, qBoth;
        StereoMask capture, apply;
        join(x, b.left[i], b.right[i]);
        join(qBoth, q, q);
        join(capture, active & wrap, active & wrap);
        join(apply, active & (q > 1.0f), active & (q > 1.0f));
        h = capture ? x : h;

        StereoLanes y = h * qBoth;
        nearestInPlace(y);
        y /= qBoth;
        x = apply ? x + (y - x) * mix : x;
        b.left[i] = leftOf(x);
        b.right[i] = rightOf(x);
    }
    StereoMask on;
    join(on, b.bandOn, b.bandOn);
    level = select(b.bandOn, s, level);
    phase = select(b.bandOn, p, phase);
    hold = on ? h : hold;
}

// ---- time ----

void TimeStage::prepare(double sampleRate) {
    // Two seconds at this rate plus room for the interpolation; never below
    // the length that covers 192 kHz.
    const auto needed = static_cast<int32_t>(std::ceil(2.0 * sampleRate) + 64.0);
    const int32_t wanted = std::max<int32_t>(384064, needed);
    if (wanted != length || !rings) {
        rings.reset(new float[static_cast<size_t>(wanted) * 2 * kBandCount]);
        length = wanted;
    }
}

void TimeStage::reset() {
    curve = delay = splat(-1.0f);
    write = LaneMask{};
    if (rings) std::fill_n(rings.get(), static_cast<size_t>(length) * 2 * kBandCount, 0.0f);
}

NORVALE_HOT_PATH
void TimeStage::run(const StageBlock& b, float range, float stepCoef) {
    const bool smoothing = b.coef < 1.0f;
    Lanes v = select(curve < 0.0f, b.values[0], curve);
    Lanes d = select(delay < 0.0f, (1.0f - v) * range, delay);
    Lanes distance[kSubBlock];
    for (uint32_t i = 0; i < b.n; ++i) {
        v = smoothing ? v + (b.values[i] - v) * b.coef : b.values[i];
        d += ((1.0f - v) * range - d) * stepCoef;
        if (b.levels) b.levels[i] = d;
        distance[i] = clamp(d, splat(0.0f), splat(range));
    }
    curve = select(b.bandOn, v, curve);
    delay = select(b.bandOn, d, delay);
    if (length < 1) return;

    // The three bands' rings are read side by side. A band that is off gets a
    // one-sample stand-in ring, so the loop needs no per-band branch.
    float spare[2][kBandCount] = {};
    float* ringL[kBandCount];
    float* ringR[kBandCount];
    LaneMask size = {1, 1, 1, 1}, at{};
    Lanes longest{};
    for (int band = 0; band < kBandCount; ++band) {
        if (b.bandOn[band]) {
            ringL[band] = rings.get() + static_cast<size_t>(length) * (2 * band);
            ringR[band] = ringL[band] + length;
            size[band] = length;
            at[band] = write[band];
            longest[band] = static_cast<float>(length - 2);
        } else {
            ringL[band] = &spare[0][band];
            ringR[band] = &spare[1][band];
        }
    }
    for (uint32_t i = 0; i < b.n; ++i) {
        // Position at - distance, split into whole samples and a fraction.
        const Lanes dist = min(distance[i], longest);
        const LaneMask whole = truncToInt(dist);
        const Lanes part = dist - toFloat(whole);
        const LaneMask between = part > 0.0f;
        LaneMask i0 = at - whole + between; // one further back when between
        const Lanes f = select(between, 1.0f - part, splat(0.0f));
        i0 += size & (i0 < 0);
        LaneMask i1 = i0 + 1;
        i1 &= i1 < size;
        // Built whole from scalars: lane stores followed by a vector load
        // would stall on store forwarding.
        auto tap = [&](int band, const Lanes* in, float* const* ring, float& at0, float& at1)
            __attribute__((always_inline)) {
            ring[band][at[band]] = in[i][band];
            at0 = ring[band][i0[band]];
            at1 = ring[band][i1[band]];
        };
        float a0, a1, b0, b1, c0, c1;
        tap(0, b.left, ringL, a0, a1);
        tap(1, b.left, ringL, b0, b1);
        tap(2, b.left, ringL, c0, c1);
        const Lanes l0 = {a0, b0, c0, 0.0f}, l1 = {a1, b1, c1, 0.0f};
        tap(0, b.right, ringR, a0, a1);
        tap(1, b.right, ringR, b0, b1);
        tap(2, b.right, ringR, c0, c1);
        const Lanes r0 = {a0, b0, c0, 0.0f}, r1 = {a1, b1, c1, 0.0f};
        b.left[i] = select(b.bandOn, l0 + (l1 - l0) * f, b.left[i]);
        b.right[i] = select(b.bandOn, r0 + (r1 - r0) * f, b.right[i]);
        at += 1;
        at &= at < size;
    }
    write = (at & b.bandOn) | (write & ~b.bandOn);
}

// ---- pan and width ----

NORVALE_HOT_PATH
void PanStage::run(const StageBlock& b) {
    Lanes s = select(pos < 0.0f, clamp(b.values[0], splat(0.0f), splat(1.0f)), pos);
    for (uint32_t i = 0; i < b.n; ++i) {
        s += (clamp(b.values[i], splat(0.0f), splat(1.0f)) - s) * b.coef;
        if (b.levels) b.levels[i] = s;
        // Below the middle the right channel fades, above it the left.
        const LaneMask towardLeft = s < 0.5f;
        b.right[i] = select(towardLeft, b.right[i] * (2.0f * s), b.right[i]);
        b.left[i] = select(towardLeft, b.left[i], b.left[i] * (2.0f * (1.0f - s)));
    }
    pos = select(b.bandOn, s, pos);
}

NORVALE_HOT_PATH
void WidthStage::run(const StageBlock& b) {
    Lanes s = select(level < 0.0f, clamp(2.0f * b.values[0], splat(0.0f), splat(2.0f)), level);
    for (uint32_t i = 0; i < b.n; ++i) {
        s += (clamp(2.0f * b.values[i], splat(0.0f), splat(2.0f)) - s) * b.coef;
        if (b.levels) b.levels[i] = s;
        const Lanes mid = (b.left[i] + b.right[i]) * 0.5f;
        const Lanes side = (b.left[i] - b.right[i]) * 0.5f * s;
        b.left[i] = mid + side;
        b.right[i] = mid - side;
    }
    level = select(b.bandOn, s, level);
}

// ---- band split ----

void SvfLanes::setCoefficients(float g, float damping) {
    k = splat(damping);
    a1 = splat(1.0f / (1.0f + g * (g + damping)));
    a2 = g * a1;
    a3 = g * a2;
}

inline Lanes SvfLanes::bandpass(Lanes x) {
    const Lanes d = x - ic2;
    const Lanes bp = a1 * ic1 + a2 * d;
    const Lanes lp = ic2 + a2 * ic1 + a3 * d;
    ic1 = 2.0f * bp - ic1;
    ic2 = 2.0f * lp - ic2;
    return bp;
}

inline Lanes SvfLanes::tick(Lanes x) {
    const Lanes d = x - ic2;
    const Lanes bp = a1 * ic1 + a2 * d;
    const Lanes lp = ic2 + a2 * ic1 + a3 * d;
    ic1 = 2.0f * bp - ic1;
    ic2 = 2.0f * lp - ic2;
    return select(highpass, x - k * bp - lp, lp);
}

void Crossover::reset() {
    for (SvfLanes& s : split_)
        s.ic1 = s.ic2 = Lanes{};
    lowPhase_.ic1 = lowPhase_.ic2 = Lanes{};
}

void Crossover::update(float splitLow, float splitHigh, double sampleRate) {
    const auto top = static_cast<float>(0.4 * sampleRate);
    float lo = splitLow;
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
    float hi = splitHigh;
    if (!(hi >= minHigh))
        hi = minHigh;
    else
        hi = std::fmin(hi, static_cast<float>(0.45 * sampleRate));

    if (lo == lowApplied_ && hi == highApplied_) return;
    lowApplied_ = lo;
    highApplied_ = hi;
    for (int step = 0; step < 4; ++step) {
        split_[step].setCoefficients(prewarp(step < 2 ? lo : hi, sampleRate), kButterworthK);
        split_[step].highpass = LaneMask{0, -1, 0, -1};
    }
    lowPhase_.setCoefficients(prewarp(hi, sampleRate), kButterworthK);
}

NORVALE_HOT_PATH
void Crossover::run(const float* left, const float* right, uint32_t n, Lanes* bandL, Lanes* bandR) {
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
        const Lanes lowAligned = low - 2.0f * lowPhase.k * lowPhase.bandpass(low);
        bandL[i] = Lanes{lowAligned[0], midHigh[0], midHigh[1], 0.0f};
        bandR[i] = Lanes{lowAligned[2], midHigh[2], midHigh[3], 0.0f};
    }
    split_[0] = firstLow;
    split_[1] = secondLow;
    split_[2] = firstHigh;
    split_[3] = secondHigh;
    lowPhase_ = lowPhase;
}

} // namespace norvale
