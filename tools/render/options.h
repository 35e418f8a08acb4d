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
    std::string input;  // empty with --demo
    std::string output;
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
    bool demo = false;
    bool help = false;
    bool listParams = false;
};

// Throws UsageError.
RenderOptions parseOptions(const std::vector<std::string>& args);

std::string usageText();

}  // namespace norvale::render
