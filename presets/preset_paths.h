// Where preset files live and how a preset's name becomes a file name.
// Everything is worked out afresh from the environment on every call;
// nothing here creates folders.
#pragma once

#include <string>

#include "presets/preset_data.h"

namespace plugincore {

// $XDG_CONFIG_HOME/<dirName>/presets, else $HOME/.config/<dirName>/presets;
// a variable counts only when it holds an absolute path. "" when neither does.
std::string userPresetDir(const PresetContext& ctx);

// The preset folder shipped beside the file that holds this code, or "".
std::string factoryPresetDir(const PresetContext& ctx);
// The same search beside a given file. Only Norvale's own folders count:
// presets/ when the file's folder is the bundle or named <dirName>,
// Contents/Resources/presets of a .vst3 bundle, then <dirName>.clap/presets
// and <dirName>/presets beside the file; the first that holds at least one
// preset file wins.
std::string factoryPresetDirBeside(const PresetContext& ctx, const std::string& binaryPath);

// Letters and digits of any script (UTF-8 bytes), "_" and "-" kept; every
// run of other bytes (blanks, punctuation, path separators) becomes one "_";
// no "_" at either end. May be "".
std::string presetFileStem(const std::string& name);

// <user folder>[/<folder stem>]/<name stem or "preset">.<extension>; "" when
// there is no user preset folder. One level of folders only.
std::string userPresetPathIn(const PresetContext& ctx, const std::string& folder,
                             const std::string& name);
std::string userPresetPath(const PresetContext& ctx, const std::string& name);

} // namespace plugincore
