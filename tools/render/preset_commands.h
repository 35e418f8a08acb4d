// Presets seen from the tool: the catalog a plug-in file offers, which one
// --preset names, the sound put together before a render, the current sound
// saved as a user preset, and the runs that deal in presets only.
#pragma once

#include <clap/clap.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "render/clap_host.h"
#include "render/options.h"

namespace norvale::render {

// ---- catalog ----
// The presets a plug-in file offers, found the way an indexing host finds
// them: its preset-discovery factory, each provider's declared locations and
// the metadata of every preset in them.

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

// ---- choosing a preset ----
// Which preset --preset names, as the location the plug-in loads it from.

struct PresetChoice {
    uint32_t kind = 0;    // CLAP location kind
    std::string location; // the file, for kind 0
    std::string loadKey;  // for kind 1
};

// True for text that can only mean a file: it contains "/" or ends in
// ".norvale", and such a file exists.
bool namesPresetFile(const std::string& wanted);

// By load key, then by name (exactly, then ignoring ASCII case), then as
// "folder/name"; the first listed match wins. Text that looks like a path
// is handed to the plug-in as a file, whose load then reports what is wrong
// with it. Throws UsageError, with the nearest names, when nothing matches.
PresetChoice choosePreset(const std::string& wanted, const std::vector<PresetEntry>& presets);

// ---- saving the sound ----
// The plug-in's current sound as a user preset file, made the way its own
// save makes one: parameter values read through "clap.params", curves and
// chain from its state stream, written in the preset file format.

struct SavedPreset {
    std::string name;
    std::string path;
    std::string text;
};

// Throws UsageError for a name the plug-in's save would refuse.
void checkPresetSaveName(const std::string& typed);

// The file and text a save of `typed` ("Folder / Name" or "Name") would
// write. Throws RenderError (no user preset folder, unreadable state).
SavedPreset presetOfSound(const PluginInstance& plugin, const std::string& typed);

// Replaces an existing file of that name. Throws RenderError.
void writeSavedPreset(const SavedPreset& preset);

std::string savedPresetLine(const SavedPreset& preset);

// ---- sound setup ----
// Puts the plug-in's sound together before anything is processed, in the
// order the options override one another: a saved state or a preset, then
// the --set values on top.

// Call on the main thread before activation. Returns the --set values as
// events, for hosts that also send them with the first block. Throws
// UsageError or RenderError.
std::vector<clap_event_param_value_t> setUpSound(PluginInstance& plugin, HostServices& host,
                                                 const ClapModule& module,
                                                 const RenderOptions& options);

// The tool addresses parameters by its own key list, so the counts must agree.
void requireKnownParameters(const PluginInstance& plugin);

// ---- preset-only runs ----
// The runs that deal in presets only and render nothing.

// --list-presets: every preset the plug-in's preset discovery offers.
void listPresets(const RenderOptions& options, std::FILE* out);

// --save-preset without INPUT and OUTPUT: the sound of --state-in, --preset
// and --set, saved without processing a block. Throws UsageError or RenderError.
SavedPreset saveSoundAsPreset(const RenderOptions& options);

} // namespace norvale::render
