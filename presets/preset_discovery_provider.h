// The one provider the preset-discovery factory creates, and the texts its
// providers share.
#pragma once

#include <string>

#include <clap/factory/preset-discovery.h>

#include "presets/preset_data.h"
#include "presets/preset_discovery.h"

namespace plugincore {

// Made once per factory; hosts keep pointers into it, so it never moves.
struct PresetDiscoveryTexts {
    explicit PresetDiscoveryTexts(const PresetProviderSpec& spec);
    PresetDiscoveryTexts(const PresetDiscoveryTexts&) = delete;
    PresetDiscoveryTexts& operator=(const PresetDiscoveryTexts&) = delete;

    PresetProviderSpec spec;
    std::string providerName;
    std::string fileTypeName;
    std::string factoryLocationName;
    std::string userLocationName;
    clap_preset_discovery_provider_descriptor descriptor;
    clap_universal_plugin_id pluginId;
};

// Null when out of memory. The host frees it through its destroy callback.
const clap_preset_discovery_provider*
createPresetProvider(const PresetDiscoveryTexts& texts,
                     const clap_preset_discovery_indexer* indexer);

// The metadata of one preset, after its begin_preset.
void describePreset(const clap_preset_discovery_metadata_receiver* receiver,
                    const PresetDiscoveryTexts& texts, const PresetData& preset, uint32_t flags);

} // namespace plugincore
