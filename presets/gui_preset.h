// What an editor's preset browser shows of one preset.
#pragma once

#include <string>

namespace plugincore {

struct GuiPreset {
    std::string name;
    std::string description;
    std::string loadKey; // built-in presets only
    std::string path;    // user preset files only
    bool user = false;
    std::string folder; // "Factory Presets" for the built-ins
};

// A bundle of presets a product may offer for export and import.
struct PresetPack {
    std::string name;
    std::string path;
};

} // namespace plugincore
