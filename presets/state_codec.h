// The plug-in's state stream ("NORV"): a pure encoder and decoder, shared by
// the plug-in's "clap.state", norvale-render and the tests. Little-endian,
// no padding: magic, version, parameter count, (id u32, value f64) pairs,
// 21 curve texts (12 in version 1), the editor's selection and toggles, from
// version 3 the chain text, and then a trailing record: the tag "PSET", the
// current preset's name and its edited flag. Builds that knew no such record
// stop reading before it, so it needs no new version.
#pragma once
#include "dsp/curve_set.h"
#include "plugin/params.h"
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace norvale {

inline constexpr uint32_t kStateVersion = 3;

// One whole sound plus the curve editor's view. The view fields count only
// where their has* flag says the stream carried them.
struct StateRecord {
    std::array<double, kParamCount> values{};
    CurveSet curves;
    bool hasSelection = false;
    int module = 0;
    int band = 0;
    bool hasSnap = false;
    bool snap = false;
    bool hasToggles = false;
    bool editAllBands = false;
    bool stepMode = false;
    // The preset the sound came from ("" for none) and whether it was edited.
    bool hasPreset = false;
    std::string presetName;
    bool presetEdited = false;
};

// Always version 3 with every parameter, curve and view field and the preset record.
std::vector<uint8_t> encodeState(const StateRecord& state);

// Reads versions 0 to 3. False for a bad header or a parameter block or curve
// length that cannot be right; a stream that ends anywhere after the
// parameters is accepted with what it held. Values arrive clamped, the
// selection in range, missing parameters at their defaults, missing curves
// flat. Out-of-range numbers are checked here, where they enter.
bool decodeState(std::span<const uint8_t> bytes, StateRecord& out);

} // namespace norvale
