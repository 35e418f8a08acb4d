// Four floats worked on together: the stages run the three bands of one
// channel side by side (the fourth lane is spare), and the crossover runs four
// of its sections at once. Every operation is the same IEEE arithmetic per
// lane as its scalar form; branches become per-lane selects.
#pragma once

#include <cstdint>

namespace norvale {

using Lanes = float __attribute__((vector_size(16)));
using LaneMask = int32_t __attribute__((vector_size(16)));  // all ones or all zeros per lane

inline Lanes splat(float x) { return Lanes{x, x, x, x}; }

inline Lanes select(LaneMask m, Lanes a, Lanes b) {
    return reinterpret_cast<Lanes>((reinterpret_cast<LaneMask>(a) & m) |
                                   (reinterpret_cast<LaneMask>(b) & ~m));
}

inline Lanes abs(Lanes x) {
    return reinterpret_cast<Lanes>(reinterpret_cast<LaneMask>(x) & 0x7fffffff);
}
inline Lanes min(Lanes a, Lanes b) { return select(b < a, b, a); }
inline Lanes max(Lanes a, Lanes b) { return select(a < b, b, a); }

// Clamp that turns NaN into lo.
inline Lanes clamp(Lanes x, Lanes lo, Lanes hi) {
    return select(x > hi, hi, select(x >= lo, x, lo));
}

inline LaneMask truncToInt(Lanes x) { return __builtin_convertvector(x, LaneMask); }
inline Lanes toFloat(LaneMask x) { return __builtin_convertvector(x, Lanes); }

// tanh as an odd rational of degree 13/6, within 4e-7 of the exact value over
// the whole float range; tiny inputs (and NaN) pass unchanged.
inline Lanes tanhLanes(Lanes x) {
    const Lanes limit = splat(7.90531110763549805f);  // beyond this the fit rounds to +-1
    const Lanes xc = select(x > limit, limit, select(x < -limit, -limit, x));
    const Lanes x2 = xc * xc;
    Lanes p = splat(-2.76076847742355e-16f);
    p = p * x2 + 2.00018790482477e-13f;
    p = p * x2 - 8.60467152213735e-11f;
    p = p * x2 + 5.12229709037114e-08f;
    p = p * x2 + 1.48572235717979e-05f;
    p = p * x2 + 6.37261928875436e-04f;
    p = p * x2 + 4.89352455891786e-03f;
    Lanes q = splat(1.19825839466702e-06f);
    q = q * x2 + 1.18534705686654e-04f;
    q = q * x2 + 2.26843463243900e-03f;
    q = q * x2 + 4.89352518554385e-03f;
    return select(abs(x) < 0.0004f, x, xc * p / q);
}

// 2^x to about one float ulp for -126 <= x <= 127 (below gives 2^-126, above
// 2^127, NaN 2^-126); whole x are exact.
inline Lanes exp2Lanes(Lanes x) {
    x = clamp(x, splat(-126.0f), splat(127.0f));
    const LaneMask k = truncToInt(x + 127.5f) - 127;  // nearest: x + 127.5 > 0
    const Lanes f = x - toFloat(k);                   // -0.5 .. 0.5
    // Taylor series of e^(f ln 2); the first term left out is below 6e-9.
    Lanes p = splat(1.5252734e-5f);
    p = p * f + 1.5403530e-4f;
    p = p * f + 1.3333558e-3f;
    p = p * f + 9.6181291e-3f;
    p = p * f + 5.5504109e-2f;
    p = p * f + 2.4022651e-1f;
    p = p * f + 6.9314718e-1f;
    p = p * f + 1.0f;
    return p * reinterpret_cast<Lanes>((k + 127) << 23);
}

// Nearest integer, halves away from zero. Floats of 2^23 and more are already
// whole; NaN passes.
inline Lanes nearestLanes(Lanes y) {
    const LaneMask small = abs(y) < 8388608.0f;
    const Lanes ys = select(small, y, splat(0.0f));
    Lanes t = toFloat(truncToInt(ys));
    const Lanes away = select(ys < 0.0f, splat(-1.0f), splat(1.0f));
    t += select(abs(ys - t) >= 0.5f, away, splat(0.0f));
    return select(small, t, y);
}

}  // namespace norvale
