// The records of the preset text format and what an editor's preset browser
// shows of a preset. Plain data, owned by whoever holds it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/param_desc.h"

namespace plugincore {

// ---- format records ----
// The records of the preset text format: what a product tells the format
// about itself, and one parsed preset.

// Constant description of one product's presets.
struct PresetContext {
    const char* dirName;   // product word: header comment and folder names
    const char* extension; // file extension without the dot
    const ParamDesc* params;
    uint32_t paramCount;
};

struct PresetValue {
    uint32_t id;  // the parameter's id
    double value; // in the parameter's value space
};

struct PresetData {
    std::string name;
    std::string author;
    std::string description;
    std::vector<std::string> features; // in file order
    std::vector<PresetValue> values;   // in file order, duplicates kept
};

// A preset compiled into the product: its load key and complete text.
struct BuiltinPreset {
    const char* key;
    const char* text;
};

// ---- browser records ----
// What an editor's preset browser shows of one preset.

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
