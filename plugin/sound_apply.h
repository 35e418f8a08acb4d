// Putting a whole sound into the running plug-in, for state and preset loads
// alike (main thread).
#pragma once
#include "dsp/curve_set.h"
#include "plugin/params.h"
#include <array>

namespace norvale {

class NorvalePlugin;

// The caller has read and checked everything first; here every value is
// stored once (the audio thread never sees a half-applied sound), the curves
// are published and the host asked to rescan the values.
void applySound(NorvalePlugin& plugin, const std::array<double, kParamCount>& values,
                const CurveSet& curves);

} // namespace norvale
