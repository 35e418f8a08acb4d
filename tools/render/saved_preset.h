// The plug-in's current sound as a user preset file, made the way its own
// save makes one: parameter values read through "clap.params", curves and
// chain from its state stream, written in the preset file format.
#pragma once

#include <string>

#include "render/plugin_instance.h"

namespace norvale::render {

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

}  // namespace norvale::render
