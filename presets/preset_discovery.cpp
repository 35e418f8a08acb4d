#include "presets/preset_discovery.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

#include "plugin/product.h"
#include "presets/preset_files.h"
#include "presets/preset_format.h"

namespace plugincore {

// ---- factory ----

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

// ---- provider ----

namespace {

struct Provider {
    clap_preset_discovery_provider clap;
    const PresetDiscoveryTexts* texts;
    const clap_preset_discovery_indexer* indexer; // the host it was created for
    std::string factoryDir;                       // both found by init
    std::string userDir;
};

Provider& self(const clap_preset_discovery_provider* provider) {
    return *static_cast<Provider*>(provider->provider_data);
}

void declareLocation(const clap_preset_discovery_indexer* indexer, uint32_t flags,
                     const std::string& name, uint32_t kind, const char* location) {
    if (indexer->declare_location == nullptr) return;
    const clap_preset_discovery_location declared{flags, name.c_str(), kind, location};
    indexer->declare_location(indexer, &declared);
}

bool providerInit(const clap_preset_discovery_provider* provider) {
    if (provider == nullptr) return false;
    Provider& p = self(provider);
    const clap_preset_discovery_indexer* indexer = p.indexer;
    if (indexer == nullptr || indexer->declare_filetype == nullptr) return false;
    const PresetDiscoveryTexts& texts = *p.texts;
    try {
        const clap_preset_discovery_filetype filetype{texts.fileTypeName.c_str(),
                                                      texts.spec.fileTypeDescription,
                                                      texts.spec.context.extension};
        if (!indexer->declare_filetype(indexer, &filetype)) return false;
        p.factoryDir = factoryPresetDir(texts.spec.context);
        p.userDir = userPresetDir(texts.spec.context);
    } catch (...) {
        return false;
    }
    // A factory folder shipped beside the plug-in replaces the built-ins for
    // indexing hosts: the two are never offered together.
    if (p.factoryDir.empty()) {
        declareLocation(indexer, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT,
                        texts.factoryLocationName, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr);
    } else {
        declareLocation(indexer, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT,
                        texts.factoryLocationName, CLAP_PRESET_DISCOVERY_LOCATION_FILE,
                        p.factoryDir.c_str());
    }
    std::error_code ignored;
    if (!p.userDir.empty() && std::filesystem::is_directory(p.userDir, ignored))
        declareLocation(indexer, CLAP_PRESET_DISCOVERY_IS_USER_CONTENT, texts.userLocationName,
                        CLAP_PRESET_DISCOVERY_LOCATION_FILE, p.userDir.c_str());
    return true;
}

void reportError(const clap_preset_discovery_metadata_receiver* receiver, const char* message) {
    if (receiver->on_error != nullptr) receiver->on_error(receiver, 0, message);
}

bool beginPreset(const clap_preset_discovery_metadata_receiver* receiver, const std::string& name,
                 const char* loadKey) {
    return receiver->begin_preset != nullptr &&
           receiver->begin_preset(receiver, name.c_str(), loadKey);
}

void reportBuiltins(const Provider& p, const clap_preset_discovery_metadata_receiver* receiver) {
    const PresetProviderSpec& spec = p.texts->spec;
    for (uint32_t i = 0; spec.builtins != nullptr && i < spec.builtinCount; ++i) {
        const BuiltinPreset& builtin = spec.builtins[i];
        const char* text = builtin.text != nullptr ? builtin.text : "";
        const char* key = builtin.key != nullptr ? builtin.key : "";
        PresetData preset;
        std::string err;
        if (!parsePreset(spec.context, text, std::strlen(text), preset, err)) continue;
        if (preset.name.empty()) preset.name = key;
        if (!beginPreset(receiver, preset.name, key)) return;
        describePreset(receiver, *p.texts, preset, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
    }
}

bool reportFile(const Provider& p, const char* location,
                const clap_preset_discovery_metadata_receiver* receiver) {
    PresetData preset;
    std::string err;
    if (!parsePresetFile(p.texts->spec.context, location, preset, err)) {
        reportError(receiver, err.c_str());
        return false;
    }
    // The user folder's exact text, no path normalisation: a user file reached
    // through a link elsewhere counts as factory content.
    const bool user = !p.userDir.empty() && std::string_view(location).starts_with(p.userDir);
    if (beginPreset(receiver, preset.name, ""))
        describePreset(receiver, *p.texts, preset,
                       user ? CLAP_PRESET_DISCOVERY_IS_USER_CONTENT
                            : CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
    return true;
}

bool providerGetMetadata(const clap_preset_discovery_provider* provider, uint32_t kind,
                         const char* location,
                         const clap_preset_discovery_metadata_receiver* receiver) {
    if (provider == nullptr || receiver == nullptr) return false;
    const Provider& p = self(provider);
    try {
        if (kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
            reportBuiltins(p, receiver);
            return true;
        }
        if (kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE && location != nullptr &&
            location[0] != '\0')
            return reportFile(p, location, receiver);
    } catch (...) {
        return false;
    }
    reportError(receiver, "unsupported preset location");
    return false;
}

const void* providerGetExtension(const clap_preset_discovery_provider*, const char*) {
    return nullptr;
}

void providerDestroy(const clap_preset_discovery_provider* provider) {
    if (provider != nullptr) delete &self(provider);
}

} // namespace

const clap_preset_discovery_provider*
createPresetProvider(const PresetDiscoveryTexts& texts,
                     const clap_preset_discovery_indexer* indexer) {
    Provider* p = new (std::nothrow) Provider{};
    if (p == nullptr) return nullptr;
    p->clap = {&texts.descriptor,   p, providerInit, providerDestroy, providerGetMetadata,
               providerGetExtension};
    p->texts = &texts;
    p->indexer = indexer;
    return &p->clap;
}

void describePreset(const clap_preset_discovery_metadata_receiver* receiver,
                    const PresetDiscoveryTexts& texts, const PresetData& preset, uint32_t flags) {
    if (receiver->add_plugin_id != nullptr) receiver->add_plugin_id(receiver, &texts.pluginId);
    if (receiver->set_flags != nullptr) receiver->set_flags(receiver, flags);
    if (!preset.author.empty() && receiver->add_creator != nullptr)
        receiver->add_creator(receiver, preset.author.c_str());
    if (!preset.description.empty() && receiver->set_description != nullptr)
        receiver->set_description(receiver, preset.description.c_str());
    if (receiver->add_feature == nullptr) return;
    for (const char* const* feature = texts.spec.productFeatures;
         feature != nullptr && *feature != nullptr; ++feature)
        receiver->add_feature(receiver, *feature);
    for (const std::string& feature : preset.features)
        receiver->add_feature(receiver, feature.c_str());
}

} // namespace plugincore

// ---- Norvale's factory ----
namespace norvale {

namespace {

constexpr std::string_view kProviderSuffix = ".preset-provider";

// The plug-in id followed by the suffix, zero-terminated.
constexpr auto kProviderId = [] {
    constexpr std::string_view pluginId = kPluginId;
    std::array<char, pluginId.size() + kProviderSuffix.size() + 1> id{};
    std::copy(kProviderSuffix.begin(), kProviderSuffix.end(),
              std::copy(pluginId.begin(), pluginId.end(), id.begin()));
    return id;
}();

// An effect's presets, whatever their own tags say.
constexpr const char* kPresetFeatures[] = {"audio-effect", nullptr};

} // namespace

const clap_preset_discovery_factory* presetDiscoveryFactory() {
    return plugincore::presetDiscoveryFactory({
        .context = presetContext(),
        .providerId = kProviderId.data(),
        .pluginId = kPluginId,
        .vendor = "Kestrelhow",
        .fileTypeDescription = "Norvale curve preset",
        .builtins = kBuiltinPresets.data(),
        .builtinCount = kBuiltinPresetCount,
        .productFeatures = kPresetFeatures,
    });
}

} // namespace norvale
