#include "render/saved_preset.h"

#include <array>
#include <fmt/format.h>
#include <memory>

#include "presets/preset_file.h"
#include "presets/preset_save.h"
#include "presets/state_codec.h"
#include "render/errors.h"

namespace norvale::render {
namespace {

PresetSaveName splitName(const std::string& typed) {
    PresetSaveName name;
    std::string err;
    if (!splitPresetSaveName(typed, name, err))
        throw UsageError(fmt::format("--save-preset: {}", err));
    return name;
}

} // namespace

void checkPresetSaveName(const std::string& typed) {
    splitName(typed);
}

SavedPreset presetOfSound(const PluginInstance& plugin, const std::string& typed) {
    const PresetSaveName name = splitName(typed);
    SavedPreset preset;
    preset.name = name.name;
    std::string err;
    if (!presetSavePath(name, preset.path, err)) throw RenderError(err);

    if (plugin.paramCount() != kParamCount)
        throw RenderError(fmt::format("the plug-in has {} parameters, but its preset files hold {}",
                                      plugin.paramCount(), kParamCount));
    std::array<double, kParamCount> values{};
    for (uint32_t id = 0; id < kParamCount; ++id) {
        const auto value = plugin.value(id);
        if (!value)
            throw RenderError(fmt::format("the plug-in gives no value for parameter {}", id));
        values[id] = *value;
    }
    const auto state = plugin.saveState();
    if (!state) throw RenderError("the plug-in could not save its state");
    // The curves and chain ride in the state stream only; the plug-in's own
    // codec reads them, so the tool keeps no copy of the layout.
    auto record = std::make_unique<StateRecord>();
    if (!decodeState(*state, *record))
        throw RenderError("the plug-in's state stream is not one this tool reads");
    plugincore::PresetData metadata;
    metadata.name = preset.name;
    preset.text = savedPresetText(metadata, values, record->curves);
    return preset;
}

void writeSavedPreset(const SavedPreset& preset) {
    std::string err;
    if (!plugincore::writePresetFile(preset.path, preset.text, err)) throw RenderError(err);
}

std::string savedPresetLine(const SavedPreset& preset) {
    return fmt::format("saved preset '{}' to {}", preset.name, preset.path);
}

} // namespace norvale::render
