// The plug-in's presets: the generic format bound to Norvale's context,
// plus the chain and curve lines on top of it.
#pragma once

#include <cstddef>
#include <string>

#include "dsp/curve_set.h"
#include "presets/preset_data.h"

namespace norvale {

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

} // namespace norvale
