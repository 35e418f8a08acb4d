// The generic preset text: header, metadata and one line per parameter,
// grouped into sections by the parameter's group. Knows nothing of what a
// product appends after it; the reader skips keys it does not know.
#pragma once

#include <cstddef>
#include <string>

#include "presets/preset_data.h"

namespace plugincore {

// Every line ends with LF. Parameters without an entry in data.values are
// left out; of several entries for one parameter only the first is written.
std::string formatPreset(const PresetContext& ctx, const PresetData& data);

// Reads size bytes (need not end with LF; CR before LF is tolerated). On
// false err holds the reason and out what was read up to it; out is reset
// first unless data is null. err is left alone on success. A leading
// byte-order mark is skipped. Strict makes an unknown key an error too.
bool parsePreset(const PresetContext& ctx, const char* data, size_t size, PresetData& out,
                 std::string& err, bool strict = false);

} // namespace plugincore
