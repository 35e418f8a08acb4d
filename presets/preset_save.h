// Saving a sound as a user preset: where the text the user typed puts it,
// and the text the file gets. Shared by the editor's save and by tools.
#pragma once

#include <span>
#include <string>

#include "dsp/curve_set.h"
#include "plugin/params.h"
#include "presets/preset_data.h"

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
