// One drawable, periodic control line.
// Plain, trivially copyable data: the engine copies whole CurveSets lock-free.
// Nothing here locks; only format() and parse() may allocate.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dsp/modules.h"

namespace norvale {

struct CurvePoint {
    float x = 0.0f;     // phase position, 0..1
    float y = 1.0f;     // value, 0..1
    uint8_t weight = 0; // corner weight: 0 hard, 1 medium, 2 soft; never above 2
    float bend = 0.0f;  // bend of the segment leaving this point, -1..+1
};

// Invariants kept by every operation: 2 <= count <= 64; point 0 has x 0; point
// count-1 has x 1; x non-decreasing over 0..count-1 (equal x allowed).
// Out-of-range point indexes are ignored silently.
struct Curve {
    std::array<CurvePoint, kMaxCurvePoints> points;
    int32_t count;

    // Flat line at 1.0: all slots {0, 1, 0, 0}, count 2, points (0, 1) and (1, 1).
    Curve();

    // count 2; point 0 = (0, v), point 1 = (1, v); v clamped to 0..1.
    void setFlat(float value);
    // Value at a phase (wrapped into 0..1). Real-time safe.
    float valueAt(float phase) const;
    // Adds or overwrites a point; returns its index, or -1 when full.
    int addPoint(float x, float y, uint8_t weight = 0);
    // Removes a middle point (end points are never removed).
    void removePoint(int index);
    // Moves a point (end points: y only) and re-sorts.
    void movePoint(int index, float x, float y);
    void setWeight(int index, uint8_t weight);
    void setBend(int index, float bend);
    // Removes every middle point with a < x < b.
    void removeRange(float a, float b);
    // One flat step of a staircase of `cells` equal cells (1..32).
    void setStep(int cell, int cells, float value);
    // Turns the whole curve into a staircase of `cells` cells (1..32).
    void fillSteps(int cells);
    // Stable insertion sort by x over indices 0..count-2.
    void sortMiddle();

    // One-line text form: "0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000".
    std::string format() const;
    // Reads the one-line text form; false (curve unchanged) on any error,
    // including non-finite numbers.
    bool parse(std::string_view text);
};

} // namespace norvale
