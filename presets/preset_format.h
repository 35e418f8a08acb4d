// The preset text format: the generic reader and writer, the plug-in's chain
// and curve lines after it, Norvale's binding of both, the built-in presets
// and saving a sound as a user preset. Main thread only; finding, reading
// and replacing files is preset_files.h, below this.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "dsp/curve_set.h"
#include "plugin/params.h"
#include "presets/preset_data.h"

namespace plugincore {

// ---- generic text ----
// The generic preset text: header, metadata and one line per parameter,
// grouped into sections by the parameter's group. Knows nothing of what a
// product appends after it; the reader skips keys it does not know.

// Every line ends with LF. Parameters without an entry in data.values are
// left out; of several entries for one parameter only the first is written.
std::string formatPreset(const PresetContext& ctx, const PresetData& data);

// Reads size bytes (need not end with LF; CR before LF is tolerated). On
// false err holds the reason and out what was read up to it; out is reset
// first unless data is null. err is left alone on success. A leading
// byte-order mark is skipped. Strict makes an unknown key an error too.
bool parsePreset(const PresetContext& ctx, const char* data, size_t size, PresetData& out,
                 std::string& err, bool strict = false);

// ---- generic files ----

// Reads the file and parses it with the generic reader; an empty name is
// taken from the file name without its extension. Messages start with the
// path where the text itself was rejected.
bool parsePresetFile(const PresetContext& ctx, const std::string& path, PresetData& out,
                     std::string& err);

} // namespace plugincore

// ---- chain and curve lines ----
// The plug-in's own part of a preset text, after the generic part: the
// effect chain and the 21 shape curves, one "curve <module> <band> = ..."
// line each.
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

// ---- Norvale's presets ----
// The plug-in's presets: the generic format bound to Norvale's context,
// plus the chain and curve lines on top of it.

// "Norvale", "norvale" and the 83-row parameter table.
const plugincore::PresetContext& presetContext();

// Generic part only (no curves): for listing presets.
bool parsePreset(const char* data, size_t size, plugincore::PresetData& out, std::string& err);
bool parsePresetFile(const std::string& path, plugincore::PresetData& out, std::string& err);
std::string formatPreset(const plugincore::PresetData& data);

// The whole preset: the generic text, the chain and all 21 curves.
std::string formatPreset(const plugincore::PresetData& data, const CurveSet& curves);
// On success curves holds the text's chain and curves, everything it does not
// mention neutral. If the generic part is rejected curves is not touched; if
// a chain or curve line is, out and curves keep what could be read. Strict
// makes an unknown key an error.
bool parsePreset(const char* data, size_t size, plugincore::PresetData& out, CurveSet& curves,
                 std::string& err, bool strict = false);
// Unlike parsePresetFile, leaves an empty name empty.
bool parsePresetFileWithCurves(const std::string& path, plugincore::PresetData& out,
                               CurveSet& curves, std::string& err);

std::string userPresetDir();

// ---- built-in presets ----
// The ten presets built into the plug-in, in the order the preset list shows
// them: the files of presets/factory, embedded at build time.

inline constexpr size_t kBuiltinPresetCount = 10;

// Defined in the generated factory_presets.cpp.
extern const std::array<plugincore::BuiltinPreset, kBuiltinPresetCount> kBuiltinPresets;

// The built-in whose key equals key exactly; null when there is none.
const plugincore::BuiltinPreset* findBuiltinPreset(std::string_view key);

} // namespace norvale

// ---- saving a sound ----
// Saving a sound as a user preset: where the text the user typed puts it,
// and the text the file gets. Shared by the editor's save and by tools.
namespace norvale {

struct PresetSaveName {
    std::string folder; // "" for the user preset folder itself
    std::string name;   // as typed, for the name line; the file name is its stem
};

// Splits at the last "/" or "\" (folder before, name after) and trims spaces
// from both. False with "Give the preset a name after the folder." when no
// name is left.
bool splitPresetSaveName(const std::string& typed, PresetSaveName& out, std::string& err);

// The user preset file the name saves to: the file of its stem, or, when
// that holds a preset of another name, the first free or same-named one of
// stem_2, stem_3, ... False with "No user preset directory: ..." when the
// environment names no user preset folder.
bool presetSavePath(const PresetSaveName& name, std::string& path, std::string& err);

// The metadata of data (name, author, description, features), every
// parameter in table order, the chain and all 21 curves.
std::string savedPresetText(const plugincore::PresetData& metadata,
                            std::span<const double, kParamCount> values, const CurveSet& curves);

} // namespace norvale
