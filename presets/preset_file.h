// Preset files: reading one whole, and replacing one without ever leaving a
// half-written preset behind.
#pragma once

#include <cstddef>
#include <string>

#include "presets/preset_data.h"

namespace plugincore {

inline constexpr size_t kMaxPresetBytes = size_t{1} << 20;

// Reads a whole preset file. Refuses what is not a regular file or is larger
// than kMaxPresetBytes; every failure leaves a message naming the path.
bool readPresetBytes(const std::string& path, std::string& bytes, std::string& err);

// Reads the file and parses it with the generic reader; an empty name is
// taken from the file name without its extension. Messages start with the
// path where the text itself was rejected.
bool parsePresetFile(const PresetContext& ctx, const std::string& path, PresetData& out,
                     std::string& err);

// Creates missing folders, then writes text to a temporary file beside path
// and renames it over path: on failure an existing file keeps its old
// content and no temporary file is left.
bool writePresetFile(const std::string& path, const std::string& text, std::string& err);

} // namespace plugincore
