// Module and band numbering shared by the whole plug-in.
// Module and band numbers are array indexes everywhere: curve set, chain,
// parameters, editor tabs, scope.
#pragma once

#include <string_view>

namespace norvale {

inline constexpr int kModuleCount = 7;
inline constexpr int kBandCount = 3;
inline constexpr int kMaxCurvePoints = 64;

// Module indexes. Note the default stage order (kDefaultChain, curve_set.h)
// differs from the index order: crush runs before time.
// An enum so that a switch over modules that forgets one warns.
enum Module : int { kVol, kFlt, kDrv, kTim, kCrs, kPan, kWid };

// Band indexes.
inline constexpr int kBandLow = 0;
inline constexpr int kBandMid = 1;
inline constexpr int kBandHigh = 2;

inline constexpr const char* kModuleKeys[kModuleCount] = {"vol", "flt", "drv", "tim",
                                                          "crs", "pan", "wid"};
inline constexpr const char* kModuleNames[kModuleCount] = {"VOLUME", "FILTER", "DRIVE", "TIME",
                                                           "CRUSH",  "PAN",    "WIDTH"};

// Key of a module ("vol" ... "wid"); any value outside 1..6 gives "vol".
constexpr const char* moduleKey(int module) {
    return (module >= 0 && module < kModuleCount) ? kModuleKeys[module] : kModuleKeys[0];
}

// Display name of a module ("VOLUME" ...); out-of-range values are clamped to 0..6.
constexpr const char* moduleName(int module) {
    return kModuleNames[module < 0 ? 0 : (module >= kModuleCount ? kModuleCount - 1 : module)];
}

// Index of an exact, case-sensitive key; -1 otherwise.
constexpr int moduleFromKey(std::string_view key) {
    for (int m = 0; m < kModuleCount; ++m)
        if (key == kModuleKeys[m]) return m;
    return -1;
}

// 0.5 for pan and width, 1.0 for every other value, out-of-range ones included.
constexpr float neutralValue(int module) {
    return (module == kPan || module == kWid) ? 0.5f : 1.0f;
}

} // namespace norvale
