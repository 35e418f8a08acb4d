#include "presets/preset_save.h"

#include <string_view>

#include "presets/norvale_presets.h"
#include "presets/preset_paths.h"

namespace norvale {

namespace {

std::string_view trimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool splitPresetSaveName(const std::string& typed, PresetSaveName& out, std::string& err) {
    const std::string_view text = typed;
    const size_t split = text.find_last_of("/\\");
    std::string name(trimSpaces(split == std::string_view::npos ? text : text.substr(split + 1)));
    if (name.empty()) {
        err = "Give the preset a name after the folder.";
        return false;
    }
    out.folder = trimSpaces(split == std::string_view::npos ? std::string_view{} : text.substr(0, split));
    out.name = std::move(name);
    return true;
}

bool presetSavePath(const PresetSaveName& name, std::string& path, std::string& err) {
    std::string found = plugincore::userPresetPathIn(presetContext(), name.folder, name.name);
    if (found.empty()) {
        err = "No user preset directory: neither XDG_CONFIG_HOME nor HOME is set.";
        return false;
    }
    path = std::move(found);
    return true;
}

std::string savedPresetText(const std::string& name, std::span<const double, kParamCount> values,
                            const CurveSet& curves) {
    plugincore::PresetData data;
    data.name = name;
    data.values.reserve(kParamCount);
    for (const plugincore::ParamDesc& desc : kParams) data.values.push_back({desc.id, values[desc.id]});
    return formatPreset(data, curves);
}

}  // namespace norvale
