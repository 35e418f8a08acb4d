// The exported entry and the plug-in factory with its single plug-in.
#include <cstring>
#include <new>

#include <clap/entry.h>
#include <clap/factory/plugin-factory.h>
#include <clap/factory/preset-discovery.h>

#include "plugin/descriptor.h"
#include "plugin/norvale_plugin.h"
#include "presets/preset_discovery_norvale.h"

namespace norvale {

namespace {

bool entryInit(const char*) { return true; }

void entryDeinit() {}

uint32_t factoryCount(const clap_plugin_factory*) { return 1; }

const clap_plugin_descriptor* factoryGetDescriptor(const clap_plugin_factory*, uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin* factoryCreate(const clap_plugin_factory*, const clap_host* host,
                                 const char* pluginId) {
    if (host == nullptr || pluginId == nullptr || std::strcmp(pluginId, kPluginId) != 0)
        return nullptr;
    try {
        return (new NorvalePlugin(host))->clapPlugin();
    } catch (...) {
        return nullptr;
    }
}

const clap_plugin_factory kFactory = {factoryCount, factoryGetDescriptor, factoryCreate};

const void* entryGetFactory(const char* factoryId) {
    if (factoryId == nullptr) return nullptr;
    if (std::strcmp(factoryId, CLAP_PLUGIN_FACTORY_ID) == 0) return &kFactory;
    if (std::strcmp(factoryId, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0)
        return presetDiscoveryFactory();
    return nullptr;
}

}  // namespace

}  // namespace norvale

extern "C" CLAP_EXPORT const clap_plugin_entry clap_entry = {
    CLAP_VERSION_INIT,
    norvale::entryInit,
    norvale::entryDeinit,
    norvale::entryGetFactory,
};
