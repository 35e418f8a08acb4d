// The command line of norvale-render.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace norvale::render {

struct ParamSetting {
    uint32_t id = 0;
    std::string key;
    std::string text;  // handed to the plug-in's own text-to-value
};

struct RenderOptions {
    std::string input;   // empty with --demo, and when only saving a preset
    std::string output;  // empty when only saving a preset
    std::string pluginPath;  // empty: search the usual places
    std::vector<ParamSetting> settings;
    double tempo = 120.0;
    std::string sidechain;
    std::vector<double> noteBeats;
    int noteKey = 60;
    uint32_t blockSize = 512;
    std::string stateIn;
    std::string stateOut;
    std::string plot;
    std::string preset;      // a name, load key or file
    std::string savePreset;  // "Name" or "Folder / Name"
    std::string editorPng;   // paint the editor into this PNG instead of rendering
    double editorScale = 1.0;
    bool demo = false;
    bool help = false;
    bool listParams = false;
    bool listPresets = false;
};

// Throws UsageError.
RenderOptions parseOptions(const std::vector<std::string>& args);

std::string usageText();

}  // namespace norvale::render
