// "clap.preset-load/2": hosts load presets found by preset discovery.
#include "plugin/extensions.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

namespace {

bool presetLoadFromLocation(const clap_plugin* plugin, uint32_t kind, const char* location,
                            const char* loadKey) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self == nullptr) return false;
    try {
        return self->presetLoadFromLocation(kind, location, loadKey);
    } catch (...) {
        return false;
    }
}

}  // namespace

const clap_plugin_preset_load kPresetLoadExt = {presetLoadFromLocation};

}  // namespace norvale
