#include "presets/preset_save.h"

#include <cerrno>
#include <string_view>
#include <sys/stat.h>

#include "presets/norvale_presets.h"
#include "presets/preset_paths.h"

namespace norvale {

namespace {

std::string_view trimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

bool splitPresetSaveName(const std::string& typed, PresetSaveName& out, std::string& err) {
    const std::string_view text = typed;
    const size_t split = text.find_last_of("/\\");
    std::string name(trimSpaces(split == std::string_view::npos ? text : text.substr(split + 1)));
    if (name.empty()) {
        err = "Give the preset a name after the folder.";
        return false;
    }
    out.folder =
        trimSpaces(split == std::string_view::npos ? std::string_view{} : text.substr(0, split));
    out.name = std::move(name);
    return true;
}

bool presetSavePath(const PresetSaveName& name, std::string& path, std::string& err) {
    const std::string first = plugincore::userPresetPathIn(presetContext(), name.folder, name.name);
    if (first.empty()) {
        err = "No user preset directory: neither XDG_CONFIG_HOME nor HOME is set.";
        return false;
    }
    // Names that share a stem ("Deep Duck" and "Deep Duck!") get files of
    // their own: a file is replaced only when it holds this very preset.
    const std::string extension = std::string(".") + presetContext().extension;
    const std::string stem = first.substr(0, first.size() - extension.size());
    for (int n = 1; n < 1000; ++n) {
        std::string candidate = n == 1 ? first : stem + "_" + std::to_string(n) + extension;
        struct stat st;
        if (lstat(candidate.c_str(), &st) != 0) {  // free, or the write will say why not
            path = std::move(candidate);
            return true;
        }
        plugincore::PresetData held;
        std::string ignored;
        if (parsePresetFile(candidate, held, ignored) && held.name == name.name) {
            path = std::move(candidate);
            return true;
        }
    }
    err = "no free file name for " + first;
    return false;
}

std::string savedPresetText(const plugincore::PresetData& metadata,
                            std::span<const double, kParamCount> values, const CurveSet& curves) {
    plugincore::PresetData data = metadata;
    data.values.clear();
    data.values.reserve(kParamCount);
    for (const plugincore::ParamDesc& desc : kParams)
        data.values.push_back({desc.id, values[desc.id]});
    return formatPreset(data, curves);
}

} // namespace norvale
