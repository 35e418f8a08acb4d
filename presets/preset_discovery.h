// CLAP preset discovery: the generic factory, the one provider it creates,
// and Norvale's factory as the entry hands it to hosts. Hosts call all of it
// on their main thread, without a plug-in instance.
#pragma once

#include <clap/factory/preset-discovery.h>
#include <cstdint>
#include <string>

#include "presets/preset_data.h"

namespace plugincore {

// ---- factory ----
// A product's CLAP preset-discovery factory: one provider that tells an
// indexing host the preset file type, where presets live and what each
// preset is, without the plug-in being instantiated.

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

// ---- provider ----
// The one provider the preset-discovery factory creates, and the texts its
// providers share.

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

// ---- Norvale's factory ----
// Norvale's preset-discovery factory, as the CLAP entry hands it to hosts.
namespace norvale {

// The same factory on every call; null only if making it ran out of memory.
const clap_preset_discovery_factory* presetDiscoveryFactory();

} // namespace norvale
