// The exported entry and the plug-in factory with its single plug-in. The
// VST 3 adapter in the same object reaches the plug-in only through here.
#include <atomic>
#include <cstring>

#include <clap/entry.h>
#include <clap/factory/plugin-factory.h>
#include <clap/factory/preset-discovery.h>

#include "plugin/descriptor.h"
#include "plugin/norvale_plugin.h"
#include "presets/preset_discovery.h"

namespace norvale {

namespace {

// A CLAP host and the VST 3 adapter may both initialise the entry in one
// process; the factories stay offered until the last of them lets go.
std::atomic<int> initCount{0};

bool entryInit(const char*) {
    initCount.fetch_add(1, std::memory_order_acq_rel);
    return true;
}

void entryDeinit() {
    // An unbalanced deinit must not take the count below zero.
    int count = initCount.load(std::memory_order_acquire);
    while (count > 0 &&
           !initCount.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) {}
}

uint32_t factoryCount(const clap_plugin_factory*) {
    return 1;
}

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
    if (factoryId == nullptr || initCount.load(std::memory_order_acquire) == 0) return nullptr;
    if (std::strcmp(factoryId, CLAP_PLUGIN_FACTORY_ID) == 0) return &kFactory;
    if (std::strcmp(factoryId, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0)
        return presetDiscoveryFactory();
    return nullptr;
}

} // namespace

} // namespace norvale

extern "C" CLAP_EXPORT const clap_plugin_entry clap_entry = {
    CLAP_VERSION_INIT,
    norvale::entryInit,
    norvale::entryDeinit,
    norvale::entryGetFactory,
};
