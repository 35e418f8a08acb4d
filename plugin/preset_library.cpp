// Loading presets into the running plug-in and saving its sound as a user
// preset. A load is read completely before anything of the plug-in changes.
#include <clap/ext/log.h>
#include <clap/ext/preset-load.h>
#include <clap/factory/preset-discovery.h>

#include <array>
#include <cstring>
#include <memory>

#include "plugin/norvale_plugin.h"
#include "plugin/preset_list.h"
#include "presets/builtin_presets.h"
#include "presets/norvale_presets.h"
#include "presets/preset_file.h"
#include "presets/preset_save.h"

namespace norvale {

namespace {

// The first entry that satisfies matches, or -1.
template <class Match>
int findPreset(const std::vector<plugincore::GuiPreset>& presets, Match&& matches) {
    for (size_t i = 0; i < presets.size(); ++i)
        if (matches(presets[i])) return static_cast<int>(i);
    return -1;
}

}  // namespace

void NorvalePlugin::ensurePresetList() {
    if (presetListReady) return;
    presets = listPresets();
    presetListReady = true;
}

bool NorvalePlugin::presetLoadFromLocation(uint32_t kind, const char* location,
                                           const char* loadKey) {
    plugincore::PresetData data;
    // Staged off the stack: a curve set is some twenty kilobytes.
    auto curves = std::make_unique<CurveSet>();
    resetCurves(*curves);
    bool read = false;
    std::string message;
    if (kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE) {
        if (location == nullptr || *location == '\0')
            message = "missing preset path";
        else
            read = parsePresetFileWithCurves(location, data, *curves, message);
    } else if (kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
        const std::string key = loadKey != nullptr ? loadKey : "";
        if (const plugincore::BuiltinPreset* builtin = findBuiltinPreset(key))
            read = parsePreset(builtin->text, std::strlen(builtin->text), data, *curves, message);
        else
            message = "unknown built-in preset '" + key + "'";
    } else {
        message = "unsupported location kind";
    }
    if (!read) {
        reportPresetError(kind, location, loadKey, message);
        return false;
    }

    // What the preset does not mention is back at its default.
    for (uint32_t id = 0; id < kParamCount; ++id)
        values[id].store(kParams[id].defaultValue, std::memory_order_relaxed);
    for (const plugincore::PresetValue& entry : data.values)
        if (entry.id < kParamCount)
            values[entry.id].store(plugincore::paramClamp(kParams[entry.id], entry.value),
                                   std::memory_order_relaxed);
    curveSet = *curves;
    engine.publishCurves(curveSet);
    paramsDirty.store(true, std::memory_order_release);
    if (const clap_host_params* params = hostParams(); params != nullptr && params->rescan)
        params->rescan(host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);

    ensurePresetList();
    currentPreset = -1;
    if (kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && loadKey != nullptr)
        currentPreset =
            findPreset(presets, [loadKey](const auto& p) { return p.loadKey == loadKey; });
    else if (location != nullptr)
        currentPreset = findPreset(
            presets, [location](const auto& p) { return !p.path.empty() && p.path == location; });
    presetEdited.store(false, std::memory_order_release);

    if (const auto* hostLoad = hostPresetLoad(); hostLoad != nullptr && hostLoad->loaded)
        hostLoad->loaded(host, kind, location, loadKey);
    return true;
}

const clap_host_preset_load* NorvalePlugin::hostPresetLoad() const {
    if (const void* ext = hostExtension(CLAP_EXT_PRESET_LOAD))
        return static_cast<const clap_host_preset_load*>(ext);
    return static_cast<const clap_host_preset_load*>(hostExtension(CLAP_EXT_PRESET_LOAD_COMPAT));
}

void NorvalePlugin::reportPresetError(uint32_t kind, const char* location, const char* loadKey,
                                      const std::string& message) const {
    if (host == nullptr) return;
    if (const auto* hostLoad = hostPresetLoad(); hostLoad != nullptr && hostLoad->on_error)
        hostLoad->on_error(host, kind, location, loadKey, 0, message.c_str());
    if (const auto* log = static_cast<const clap_host_log*>(hostExtension(CLAP_EXT_LOG));
        log != nullptr && log->log)
        log->log(host, CLAP_LOG_WARNING, message.c_str());
}

void NorvalePlugin::guiLoadPreset(int index) {
    if (index < 0 || static_cast<size_t>(index) >= presets.size()) return;
    // The load may rebuild the list the entry lives in.
    const plugincore::GuiPreset entry = presets[index];
    if (!entry.loadKey.empty())
        presetLoadFromLocation(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                               entry.loadKey.c_str());
    else
        presetLoadFromLocation(CLAP_PRESET_DISCOVERY_LOCATION_FILE, entry.path.c_str(), nullptr);
}

std::string NorvalePlugin::guiSuggestedPresetName() const {
    if (currentPreset >= 0 && static_cast<size_t>(currentPreset) < presets.size())
        return presets[currentPreset].name;
    return "New Shape";
}

bool NorvalePlugin::guiSavePreset(const std::string& input, std::string& err) {
    PresetSaveName typed;
    std::string path;
    if (!splitPresetSaveName(input, typed, err) || !presetSavePath(typed, path, err)) return false;
    std::array<double, kParamCount> current;
    for (uint32_t id = 0; id < kParamCount; ++id) current[id] = paramValue(id);
    if (!plugincore::writePresetFile(path, savedPresetText(typed.name, current, curveSet), err))
        return false;

    presets.clear();
    presetListReady = false;
    ensurePresetList();
    currentPreset = findPreset(presets, [&path](const auto& p) { return p.path == path; });
    presetEdited.store(false, std::memory_order_release);
    return true;
}

}  // namespace norvale
