// Four floats worked on together: the stages run the three bands of one
// channel side by side (the fourth lane is spare), and the crossover runs four
// of its sections at once. Every operation is the same IEEE arithmetic per
// lane as its scalar form; branches become per-lane selects.
#pragma once

#include <cstdint>

// The loops that carry the audio are built twice, for x86-64-v3 (AVX2, FMA)
// and for the baseline; the loader picks the copy the machine can run. Needs
// ifunc, so only on x86-64 ELF systems. Clang 14 builds wrong copies of member
// functions called across files, so it gets one plain copy. A macro because
// an attribute cannot be named any other way.
#if defined(__x86_64__) && defined(__ELF__) && !defined(__clang__)
#define NORVALE_HOT_PATH __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define NORVALE_HOT_PATH
#endif

namespace norvale {

using Lanes = float __attribute__((vector_size(16)));
using LaneMask = int32_t __attribute__((vector_size(16))); // all ones or all zeros per lane

inline Lanes splat(float x) {
    return Lanes{x, x, x, x};
}

inline Lanes select(LaneMask m, Lanes a, Lanes b) {
    return reinterpret_cast<Lanes>((reinterpret_cast<LaneMask>(a) & m) |
                                   (reinterpret_cast<LaneMask>(b) & ~m));
}

inline Lanes abs(Lanes x) {
    return reinterpret_cast<Lanes>(reinterpret_cast<LaneMask>(x) & 0x7fffffff);
}
inline Lanes min(Lanes a, Lanes b) {
    return select(b < a, b, a);
}
inline Lanes max(Lanes a, Lanes b) {
    return select(a < b, b, a);
}

// Clamp that turns NaN into lo.
inline Lanes clamp(Lanes x, Lanes lo, Lanes hi) {
    return select(x > hi, hi, select(x >= lo, x, lo));
}

inline LaneMask truncToInt(Lanes x) {
    return __builtin_convertvector(x, LaneMask);
}
inline Lanes toFloat(LaneMask x) {
    return __builtin_convertvector(x, Lanes);
}

// Both channels of the bands side by side: left in lanes 0-3, right in 4-7.
// Only ever passed by reference: by value it would need a different calling
// convention in the copies built with and without AVX.
using StereoLanes = float __attribute__((vector_size(32)));
using StereoMask = int32_t __attribute__((vector_size(32)));

inline void join(StereoLanes& out, Lanes left, Lanes right) {
    out = __builtin_shufflevector(left, right, 0, 1, 2, 3, 4, 5, 6, 7);
}
inline void join(StereoMask& out, LaneMask left, LaneMask right) {
    out = __builtin_shufflevector(left, right, 0, 1, 2, 3, 4, 5, 6, 7);
}
inline Lanes leftOf(const StereoLanes& x) {
    return __builtin_shufflevector(x, x, 0, 1, 2, 3);
}
inline Lanes rightOf(const StereoLanes& x) {
    return __builtin_shufflevector(x, x, 4, 5, 6, 7);
}

// tanh as an odd rational of degree 13/6, within 4e-7 of the exact value over
// the whole float range; tiny inputs (and NaN) pass unchanged. In place, for
// Lanes and StereoLanes alike.
template <typename V>
inline void tanhInPlace(V& x) {
    using Mask = decltype(x < x);
    const V limit = V{} + 7.90531110763549805f; // beyond this the fit rounds to +-1
    const V xc = x > limit ? limit : (x < -limit ? -limit : x);
    const V x2 = xc * xc;
    V p = V{} - 2.76076847742355e-16f;
    p = p * x2 + 2.00018790482477e-13f;
    p = p * x2 - 8.60467152213735e-11f;
    p = p * x2 + 5.12229709037114e-08f;
    p = p * x2 + 1.48572235717979e-05f;
    p = p * x2 + 6.37261928875436e-04f;
    p = p * x2 + 4.89352455891786e-03f;
    V q = V{} + 1.19825839466702e-06f;
    q = q * x2 + 1.18534705686654e-04f;
    q = q * x2 + 2.26843463243900e-03f;
    q = q * x2 + 4.89352518554385e-03f;
    const V ax = reinterpret_cast<V>(reinterpret_cast<Mask>(x) & 0x7fffffff);
    x = ax < 0.0004f ? x : xc * p / q;
}

// 2^x to about one float ulp for -126 <= x <= 127 (below gives 2^-126, above
// 2^127, NaN 2^-126); whole x are exact. In place, for Lanes and StereoLanes
// alike.
template <typename V>
inline void exp2InPlace(V& x) {
    using Mask = decltype(x < x);
    const V lo = V{} - 126.0f, hi = V{} + 127.0f;
    x = x > hi ? hi : (x >= lo ? x : lo);
    const Mask k = __builtin_convertvector(x + 127.5f, Mask) - 127; // nearest: x + 127.5 > 0
    const V f = x - __builtin_convertvector(k, V);                  // -0.5 .. 0.5
    // Taylor series of e^(f ln 2); the first term left out is below 6e-9.
    V p = V{} + 1.5252734e-5f;
    p = p * f + 1.5403530e-4f;
    p = p * f + 1.3333558e-3f;
    p = p * f + 9.6181291e-3f;
    p = p * f + 5.5504109e-2f;
    p = p * f + 2.4022651e-1f;
    p = p * f + 6.9314718e-1f;
    p = p * f + 1.0f;
    x = p * reinterpret_cast<V>((k + 127) << 23);
}

inline Lanes exp2Lanes(Lanes x) {
    exp2InPlace(x);
    return x;
}

// Nearest integer, halves away from zero. Floats of 2^23 and more are already
// whole; NaN passes. In place, for Lanes and StereoLanes alike.
template <typename V>
inline void nearestInPlace(V& y) {
    using Mask = decltype(y < y);
    const V zero{};
    const Mask small = reinterpret_cast<V>(reinterpret_cast<Mask>(y) & 0x7fffffff) < 8388608.0f;
    const V ys = small ? y : zero;
    V t = __builtin_convertvector(__builtin_convertvector(ys, Mask), V);
    const V away = ys < 0.0f ? zero - 1.0f : zero + 1.0f;
    const V off = ys - t;
    const V aoff = reinterpret_cast<V>(reinterpret_cast<Mask>(off) & 0x7fffffff);
    t += aoff >= 0.5f ? away : zero;
    y = small ? t : y;
}

inline Lanes nearestLanes(Lanes y) {
    nearestInPlace(y);
    return y;
}

} // namespace norvale
