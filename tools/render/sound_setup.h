// Puts the plug-in's sound together before anything is processed, in the
// order the options override one another: a saved state or a preset, then
// the --set values on top.
#pragma once

#include <clap/clap.h>
#include <vector>

#include "render/clap_module.h"
#include "render/host_services.h"
#include "render/options.h"
#include "render/plugin_instance.h"

namespace norvale::render {

// Call on the main thread before activation. Returns the --set values as
// events, for hosts that also send them with the first block. Throws
// UsageError or RenderError.
std::vector<clap_event_param_value_t> setUpSound(PluginInstance& plugin, HostServices& host,
                                                 const ClapModule& module, const RenderOptions& options);

// The tool addresses parameters by its own key list, so the counts must agree.
void requireKnownParameters(const PluginInstance& plugin);

}  // namespace norvale::render
