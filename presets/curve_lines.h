// The plug-in's own part of a preset text, after the generic part: the
// effect chain and the 21 shape curves, one "curve <module> <band> = ..."
// line each.
#pragma once

#include <cstddef>
#include <string>

#include "dsp/curve_set.h"

namespace norvale {

inline constexpr const char* kChainComment =
    "# The effects in the chain, in the order the audio runs through them.\n";
inline constexpr const char* kCurveComment =
    "# Shape curves. One line per module and band, in normalised time\n"
    "# and value, with each point's corner weight (0 hard, 1 medium, 2\n"
    "# soft) and the bend of the segment leaving it (-1 .. +1).\n"
    "# Bands are 0 low, 1 mid, 2 high.\n";

// The chain section (only for a chain of at least one module) and the curve
// section, each after an empty line.
std::string formatCurveLines(const CurveSet& curves);

// Applies every readable chain and curve line of the text to curves, in
// order, later lines winning. On false err holds the first failure; every
// readable line has been applied all the same.
bool scanCurveLines(const char* data, size_t size, CurveSet& curves, std::string& err);

} // namespace norvale
