// Which parameter switches a module or a band, and how the editor's module
// and band numbers are brought into range.
#pragma once

#include <algorithm>

#include "dsp/modules.h"
#include "plugin/params.h"

namespace norvale {

constexpr int clampModule(int module) { return std::clamp(module, 0, kModuleCount - 1); }
constexpr int clampBand(int band) { return std::clamp(band, 0, kBandCount - 1); }

// Any number outside 1..6 names the volume switch.
constexpr ParamId moduleSwitchParam(int module) {
    return kModuleOnParams[(module >= 1 && module < kModuleCount) ? module : kVol];
}

constexpr ParamId bandSwitchParam(int band) {
    constexpr ParamId kBandSwitches[kBandCount] = {kParamBandLow, kParamBandMid, kParamBandHigh};
    return kBandSwitches[clampBand(band)];
}

}  // namespace norvale
