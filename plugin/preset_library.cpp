// The preset library of the running plug-in: the list the editor browses,
// loading a preset (from the editor or through "clap.preset-load/2") and
// saving the sound as a user preset. A load is read and checked completely
// before anything of the plug-in changes; nothing here lets an exception
// reach the host or the editor.
#include <clap/ext/log.h>
#include <clap/ext/preset-load.h>
#include <clap/factory/preset-discovery.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "plugin/norvale_plugin.h"
#include "presets/preset_files.h"
#include "presets/preset_format.h"

namespace norvale {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFactoryFolder = "Factory Presets";
constexpr std::string_view kExtension = ".norvale";

// ---- the list ----

bool isPresetFileName(std::string_view name) {
    return name.size() > kExtension.size() && name.ends_with(kExtension);
}

// Listing errors end the scan of that folder only; unreadable files are left out.
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

// The built-ins in their fixed order, then the user's files by folder and name.
std::vector<plugincore::GuiPreset> listPresets() {
    std::vector<plugincore::GuiPreset> list;
    for (const plugincore::BuiltinPreset& builtin : kBuiltinPresets) {
        plugincore::PresetData data;
        std::string err;
        if (!parsePreset(builtin.text, std::strlen(builtin.text), data, err)) continue;
        list.push_back({data.name.empty() ? builtin.key : data.name, data.description, builtin.key,
                        "", false, kFactoryFolder});
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

// The first entry that satisfies matches, or -1.
template <class Match>
int findPreset(const std::vector<plugincore::GuiPreset>& presets, Match&& matches) {
    for (size_t i = 0; i < presets.size(); ++i)
        if (matches(presets[i])) return static_cast<int>(i);
    return -1;
}

// ---- reading a preset ----

struct StagedPreset {
    plugincore::PresetData data;
    std::array<double, kParamCount> values{};
    CurveSet curves;
};

// Reads a whole preset from a file (kind 0) or a built-in (kind 1) into
// staged; false with message when it cannot.
bool readPreset(uint32_t kind, const char* location, const char* loadKey, StagedPreset& staged,
                std::string& message) {
    if (kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE) {
        if (location == nullptr || *location == '\0') {
            message = "missing preset path";
            return false;
        }
        if (!parsePresetFileWithCurves(location, staged.data, staged.curves, message)) return false;
    } else if (kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
        const std::string key = loadKey != nullptr ? loadKey : "";
        const plugincore::BuiltinPreset* builtin = findBuiltinPreset(key);
        if (builtin == nullptr) {
            message = "unknown built-in preset '" + key + "'";
            return false;
        }
        if (!parsePreset(builtin->text, std::strlen(builtin->text), staged.data, staged.curves,
                         message))
            return false;
    } else {
        message = "unsupported location kind";
        return false;
    }
    // What the preset does not mention is back at its default.
    for (const plugincore::ParamDesc& desc : kParams)
        staged.values[desc.id] = desc.defaultValue;
    for (const plugincore::PresetValue& entry : staged.data.values)
        if (entry.id < kParamCount)
            staged.values[entry.id] = plugincore::paramClamp(kParams[entry.id], entry.value);
    return true;
}

// Refuses a name a built-in preset carries (in any case): a user preset may
// not stand in for one.
bool builtinNameRefused(const std::vector<plugincore::GuiPreset>& presets, const std::string& name,
                        std::string& message) {
    const auto lower = [](std::string t) {
        for (char& c : t)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return t;
    };
    for (const plugincore::GuiPreset& p : presets)
        if (!p.user && lower(p.name) == lower(name)) {
            message = "\u201c" + p.name + "\u201d is a built-in preset; choose another name.";
            return true;
        }
    return false;
}

// The user preset in folder named name, other than the entry skipped; -1 when none.
int userPresetNamed(const std::vector<plugincore::GuiPreset>& presets, const PresetSaveName& typed,
                    int skipped = -1) {
    return findPreset(presets, [&](const plugincore::GuiPreset& p) {
        return p.user && p.folder == typed.folder && p.name == typed.name &&
               &p != (skipped >= 0 ? &presets[skipped] : nullptr);
    });
}

} // namespace

// ---- load ----

void NorvalePlugin::ensurePresetList() {
    if (presetListReady) return;
    presets = listPresets();
    presetListReady = true;
}

void NorvalePlugin::rebuildPresetList() {
    plugincore::GuiPreset current;
    const bool hadCurrent = currentPreset >= 0 && size_t(currentPreset) < presets.size();
    if (hadCurrent) current = presets[currentPreset];
    presets = listPresets();
    presetListReady = true;
    currentPreset = !hadCurrent ? -1 : findPreset(presets, [&](const plugincore::GuiPreset& p) {
        return p.loadKey == current.loadKey && p.path == current.path;
    });
}

bool NorvalePlugin::presetLoadFromLocation(uint32_t kind, const char* location,
                                           const char* loadKey) {
    // Staged off the stack: a curve set is some twenty kilobytes.
    auto staged = std::make_unique<StagedPreset>();
    resetCurves(staged->curves);
    std::string message;
    if (!readPreset(kind, location, loadKey, *staged, message)) {
        reportPresetError(kind, location, loadKey, message);
        return false;
    }
    // A preset is a sound; whether the rack is bypassed is the host's business.
    staged->values[kParamBypass] = paramValue(kParamBypass);
    applySound(staged->values, staged->curves);
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

// ---- the editor's operations ----

bool NorvalePlugin::presetLoadFromHost(uint32_t kind, const char* location, const char* loadKey) {
    if (!presetLoadFromLocation(kind, location, loadKey)) return false;
    clearUndo();
    return true;
}

void NorvalePlugin::guiLoadPreset(int index) {
    if (index < 0 || static_cast<size_t>(index) >= presets.size()) return;
    UndoScope step(*this, "load preset");
    for (uint32_t id = 0; id < kParamCount; ++id)
        step.touch(id);
    try {
        // The load may rebuild the list the entry lives in.
        const plugincore::GuiPreset entry = presets[index];
        if (!entry.loadKey.empty())
            presetLoadFromLocation(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                   entry.loadKey.c_str());
        else
            presetLoadFromLocation(CLAP_PRESET_DISCOVERY_LOCATION_FILE, entry.path.c_str(),
                                   nullptr);
    } catch (...) {
        // Out of memory; the sound stays as it was.
    }
}

std::string NorvalePlugin::guiSuggestedPresetName() const {
    if (currentPreset >= 0 && static_cast<size_t>(currentPreset) < presets.size())
        return presets[currentPreset].name;
    return "New Shape";
}

bool NorvalePlugin::guiSavePreset(const std::string& input, const std::string& description,
                                  std::string& err) {
    try {
        PresetSaveName typed;
        std::string path;
        ensurePresetList();
        if (!splitPresetSaveName(input, typed, err) ||
            builtinNameRefused(presets, typed.name, err) || !presetSavePath(typed, path, err))
            return false;
        // Saved back under its own name, a preset keeps its author and tags.
        plugincore::PresetData metadata;
        if (currentPreset >= 0 && static_cast<size_t>(currentPreset) < presets.size() &&
            presets[currentPreset].name == typed.name) {
            auto source = std::make_unique<StagedPreset>();
            const plugincore::GuiPreset& current = presets[currentPreset];
            std::string ignored;
            if (readPreset(current.loadKey.empty() ? CLAP_PRESET_DISCOVERY_LOCATION_FILE
                                                   : CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
                           current.path.c_str(), current.loadKey.c_str(), *source, ignored))
                metadata = std::move(source->data);
        }
        metadata.name = typed.name;
        metadata.description = description;
        std::array<double, kParamCount> current;
        for (uint32_t id = 0; id < kParamCount; ++id)
            current[id] = paramValue(id);
        if (!plugincore::writePresetFile(path, savedPresetText(metadata, current, curveSet), err))
            return false;
        presets.clear();
        presetListReady = false;
        ensurePresetList();
        currentPreset = findPreset(presets, [&path](const auto& p) { return p.path == path; });
        presetEdited.store(false, std::memory_order_release);
        return true;
    } catch (...) {
        err = "The preset could not be saved: out of memory.";
        return false;
    }
}

plugincore::GuiDelegate::SaveCheck NorvalePlugin::guiCheckSaveName(const std::string& input,
                                                                   std::string& message) const {
    PresetSaveName typed;
    if (!splitPresetSaveName(input, typed, message) ||
        builtinNameRefused(presets, typed.name, message))
        return SaveCheck::kRefused;
    if (userPresetNamed(presets, typed) < 0) return SaveCheck::kNew;
    message = typed.name;
    return SaveCheck::kReplaces;
}

bool NorvalePlugin::guiRenamePreset(int index, const std::string& input,
                                    const std::string& description, std::string& err) {
    if (index < 0 || size_t(index) >= presets.size() || !presets[index].user) {
        err = "Built-in presets cannot be renamed.";
        return false;
    }
    try {
        const plugincore::GuiPreset entry = presets[index];
        PresetSaveName typed;
        if (!splitPresetSaveName(input, typed, err) || builtinNameRefused(presets, typed.name, err))
            return false;
        typed.folder = entry.folder; // a rename stays in its folder
        if (userPresetNamed(presets, typed, index) >= 0) {
            err = "A preset named \u201c" + typed.name + "\u201d already exists.";
            return false;
        }
        auto staged = std::make_unique<StagedPreset>();
        resetCurves(staged->curves);
        if (!readPreset(CLAP_PRESET_DISCOVERY_LOCATION_FILE, entry.path.c_str(), nullptr, *staged,
                        err))
            return false;
        staged->data.name = typed.name;
        staged->data.description = description;
        // Its own file when the name keeps the file name, else a free one.
        std::string path = plugincore::userPresetPathIn(presetContext(), typed.folder, typed.name);
        if (path != entry.path && !presetSavePath(typed, path, err)) return false;
        if (!plugincore::writePresetFile(
                path, savedPresetText(staged->data, staged->values, staged->curves), err))
            return false;
        std::error_code removed;
        if (path != entry.path && !fs::remove(entry.path, removed)) {
            // The old file stays: take the new one back so nothing changed.
            std::error_code ignored;
            fs::remove(path, ignored);
            err = "cannot remove " + entry.path + ": " +
                  (removed ? removed.message() : std::string("it is gone"));
            return false;
        }
        const bool wasCurrent = index == currentPreset;
        rebuildPresetList();
        if (wasCurrent)
            currentPreset = findPreset(presets, [&path](const auto& p) { return p.path == path; });
        return true;
    } catch (...) {
        err = "The preset could not be renamed: out of memory.";
        return false;
    }
}

bool NorvalePlugin::guiDeletePreset(int index, std::string& err) {
    if (index < 0 || size_t(index) >= presets.size() || !presets[index].user) {
        err = "Built-in presets cannot be deleted.";
        return false;
    }
    try {
        std::error_code removed;
        if (!fs::remove(presets[index].path, removed)) {
            err = "cannot delete " + presets[index].path + ": " +
                  (removed ? removed.message() : std::string("it is gone"));
            return false;
        }
        rebuildPresetList(); // a deleted current preset leaves the sound as it is, unnamed
        return true;
    } catch (...) {
        err = "The preset could not be deleted: out of memory.";
        return false;
    }
}

} // namespace norvale
