// The command line of norvale-render: the options record, how it is read
// and checked, the parameter keys it names and where the plug-in is found.
// The tool is single-threaded; everything here runs on its main thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/params.h"

namespace norvale::render {

// ---- errors ----
// The two ways a render can fail; main turns them into exit codes 2 and 1.

// Something wrong with the command line itself.
struct UsageError : std::runtime_error {
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

// Files, the plug-in or the render failed.
struct RenderError : std::runtime_error {
    explicit RenderError(const std::string& message) : std::runtime_error(message) {}
};

// ---- options ----
// The command line of norvale-render.

struct ParamSetting {
    uint32_t id = 0;
    std::string key;
    std::string text; // handed to the plug-in's own text-to-value
};

struct RenderOptions {
    std::string input;      // empty with --demo, and when only saving a preset
    std::string output;     // empty when only saving a preset
    std::string pluginPath; // empty: search the usual places
    std::vector<ParamSetting> settings;
    double tempo = 120.0;
    std::string sidechain;
    std::vector<double> noteBeats;
    int noteKey = 60;
    uint32_t blockSize = 512;
    std::string stateIn;
    std::string stateOut;
    std::string plot;
    std::string preset;     // a name, load key or file
    std::string savePreset; // "Name" or "Folder / Name"
    std::string editorPng;  // paint the editor into this PNG instead of rendering
    double editorScale = 1.0;
    int editorHoverPoint = -1; // a point of the selected curve shown as hovered, with its readout
    std::string editorMenu;    // "grid", "shape" or "curve" (the graph's): that menu shown open
    bool demo = false;
    bool help = false;
    bool listParams = false;
    bool listPresets = false;
};

// Throws UsageError.
RenderOptions parseOptions(const std::vector<std::string>& args);

std::string usageText();

// ---- parameter keys ----
// The plug-in's stable parameter keys. Its parameter info carries ids and
// display names only, so the tool takes the keys from the parameter table it
// is built with.

// Indexed by parameter id.
inline constexpr std::array<std::string_view, kParamCount> kParamKeys = [] {
    std::array<std::string_view, kParamCount> keys{};
    for (std::size_t id = 0; id < kParamCount; ++id)
        keys[id] = kParams[id].key;
    return keys;
}();

std::optional<uint32_t> paramIdForKey(std::string_view key);

// Levenshtein distance: insertions, deletions and substitutions cost one.
std::size_t editDistance(std::string_view a, std::string_view b);

// The keys closest to a mistyped one, nearest first, ties in id order.
std::vector<std::string_view> nearestKeys(std::string_view key, std::size_t limit = 3);

// ---- plug-in location ----
// Where the tool looks for the plug-in file.

// The explicit path if given, else $NORVALE_CLAP, else the first existing
// default place. Throws RenderError when there is nothing to load.
std::string locatePlugin(const std::string& explicitPath);

// ---- path checks ----
// Guards against a run that would overwrite one of its own inputs.

// Throws UsageError when a file the run writes is one it reads, or is
// written twice, and RenderError when the output is a folder.
void checkWrittenPaths(const RenderOptions& options);

} // namespace norvale::render
