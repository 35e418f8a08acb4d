// The presets a plug-in file offers, found the way an indexing host finds
// them: its preset-discovery factory, each provider's declared locations and
// the metadata of every preset in them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "render/clap_module.h"

namespace norvale::render {

inline constexpr const char* kFactoryFolder = "Factory Presets";

struct PresetEntry {
    std::string name;
    std::string folder;   // kFactoryFolder for factory content, else the user sub-folder or ""
    uint32_t kind = 0;    // CLAP location kind: 0 a file, 1 inside the plug-in
    std::string location; // the file, for kind 0
    std::string loadKey;  // for kind 1
};

// Locations in the order the providers declare them; the presets of a file
// location sorted by folder, then name. Presets for other plug-ins and files
// the plug-in cannot read are left out, each with a line in skipped saying
// why. Throws RenderError.
std::vector<PresetEntry> discoverPresets(const ClapModule& module,
                                         std::vector<std::string>* skipped = nullptr);

// One line per preset under a header: folder, name, and the key or file
// that loads it.
void printPresetList(const std::vector<PresetEntry>& presets, std::FILE* out);

} // namespace norvale::render
