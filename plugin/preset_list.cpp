#include "plugin/preset_list.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "presets/builtin_presets.h"
#include "presets/norvale_presets.h"

namespace norvale {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kExtension = ".norvale";

bool isPresetFileName(std::string_view name) {
    return name.size() > kExtension.size() && name.ends_with(kExtension);
}

// Listing errors end the scan of that folder only.
void scanFolder(const std::string& dir, const std::string& folder,
                std::vector<plugincore::GuiPreset>& out) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string fileName = it->path().filename().string();
        std::error_code statError;
        if (!isPresetFileName(fileName) || !fs::is_regular_file(it->path(), statError)) continue;
        const std::string path = dir + "/" + fileName;
        plugincore::PresetData data;
        std::string err;
        if (!parsePresetFile(path, data, err)) continue;
        out.push_back({data.name, data.description, "", path, true, folder});
    }
}

}  // namespace

std::vector<plugincore::GuiPreset> listPresets() {
    std::vector<plugincore::GuiPreset> list;
    for (const plugincore::BuiltinPreset& builtin : kBuiltinPresets) {
        plugincore::PresetData data;
        std::string err;
        if (!parsePreset(builtin.text, std::strlen(builtin.text), data, err)) continue;
        list.push_back({data.name.empty() ? builtin.key : data.name, data.description,
                        builtin.key, "", false, kFactoryFolder});
    }

    const std::string dir = userPresetDir();
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(dir, ec)) return list;

    std::vector<plugincore::GuiPreset> user;
    scanFolder(dir, "", user);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statError;
        if (!fs::is_directory(it->path(), statError)) continue;
        const std::string folder = it->path().filename().string();
        scanFolder(dir + "/" + folder, folder, user);
    }
    // std::string compares bytes as unsigned characters.
    std::sort(user.begin(), user.end(), [](const auto& a, const auto& b) {
        return a.folder != b.folder ? a.folder < b.folder : a.name < b.name;
    });
    list.insert(list.end(), user.begin(), user.end());
    return list;
}

}  // namespace norvale
