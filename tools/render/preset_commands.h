// The runs that deal in presets only and render nothing.
#pragma once

#include <cstdio>

#include "render/options.h"
#include "render/saved_preset.h"

namespace norvale::render {

// --list-presets: every preset the plug-in's preset discovery offers.
void listPresets(const RenderOptions& options, std::FILE* out);

// --save-preset without INPUT and OUTPUT: the sound of --state-in, --preset
// and --set, saved without processing a block. Throws UsageError or RenderError.
SavedPreset saveSoundAsPreset(const RenderOptions& options);

}  // namespace norvale::render
