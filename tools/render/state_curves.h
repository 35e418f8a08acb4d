// The curves and the effect chain inside the plug-in's state stream: the
// part of its sound that "clap.params" does not carry.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp/curve_set.h"

namespace norvale::render {

// Reads streams of version 2 and 3 ("NORV"; the chain only in version 3).
// Throws RenderError for anything else.
CurveSet curvesFromState(const std::vector<uint8_t>& state);

}  // namespace norvale::render
