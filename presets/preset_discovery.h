// A product's CLAP preset-discovery factory: one provider that tells an
// indexing host the preset file type, where presets live and what each
// preset is, without the plug-in being instantiated.
#pragma once

#include <cstdint>

#include <clap/factory/preset-discovery.h>

#include "presets/preset_data.h"

namespace plugincore {

// Everything the generic factory needs to know about one product.
struct PresetProviderSpec {
    PresetContext context;
    const char* providerId;
    const char* pluginId; // the CLAP plug-in that loads the presets
    const char* vendor;
    const char* fileTypeDescription;
    const BuiltinPreset* builtins;
    uint32_t builtinCount;
    // Null-terminated; reported for every preset before the preset's own
    // features, so hosts file the presets under the right kind of plug-in.
    const char* const* productFeatures;
};

// Built from the provider description of the first call and kept while the file stays
// loaded; later calls return that same factory whatever they pass. Null only
// when building it ran out of memory (a later call tries again).
const clap_preset_discovery_factory* presetDiscoveryFactory(const PresetProviderSpec& spec);

} // namespace plugincore
