// Whole-curve edits of the curve editor, each made on a copy that the panel
// then puts in place as one edit: moving a selection together, inverting,
// mirroring, shifting around the cycle, scaling and offsetting. A mask names
// the points concerned by index (bit i for point i); 0 means every point.
// Every result keeps the curve's order and stays inside the cycle and the
// value range.
#pragma once

#include <cstdint>

#include "dsp/curve.h"

namespace norvale {

inline bool inMask(uint64_t mask, int index) {
    return mask == 0 || (index >= 0 && index < 64 && (mask >> index & 1) != 0);
}

// By as much of dx and dy as every masked point can take: end points keep
// their x, and no point passes one that is not masked.
Curve movePoints(const Curve& curve, uint64_t mask, double dx, double dy);
// Upside down: y becomes 1 - y; bends between two masked points turn over too.
Curve invertPoints(const Curve& curve, uint64_t mask);
// Reversed in time: over the whole cycle, or within the span of the masked
// middle points.
Curve mirrorPoints(const Curve& curve, uint64_t mask);
// The whole curve moved later by step (earlier when negative), wrapping
// around the cycle's end. Unchanged when the result would need more points
// than a curve holds.
Curve shiftCurve(const Curve& curve, double step);
// y becomes 0.5 + (y - 0.5) * factor + offset, clamped to the value range.
Curve scalePoints(const Curve& curve, uint64_t mask, double factor, double offset);

} // namespace norvale
