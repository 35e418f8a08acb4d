// The list the editor's preset browser shows: the built-in presets in their
// fixed order, then the user's files by folder and name.
#pragma once

#include <string>
#include <vector>

#include "presets/gui_preset.h"

namespace norvale {

inline constexpr const char* kFactoryFolder = "Factory Presets";

// Reads the user preset folder (and its direct sub-folders) as it is now;
// files that cannot be read are left out without a word.
std::vector<plugincore::GuiPreset> listPresets();

}  // namespace norvale
