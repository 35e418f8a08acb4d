#include "dsp/stages.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

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

// Triangle fold: the input reflects off +-1. The remainder of v + 1 by 4 is
// (v + 1) - 4*trunc((v + 1)/4): dividing by 4 and multiplying back are exact,
// and the true remainder is a float, so the subtraction is exact too; the
// result is fmod's to the bit. From 2^23 up every float is whole already.
void foldInPlace(StereoLanes& x) {
    // The input is a product; fused with the + 1 it would round once where
    // the plain fold rounds twice. An empty asm keeps them apart.
    Lanes left = leftOf(x), right = rightOf(x);
    asm("" : "+x"(left), "+x"(right));
    join(x, left, right);
    const StereoLanes f = x + 1.0f;
    const StereoLanes quarter = f * 0.25f;
    const StereoMask small = reinterpret_cast<StereoLanes>(reinterpret_cast<StereoMask>(quarter) &
                                                           0x7fffffff) < 8388608.0f;
    const StereoLanes whole =
        small ? __builtin_convertvector(__builtin_convertvector(quarter, StereoMask), StereoLanes)
              : quarter;
    StereoLanes y = f - whole * 4.0f;
    y = y < 0.0f ? y + 4.0f : y;
    y = y > 2.0f ? 4.0f - y : y;
    x = y - 1.0f;
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

// Whether a smoothed value s, whose next step would give `next`, stays put
// for the whole sub-block: the curve is flat there and the step changes
// nothing in any band. The stage may then run with constant settings, which
// is exactly what its sample loop would compute. Lane 3 is spare.
bool atRest(const StageBlock& b, Lanes s, Lanes next) {
    const LaneMask same = (s == next) & (b.values[0] == b.values[b.n - 1]);
    return same[0] && same[1] && same[2];
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
    if (atRest(b, s, s + (b.values[0] * b.values[0] - s) * b.coef)) {
        const Lanes gain = s * trim;
        for (uint32_t i = 0; i < b.n; ++i) {
            b.left[i] *= gain;
            b.right[i] *= gain;
            if (b.levels) b.levels[i] = s;
        }
        level = select(b.bandOn, s, level);
        return;
    }
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
    applied = {};
    k = splat(2.0f);
    a1 = a2 = a3 = Lanes{};
}

void FilterStage::update(Lanes value, uint32_t n, float coef, float cutoff, int32_t depth,
                         float res, double sampleRate) {
    // A sub-block's worth of one-pole steps at once.
    if (coef != stepFor.coef || n != stepFor.n) {
        stepFor = {coef, n, 1.0f - std::pow(1.0f - coef, static_cast<float>(n))};
    }
    const float step = stepFor.step;
    const float damping = std::clamp(2.0f - 1.98f * res, 0.02f, 2.0f);
    const Settings settings = {cutoff, damping, depth, sampleRate};
    const bool sameSettings = settings == applied;
    applied = settings;
    for (int b = 0; b < kBandCount; ++b) {
        // A copy: a vector lane can't be bound to a reference everywhere.
        float s = level[b];
        s = s < 0.0f ? value[b] : s + (value[b] - s) * step;
        // A level that stays (a flat curve, the smoothing at rest) keeps its
        // coefficients.
        const bool same = sameSettings && s == level[b];
        level[b] = s;
        if (same) continue;
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

    // The settings of one sample: moving with the smoothed amount, or held
    // while it rests.
    auto moving = [&](uint32_t i, Lanes & pre, Lanes & makeUp) __attribute__((always_inline)) {
        const Lanes target = clamp(drive * b.values[i], splat(0.0f), splat(1.0f));
        s = select(s < 0.0f, target, s + (target - s) * b.coef);
        pre = input * exp2Lanes(s * kDriveOctaves);
        makeUp = output / (1.0f + 2.5f * s); // louder drive, lower level
    };
    const Lanes firstTarget = clamp(drive * b.values[0], splat(0.0f), splat(1.0f));
    const bool resting =
        atRest(b, s, select(s < 0.0f, firstTarget, s + (firstTarget - s) * b.coef));
    const Lanes restPre = input * exp2Lanes(s * kDriveOctaves);
    const Lanes restMakeUp = output / (1.0f + 2.5f * s);
    auto held = [&](uint32_t, Lanes & pre, Lanes & makeUp) __attribute__((always_inline)) {
        pre = restPre;
        makeUp = restMakeUp;
    };

    // One loop per style and settings, so the shaper is inlined into it;
    // forced inline so each CPU's copy of this function gets its own loops.
    auto loopWith = [&](auto settings, auto shaper) __attribute__((always_inline)) {
        for (uint32_t i = 0; i < b.n; ++i) {
            Lanes pre, makeUp;
            settings(i, pre, makeUp);
            if (b.levels) b.levels[i] = s;
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
    auto loop = [&](auto shaper) __attribute__((always_inline)) {
        if (resting)
            loopWith(held, shaper);
        else
            loopWith(moving, shaper);
    };
    switch (style) {
    case kSoftClip: loop([](StereoLanes& x, Lanes) { tanhInPlace(x); }); break;
    case kHardClip:
        loop([](StereoLanes& x, Lanes) {
            const StereoLanes one = StereoLanes{} + 1.0f;
            x = x < -one ? -one : (x > one ? one : x);
        });
        break;
    case kFold: loop([](StereoLanes& x, Lanes) { foldInPlace(x); }); break;
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
    const bool playing = songSample >= 0.0;
    Lanes s = select(level < 0.0f, clamp(amount * b.values[0], splat(0.0f), splat(1.0f)), level);
    Lanes p = phase;
    StereoLanes h = hold;
    // What the smoothed amount sets: which bands work, the levels and the
    // phase step (stopped only). Worked out once while the amount rests.
    struct Settings {
        LaneMask active;
        Lanes q, length, step;
    };
    auto settingsOf = [&](Lanes smoothed) __attribute__((always_inline)) {
        // Bands whose amount is (nearly) zero pass and keep their hold.
        const Lanes amount = min(smoothed, splat(1.0f));
        const Lanes length = 1.0f + amount * downMinusOne;
        return Settings{smoothed > 0.0001f, exp2Lanes(16.0f - reduction * amount) - 1.0f, length,
                        playing ? Lanes{} : 1.0f / length};
    };
    const bool resting =
        atRest(b, s, s + (clamp(amount * b.values[0], splat(0.0f), splat(1.0f)) - s) * b.coef);
    const Settings rest = settingsOf(s);
    // Playing: each band's place in its hold, kept from sample to sample so
    // that only a hold length that changed needs a division; the phase
    // (into / whole of the last active sample) is worked out at the end.
    const auto songStart = playing ? static_cast<int64_t>(songSample) : 0;
    const LaneMask bands = {-1, -1, -1, 0};
    LaneMask whole = {}, into = {}, lastInto = {}, lastWhole = {1, 1, 1, 1}, moved = {};
    // The levelled hold stays until the hold or the levels change.
    StereoLanes crushed{};
    bool crushedStale = true;
    for (uint32_t i = 0; i < b.n; ++i) {
        if (!resting) s += (clamp(amount * b.values[i], splat(0.0f), splat(1.0f)) - s) * b.coef;
        if (b.levels) b.levels[i] = s;
        const Settings set = resting ? rest : settingsOf(s);
        const LaneMask active = set.active;
        const Lanes q = set.q;

        // The hold grows smoothly from one sample to `down` samples.
        LaneMask wrap;
        if (playing) {
            // A hold starts wherever the song position is a multiple of the
            // hold length, in whole samples; a length that moves by a hair
            // with the host's block size then moves no hold.
            const LaneMask length = truncToInt(set.length + 0.5f);
            into += 1;
            into = (into == whole) ? LaneMask{} : into;
            const LaneMask changed = (length != whole) | (i == 0 ? LaneMask{} - 1 : LaneMask{});
            for (int band = 0; band < kBandCount; ++band)
                if (changed[band])
                    into[band] = static_cast<int32_t>((songStart + i) % length[band]);
            whole = length;
            wrap = (into == 0) & bands;
            const LaneMask took = active & bands;
            lastInto = (into & took) | (lastInto & ~took);
            lastWhole = (whole & took) | (lastWhole & ~took);
            moved |= took;
        } else {
            // Stopped: the phase runs on by a step a sample. It is at most 1
            // (its value after a reset) and a step at most 1, so the whole
            // part to drop is 1, or 2 at the very top.
            Lanes next = p + set.step;
            wrap = next >= 1.0f;
            next = select(wrap, next - select(next >= 2.0f, splat(2.0f), splat(1.0f)), next);
            p = select(active, next, p);
        }
        StereoLanes x, qBoth;
        StereoMask capture, apply;
        const LaneMask captured = active & wrap;
        join(x, b.left[i], b.right[i]);
        join(qBoth, q, q);
        join(capture, captured, captured);
        join(apply, active & (q > 1.0f), active & (q > 1.0f));
        h = capture ? x : h;

        if (crushedStale || !resting || captured[0] || captured[1] || captured[2]) {
            crushed = h * qBoth;
            nearestInPlace(crushed);
            crushed /= qBoth;
            crushedStale = false;
        }
        x = apply ? x + (crushed - x) * mix : x;
        b.left[i] = leftOf(x);
        b.right[i] = rightOf(x);
    }
    if (playing) p = select(moved, toFloat(lastInto) / toFloat(lastWhole), p);
    StereoMask on;
    join(on, b.bandOn, b.bandOn);
    level = select(b.bandOn, s, level);
    phase = select(b.bandOn, p, phase);
    hold = on ? h : hold;
}

// ---- time ----

void TimeStage::prepare(double sampleRate) {
    // Two seconds at this rate plus room for the interpolation.
    const auto needed = static_cast<int32_t>(std::ceil(2.0 * sampleRate) + 64.0);
    int32_t wanted = 1;
    while (wanted < needed)
        wanted *= 2;
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

    // A band that is off gets a one-pair stand-in ring, so the loop needs no
    // per-band branch.
    float spare[kBandCount][2] = {};
    float* ring[kBandCount];
    LaneMask wrap{}, at{};
    Lanes longest{};
    for (int band = 0; band < kBandCount; ++band) {
        if (b.bandOn[band]) {
            ring[band] = rings.get() + static_cast<size_t>(length) * 2 * band;
            wrap[band] = length - 1;
            at[band] = write[band];
            longest[band] = static_cast<float>(length - 2);
        } else {
            ring[band] = spare[band];
        }
    }
    for (uint32_t i = 0; i < b.n; ++i) {
        // Position at - distance, split into whole samples and a fraction.
        const Lanes dist = min(distance[i], longest);
        const LaneMask whole = truncToInt(dist);
        const Lanes part = dist - toFloat(whole);
        const LaneMask between = part > 0.0f;
        const LaneMask i0 = (at - whole + between) & wrap; // one further back when between
        const LaneMask i1 = (i0 + 1) & wrap;
        const Lanes f = select(between, 1.0f - part, splat(0.0f));

        // Each band's pair goes in and two pairs come out, eight bytes at a
        // time, so a read right behind the write is forwarded from it. A pair
        // travels as one double, which keeps it in a register.
        using Pairs = double __attribute__((vector_size(16)));
        const auto in01 =
            reinterpret_cast<Pairs>(__builtin_shufflevector(b.left[i], b.right[i], 0, 4, 1, 5));
        const auto in2 =
            reinterpret_cast<Pairs>(__builtin_shufflevector(b.left[i], b.right[i], 2, 6, 2, 6));
        auto put = [](float* at, double pair) { std::memcpy(at, &pair, sizeof pair); };
        auto get = [](const float* at) {
            double pair;
            std::memcpy(&pair, at, sizeof pair);
            return pair;
        };
        put(ring[0] + 2 * at[0], in01[0]);
        put(ring[1] + 2 * at[1], in01[1]);
        put(ring[2] + 2 * at[2], in2[0]);
        const auto a01 =
            reinterpret_cast<Lanes>(Pairs{get(ring[0] + 2 * i0[0]), get(ring[1] + 2 * i0[1])});
        const auto b01 =
            reinterpret_cast<Lanes>(Pairs{get(ring[0] + 2 * i1[0]), get(ring[1] + 2 * i1[1])});
        const auto a2 = reinterpret_cast<Lanes>(Pairs{get(ring[2] + 2 * i0[2]), 0.0});
        const auto b2 = reinterpret_cast<Lanes>(Pairs{get(ring[2] + 2 * i1[2]), 0.0});
        const Lanes y01 = a01 + (b01 - a01) * __builtin_shufflevector(f, f, 0, 0, 1, 1);
        const Lanes y2 = a2 + (b2 - a2) * __builtin_shufflevector(f, f, 2, 2, 2, 2);
        const Lanes outL = __builtin_shufflevector(y01, y2, 0, 2, 4, 4);
        const Lanes outR = __builtin_shufflevector(y01, y2, 1, 3, 5, 5);
        b.left[i] = select(b.bandOn, outL, b.left[i]);
        b.right[i] = select(b.bandOn, outR, b.right[i]);
        at = (at + 1) & wrap;
    }
    write = (at & b.bandOn) | (write & ~b.bandOn);
}

// ---- pan and width ----

NORVALE_HOT_PATH
void PanStage::run(const StageBlock& b) {
    Lanes s = select(pos < 0.0f, clamp(b.values[0], splat(0.0f), splat(1.0f)), pos);
    const bool resting =
        atRest(b, s, s + (clamp(b.values[0], splat(0.0f), splat(1.0f)) - s) * b.coef);
    for (uint32_t i = 0; i < b.n; ++i) {
        if (!resting) s += (clamp(b.values[i], splat(0.0f), splat(1.0f)) - s) * b.coef;
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
    const bool resting =
        atRest(b, s, s + (clamp(2.0f * b.values[0], splat(0.0f), splat(2.0f)) - s) * b.coef);
    for (uint32_t i = 0; i < b.n; ++i) {
        if (!resting) s += (clamp(2.0f * b.values[i], splat(0.0f), splat(2.0f)) - s) * b.coef;
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
    // Lowpass in the even lanes, highpass in the odd ones: a blend by constant.
    const Lanes hp = x - k * bp - lp;
    return __builtin_shufflevector(lp, hp, 0, 5, 2, 7);
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
    }
    lowPhase_.setCoefficients(prewarp(hi, sampleRate), kButterworthK);
}

namespace {

// Two groups of four sections side by side, each lane the same arithmetic
// as SvfLanes::tick.
struct SvfPair {
    StereoLanes ic1, ic2, k, a1, a2, a3;

    SvfPair(const SvfLanes& low, const SvfLanes& high) {
        join(ic1, low.ic1, high.ic1);
        join(ic2, low.ic2, high.ic2);
        join(k, low.k, high.k);
        join(a1, low.a1, high.a1);
        join(a2, low.a2, high.a2);
        join(a3, low.a3, high.a3);
    }
    void split(SvfLanes& low, SvfLanes& high) const {
        low.ic1 = leftOf(ic1), high.ic1 = rightOf(ic1);
        low.ic2 = leftOf(ic2), high.ic2 = rightOf(ic2);
    }
    __attribute__((always_inline)) void tick(StereoLanes& x) {
        const StereoLanes d = x - ic2;
        const StereoLanes bp = a1 * ic1 + a2 * d;
        const StereoLanes lp = ic2 + a2 * ic1 + a3 * d;
        ic1 = 2.0f * bp - ic1;
        ic2 = 2.0f * lp - ic2;
        const StereoLanes hp = x - k * bp - lp;
        x = __builtin_shufflevector(lp, hp, 0, 9, 2, 11, 4, 13, 6, 15);
    }
};

} // namespace

NORVALE_HOT_PATH
void Crossover::run(const float* left, const float* right, uint32_t n, Lanes* bandL, Lanes* bandR) {
    assert(n <= kSplitChunk);
    Lanes lowAbove[kSplitChunk];
    auto input = [&](uint32_t i) __attribute__((always_inline)) {
        return Lanes{left[i], left[i], right[i], right[i]};
    };
    auto above = [&](uint32_t i) __attribute__((always_inline)) {
        const Lanes la = lowAbove[i];
        return Lanes{la[1], la[1], la[3], la[3]};
    };
    SvfLanes lowPhase = lowPhase_;
    auto output = [&](uint32_t i, Lanes midHigh) __attribute__((always_inline)) {
        // The fourth-order Linkwitz-Riley pair sums to the second-order
        // allpass x - 2k*bp of one section.
        const Lanes la = lowAbove[i];
        const Lanes low = {la[0], 0.0f, la[2], 0.0f};
        const Lanes lowAligned = low - 2.0f * lowPhase.k * lowPhase.bandpass(low);
        bandL[i] = Lanes{lowAligned[0], midHigh[0], midHigh[1], 0.0f};
        bandR[i] = Lanes{lowAligned[2], midHigh[2], midHigh[3], 0.0f};
    };

    // The high split trails the low one by kLag samples, and the two run in
    // the same eight lanes: the sample the low split works on does not wait
    // for the high split of the one before. Each section still sees its
    // samples in order, so the result is the plain cascade's.
    constexpr uint32_t kLag = 8;
    const uint32_t lead = std::min(n, kLag);
    for (uint32_t i = 0; i < lead; ++i)
        lowAbove[i] = split_[1].tick(split_[0].tick(input(i)));
    if (n > lead) {
        SvfPair first(split_[0], split_[2]), second(split_[1], split_[3]);
        for (uint32_t i = lead; i < n; ++i) {
            StereoLanes x;
            join(x, input(i), above(i - kLag));
            first.tick(x);
            second.tick(x);
            lowAbove[i] = leftOf(x);
            output(i - kLag, rightOf(x));
        }
        first.split(split_[0], split_[2]);
        second.split(split_[1], split_[3]);
    }
    for (uint32_t i = n - lead; i < n; ++i)
        output(i, split_[3].tick(split_[2].tick(above(i))));
    lowPhase_ = lowPhase;
}

} // namespace norvale
