// Which preset --preset names, as the location the plug-in loads it from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/preset_catalog.h"

namespace norvale::render {

struct PresetChoice {
    uint32_t kind = 0;     // CLAP location kind
    std::string location;  // the file, for kind 0
    std::string loadKey;   // for kind 1
};

// True for text that can only mean a file: it contains "/" or ends in
// ".norvale", and such a file exists.
bool namesPresetFile(const std::string& wanted);

// By load key, then by name (exactly, then ignoring ASCII case), then as
// "folder/name"; the first listed match wins. Text that looks like a path
// is handed to the plug-in as a file, whose load then reports what is wrong
// with it. Throws UsageError, with the nearest names, when nothing matches.
PresetChoice choosePreset(const std::string& wanted, const std::vector<PresetEntry>& presets);

}  // namespace norvale::render
