// The ten presets built into the plug-in, in the order the preset list shows
// them: the files of presets/factory, embedded at build time.
#pragma once

#include <array>
#include <string_view>

#include "presets/preset_data.h"

namespace norvale {

inline constexpr size_t kBuiltinPresetCount = 10;

// Defined in the generated factory_presets.cpp.
extern const std::array<plugincore::BuiltinPreset, kBuiltinPresetCount> kBuiltinPresets;

// The built-in whose key equals key exactly; null when there is none.
const plugincore::BuiltinPreset* findBuiltinPreset(std::string_view key);

} // namespace norvale
