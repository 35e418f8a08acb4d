#include "presets/preset_discovery.h"

#include <cstring>

#include "presets/preset_discovery_provider.h"

namespace plugincore {

PresetDiscoveryTexts::PresetDiscoveryTexts(const PresetProviderSpec& spec)
    : spec(spec), providerName(std::string(spec.context.dirName) + " Presets"),
      fileTypeName(std::string(spec.context.dirName) + " Preset"),
      factoryLocationName(std::string(spec.context.dirName) + " Factory Presets"),
      userLocationName(std::string(spec.context.dirName) + " User Presets"),
      descriptor{CLAP_VERSION_INIT, spec.providerId, providerName.c_str(), spec.vendor},
      pluginId{"clap", spec.pluginId} {}

namespace {

// The CLAP table comes first so a callback's factory pointer leads back to
// the texts it was made with.
struct DiscoveryFactory {
    clap_preset_discovery_factory clap;
    const PresetDiscoveryTexts* texts;
};

const PresetDiscoveryTexts& textsOf(const clap_preset_discovery_factory* factory) {
    return *reinterpret_cast<const DiscoveryFactory*>(factory)->texts;
}

uint32_t factoryCount(const clap_preset_discovery_factory*) {
    return 1;
}

const clap_preset_discovery_provider_descriptor*
factoryGetDescriptor(const clap_preset_discovery_factory* factory, uint32_t index) {
    return factory != nullptr && index == 0 ? &textsOf(factory).descriptor : nullptr;
}

const clap_preset_discovery_provider* factoryCreate(const clap_preset_discovery_factory* factory,
                                                    const clap_preset_discovery_indexer* indexer,
                                                    const char* providerId) {
    if (factory == nullptr || indexer == nullptr || providerId == nullptr ||
        std::strcmp(providerId, textsOf(factory).spec.providerId) != 0)
        return nullptr;
    return createPresetProvider(textsOf(factory), indexer);
}

} // namespace

const clap_preset_discovery_factory* presetDiscoveryFactory(const PresetProviderSpec& spec) {
    try {
        static const PresetDiscoveryTexts texts(spec);
        static const DiscoveryFactory factory{{factoryCount, factoryGetDescriptor, factoryCreate},
                                              &texts};
        return &factory.clap;
    } catch (...) {
        return nullptr;
    }
}

} // namespace plugincore
