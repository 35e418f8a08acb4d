#include "render/sound_setup.h"

#include <fmt/format.h>
#include <fstream>
#include <iterator>

#include "render/errors.h"
#include "render/event_lists.h"
#include "render/param_keys.h"
#include "render/preset_catalog.h"
#include "render/preset_choice.h"

namespace norvale::render {
namespace {

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes;
    if (file) bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) throw RenderError(fmt::format("cannot read '{}'", path));
    return bytes;
}

void loadPreset(PluginInstance& plugin, HostServices& host, const ClapModule& module, const std::string& wanted) {
    if (!plugin.hasPresetLoad()) throw RenderError("the plug-in cannot load presets");
    const PresetChoice choice = namesPresetFile(wanted)
                                    ? PresetChoice{CLAP_PRESET_DISCOVERY_LOCATION_FILE, wanted, ""}
                                    : choosePreset(wanted, discoverPresets(module));
    const bool isFile = choice.kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE;
    host.takePresetError();
    if (plugin.loadPreset(choice.kind, isFile ? choice.location.c_str() : nullptr,
                          isFile ? nullptr : choice.loadKey.c_str()))
        return;
    std::string reason = host.takePresetError();
    if (reason.empty()) reason = "no reason given";
    throw RenderError(fmt::format("the plug-in could not load preset '{}': {}", wanted, reason));
}

std::vector<clap_event_param_value_t> resolveSettings(const PluginInstance& plugin,
                                                      const std::vector<ParamSetting>& settings) {
    std::vector<clap_event_param_value_t> events;
    if (settings.empty()) return events;
    requireKnownParameters(plugin);
    for (const ParamSetting& setting : settings) {
        const auto info = plugin.paramInfoById(setting.id);
        if (!info) throw RenderError(fmt::format("the plug-in has no parameter '{}'", setting.key));
        const auto value = plugin.textToValue(setting.id, setting.text);
        if (!value)
            throw UsageError(fmt::format("--set {}: the plug-in's {} {} does not accept '{}'", setting.key,
                                         info->module, info->name, setting.text));
        events.push_back(paramValueEvent(setting.id, info->cookie, *value));
    }
    return events;
}

}  // namespace

std::vector<clap_event_param_value_t> setUpSound(PluginInstance& plugin, HostServices& host,
                                                 const ClapModule& module, const RenderOptions& options) {
    if (!options.stateIn.empty() && !plugin.loadState(readFileBytes(options.stateIn)))
        throw RenderError(fmt::format("the plug-in rejected the state in '{}'", options.stateIn));
    if (!options.preset.empty()) loadPreset(plugin, host, module, options.preset);
    const std::vector<clap_event_param_value_t> settings = resolveSettings(plugin, options.settings);

    // Values go in before activation and again with the first block, so they
    // hold from the first sample whichever path the plug-in honours.
    InputEvents flushEvents;
    for (const auto& setting : settings) flushEvents.add(setting);
    DiscardedEvents discarded;
    plugin.flushParams(flushEvents.list(), discarded.list());
    return settings;
}

void requireKnownParameters(const PluginInstance& plugin) {
    if (plugin.paramCount() != kParamKeys.size())
        throw RenderError(fmt::format("the plug-in has {} parameters, but this tool knows the keys of {}",
                                      plugin.paramCount(), kParamKeys.size()));
}

}  // namespace norvale::render
