#include "render/preset_commands.h"

#include <algorithm>
#include <string>
#include <vector>

#include "render/clap_module.h"
#include "render/host_services.h"
#include "render/plugin_instance.h"
#include "render/plugin_locator.h"
#include "render/preset_catalog.h"
#include "render/sound_setup.h"

namespace norvale::render {

void listPresets(const RenderOptions& options, std::FILE* out) {
    const ClapModule module(locatePlugin(options.pluginPath));
    std::vector<std::string> skipped;
    printPresetList(discoverPresets(module, &skipped), out);
    std::sort(skipped.begin(), skipped.end());  // folder order is no order
    for (const std::string& reason : skipped)
        std::fprintf(stderr, "skipped a preset file: %s\n", reason.c_str());
}

SavedPreset saveSoundAsPreset(const RenderOptions& options) {
    HostServices host;
    ClapModule module(locatePlugin(options.pluginPath));
    PluginInstance plugin(module, host.host());
    setUpSound(plugin, host, module, options);
    SavedPreset preset = presetOfSound(plugin, options.savePreset);
    writeSavedPreset(preset);
    return preset;
}

} // namespace norvale::render
