// The filter cells the engine is built from: a trapezoidal state-variable
// section (crossover and filter stage) and a one-pole lowpass. The engine
// keeps their state per section and band, and runs them four at a time.
#pragma once

#include <cmath>

#include "dsp/lanes.h"

namespace norvale {

inline constexpr double kPi = 3.14159265358979323846;

struct Svf {
    float ic1 = 0.0f;
    float ic2 = 0.0f;
    float k = 2.0f;
    float a1 = 0.0f;
    float a2 = 0.0f;
    float a3 = 0.0f;

    // g = tan(pi * f / sampleRate); damping k = 1/Q.
    void setCoefficients(float g, float damping) {
        k = damping;
        a1 = 1.0f / (1.0f + g * (g + damping));
        a2 = g * a1;
        a3 = g * a2;
    }
};

// Four Svf sections ticked at once. Lowpass output lp, band output bp,
// highpass x - k*bp - lp.
struct SvfLanes {
    Lanes ic1{}, ic2{}, k{}, a1{}, a2{}, a3{};
    LaneMask highpass{};  // lanes whose tick() gives the highpass, not the lowpass

    struct Out {
        Lanes lp, bp;
    };

    Out step(Lanes x) {
        const Lanes d = x - ic2;
        const Lanes bp = a1 * ic1 + a2 * d;
        const Lanes lp = ic2 + a2 * ic1 + a3 * d;
        ic1 = 2.0f * bp - ic1;
        ic2 = 2.0f * lp - ic2;
        return {lp, bp};
    }

    Lanes tick(Lanes x) {
        const Out o = step(x);
        return select(highpass, x - k * o.bp - o.lp, o.lp);
    }
};

// One step is z += (x - z) * a.
struct OnePole {
    float z = 0.0f;
    float a = 0.0f;
};

// Coefficient of a one-pole lowpass at hz; the normalised frequency is kept in
// 1e-5..0.49 so the result stays in (0, 1).
inline float onePoleCoef(double hz, double sampleRate) {
    double w = hz / sampleRate;
    w = w > 0.49 ? 0.49 : (w >= 1e-5 ? w : 1e-5);
    return static_cast<float>(1.0 - std::exp(-2.0 * kPi * w));
}

}  // namespace norvale
