// The 7 x 3 curves of one plug-in instance and the user's stage order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dsp/curve.h"
#include "dsp/modules.h"

namespace norvale {

// Default stage order: vol, flt, drv, crs, tim, wid, pan.
inline constexpr int8_t kDefaultChain[kModuleCount] = {kVol, kFlt, kDrv, kCrs, kTim, kWid, kPan};

struct CurveSet {
    Curve curves[kModuleCount][kBandCount]; // [module][band]
    int8_t chain[kModuleCount] = {};        // only the first chainLength entries count
    int8_t chainLength = 0;                 // 0..7; no module twice
};

// Every curve setFlat(neutralValue(module)); chainLength 0.
void resetCurves(CurveSet& set);

// Order in which the stages run: the chain (regardless of the flags), then every
// switched-on module not in the chain, in kDefaultChain order. Writes up to 7
// module indexes to out and returns how many. Real-time safe.
int effectiveChain(const CurveSet& set, const bool on[kModuleCount], int out[kModuleCount]);

bool chainHas(const CurveSet& set, int module);
// Appends if 0 <= module <= 6 and not yet present.
void chainAdd(CurveSet& set, int module);
// Removes the module if present, keeping the order of the rest.
void chainRemove(CurveSet& set, int module);
// Moves a present module to position (clamped to 0..n, n = length without it).
void chainMove(CurveSet& set, int module, int position);

// Keys of the chain joined by single spaces ("" for an empty chain).
std::string formatChain(const CurveSet& set);
// Reads whitespace-separated keys; repeated modules are skipped; an unknown word
// stops reading and returns false, keeping the modules read so far.
bool parseChain(std::string_view text, CurveSet& set);

} // namespace norvale
