#include "render/preset_commands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <system_error>
#include <vector>

#include "plugin/product.h"
#include "presets/preset_files.h"
#include "presets/preset_format.h"
#include "presets/preset_text.h"
#include "presets/state_codec.h"
#include "render/clap_host.h"
#include "render/options.h"

namespace norvale::render {

// ---- catalog ----
namespace {

namespace fs = std::filesystem;

struct Location {
    uint32_t flags = 0;
    uint32_t kind = 0;
    std::string path;
};

// What a provider declares while it starts.
struct Indexer {
    std::vector<std::string> extensions; // "" matches every file
    std::vector<Location> locations;
    clap_preset_discovery_indexer_t table{};

    Indexer() {
        table.clap_version = CLAP_VERSION;
        table.name = kHostName;
        table.vendor = kHostVendor;
        table.url = "";
        table.version = norvale::kVersion;
        table.indexer_data = this;
        table.declare_filetype = declareFiletype;
        table.declare_location = declareLocation;
        table.declare_soundpack = declareSoundpack;
        table.get_extension = getExtension;
    }
    Indexer(const Indexer&) = delete; // the table points back at this object
    Indexer& operator=(const Indexer&) = delete;

    static Indexer& of(const clap_preset_discovery_indexer_t* indexer) {
        return *static_cast<Indexer*>(indexer->indexer_data);
    }
    static bool declareFiletype(const clap_preset_discovery_indexer_t* indexer,
                                const clap_preset_discovery_filetype_t* filetype) {
        if (!filetype) return false;
        of(indexer).extensions.emplace_back(filetype->file_extension ? filetype->file_extension
                                                                     : "");
        return true;
    }
    static bool declareLocation(const clap_preset_discovery_indexer_t* indexer,
                                const clap_preset_discovery_location_t* location) {
        if (!location) return false;
        if (location->kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE && !location->location)
            return false;
        of(indexer).locations.push_back(
            {location->flags, location->kind, location->location ? location->location : ""});
        return true;
    }
    static bool declareSoundpack(const clap_preset_discovery_indexer_t*,
                                 const clap_preset_discovery_soundpack_t*) {
        return true;
    }
    static const void* getExtension(const clap_preset_discovery_indexer_t*, const char*) {
        return nullptr;
    }
};

struct FoundPreset {
    PresetEntry entry;
    uint32_t flags = 0;
    bool forThisPlugin = false;
};

// Collects the presets of one get_metadata call.
struct Receiver {
    const char* pluginId;
    uint32_t locationFlags;
    std::vector<FoundPreset> found;
    bool failed = false;
    std::string error;
    clap_preset_discovery_metadata_receiver_t table{};

    Receiver(const char* pluginId, uint32_t locationFlags)
        : pluginId(pluginId), locationFlags(locationFlags) {
        table.receiver_data = this;
        table.on_error = onError;
        table.begin_preset = beginPreset;
        table.add_plugin_id = addPluginId;
        table.set_soundpack_id = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {
        };
        table.set_flags = setFlags;
        table.add_creator = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
        table.set_description = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {
        };
        table.set_timestamps = [](const clap_preset_discovery_metadata_receiver_t*, clap_timestamp,
                                  clap_timestamp) {};
        table.add_feature = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
        table.add_extra_info = [](const clap_preset_discovery_metadata_receiver_t*, const char*,
                                  const char*) {};
    }
    Receiver(const Receiver&) = delete; // the table points back at this object
    Receiver& operator=(const Receiver&) = delete;

    static Receiver& of(const clap_preset_discovery_metadata_receiver_t* receiver) {
        return *static_cast<Receiver*>(receiver->receiver_data);
    }
    // The file is left out of the list; the reason goes to whoever asked for it.
    static void onError(const clap_preset_discovery_metadata_receiver_t* receiver, int32_t,
                        const char* message) {
        of(receiver).failed = true;
        of(receiver).error = message ? message : "no reason given";
    }
    static bool beginPreset(const clap_preset_discovery_metadata_receiver_t* receiver,
                            const char* name, const char* loadKey) {
        Receiver& self = of(receiver);
        FoundPreset preset;
        preset.entry.name = name ? name : "";
        preset.entry.loadKey = loadKey ? loadKey : "";
        preset.flags = self.locationFlags;
        self.found.push_back(std::move(preset));
        return true;
    }
    static void addPluginId(const clap_preset_discovery_metadata_receiver_t* receiver,
                            const clap_universal_plugin_id_t* id) {
        Receiver& self = of(receiver);
        if (!self.found.empty() && id && id->abi && id->id && std::strcmp(id->abi, "clap") == 0 &&
            std::strcmp(id->id, self.pluginId) == 0)
            self.found.back().forThisPlugin = true;
    }
    static void setFlags(const clap_preset_discovery_metadata_receiver_t* receiver,
                         uint32_t flags) {
        Receiver& self = of(receiver);
        if (!self.found.empty()) self.found.back().flags = flags;
    }
};

using ProviderHandle = std::unique_ptr<const clap_preset_discovery_provider_t,
                                       void (*)(const clap_preset_discovery_provider_t*)>;

void destroyProvider(const clap_preset_discovery_provider_t* provider) {
    provider->destroy(provider);
}

bool matchesExtension(const std::string& fileName, const std::vector<std::string>& extensions) {
    for (const std::string& extension : extensions) {
        if (extension.empty()) return true;
        const std::string suffix = "." + extension;
        if (fileName.size() > suffix.size() && fileName.ends_with(suffix)) return true;
    }
    return false;
}

struct PresetFile {
    std::string path;
    std::string folder;
};

// The folder itself and its direct sub-folders, as deep as the plug-in's own
// list looks. Listing errors end that folder's scan.
std::vector<PresetFile> presetFilesIn(const std::string& root,
                                      const std::vector<std::string>& extensions) {
    std::vector<PresetFile> files;
    std::error_code error;
    if (fs::is_regular_file(root, error)) return {{root, ""}};
    const auto scan = [&](const std::string& dir, const std::string& folder) {
        std::error_code listError;
        for (fs::directory_iterator it(dir, listError), end; !listError && it != end;
             it.increment(listError)) {
            const std::string fileName = it->path().filename().string();
            std::error_code statError;
            if (matchesExtension(fileName, extensions) &&
                fs::is_regular_file(it->path(), statError))
                files.push_back({dir + "/" + fileName, folder});
        }
    };
    scan(root, "");
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        std::error_code statError;
        if (fs::is_directory(it->path(), statError)) {
            const std::string folder = it->path().filename().string();
            scan(root + "/" + folder, folder);
        }
    }
    return files;
}

void keepPresets(Receiver& receiver, const std::string& folder, std::vector<PresetEntry>& out) {
    if (receiver.failed) return;
    for (FoundPreset& preset : receiver.found) {
        if (!preset.forThisPlugin) continue;
        if (preset.flags & CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT)
            preset.entry.folder = kFactoryFolder;
        else
            preset.entry.folder = folder;
        out.push_back(std::move(preset.entry));
    }
}

void addLocation(const clap_preset_discovery_provider_t& provider, const Indexer& indexer,
                 const Location& location, const char* pluginId, std::vector<PresetEntry>& out,
                 std::vector<std::string>* skipped) {
    if (location.kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
        Receiver receiver(pluginId, location.flags);
        provider.get_metadata(&provider, location.kind, nullptr, &receiver.table);
        for (FoundPreset& preset : receiver.found)
            preset.entry.kind = CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN;
        keepPresets(receiver, "", out);
        return;
    }
    std::vector<PresetEntry> presets;
    for (const PresetFile& file : presetFilesIn(location.path, indexer.extensions)) {
        Receiver receiver(pluginId, location.flags);
        provider.get_metadata(&provider, CLAP_PRESET_DISCOVERY_LOCATION_FILE, file.path.c_str(),
                              &receiver.table);
        for (FoundPreset& preset : receiver.found) {
            preset.entry.kind = CLAP_PRESET_DISCOVERY_LOCATION_FILE;
            preset.entry.location = file.path;
        }
        if (receiver.failed && skipped) skipped->push_back(receiver.error);
        keepPresets(receiver, file.folder, presets);
    }
    // std::string compares bytes as unsigned characters, as the plug-in's own list does.
    std::stable_sort(presets.begin(), presets.end(),
                     [](const PresetEntry& a, const PresetEntry& b) {
                         return a.folder != b.folder ? a.folder < b.folder : a.name < b.name;
                     });
    out.insert(out.end(), presets.begin(), presets.end());
}

} // namespace

std::vector<PresetEntry> discoverPresets(const ClapModule& module,
                                         std::vector<std::string>* skipped) {
    const clap_preset_discovery_factory_t* factory = module.presetDiscoveryFactory();
    if (!factory || !factory->count || !factory->get_descriptor || !factory->create)
        throw RenderError(fmt::format("'{}' offers no preset discovery", module.path()));
    const char* pluginId = module.descriptor().id;
    std::vector<PresetEntry> presets;
    const uint32_t count = factory->count(factory);
    for (uint32_t index = 0; index < count; ++index) {
        const clap_preset_discovery_provider_descriptor_t* descriptor =
            factory->get_descriptor(factory, index);
        if (!descriptor || !descriptor->id) continue;
        Indexer indexer;
        const clap_preset_discovery_provider_t* created =
            factory->create(factory, &indexer.table, descriptor->id);
        if (!created)
            throw RenderError(
                fmt::format("the preset provider '{}' could not be created", descriptor->id));
        const ProviderHandle provider(created, destroyProvider);
        if (!provider->init(provider.get()))
            throw RenderError(
                fmt::format("the preset provider '{}' failed to start", descriptor->id));
        for (const Location& location : indexer.locations)
            addLocation(*provider, indexer, location, pluginId, presets, skipped);
    }
    return presets;
}

void printPresetList(const std::vector<PresetEntry>& presets, std::FILE* out) {
    std::size_t folderWidth = 6, nameWidth = 4;
    for (const PresetEntry& preset : presets) {
        folderWidth = std::max(folderWidth, preset.folder.size());
        nameWidth = std::max(nameWidth, preset.name.size());
    }
    fmt::print(out, "{:<{}}  {:<{}}  {}\n", "folder", folderWidth, "name", nameWidth,
               "key or file");
    for (const PresetEntry& preset : presets)
        fmt::print(out, "{:<{}}  {:<{}}  {}\n", preset.folder, folderWidth, preset.name, nameWidth,
                   preset.kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN ? preset.loadKey
                                                                        : preset.location);
}

// ---- choosing a preset ----

namespace {

constexpr std::string_view kPresetExtension = ".norvale";

bool looksLikeFile(const std::string& wanted) {
    return wanted.find('/') != std::string::npos || wanted.ends_with(kPresetExtension);
}

PresetChoice choiceOf(const PresetEntry& entry) {
    return {entry.kind, entry.location, entry.loadKey};
}

template <typename Match>
const PresetEntry* firstMatch(const std::vector<PresetEntry>& presets, Match&& matches) {
    const auto found = std::find_if(presets.begin(), presets.end(), matches);
    return found == presets.end() ? nullptr : &*found;
}

// Split as a save splits what it is given, so a saved "Bass / My Duck" loads by the same text.
const PresetEntry* byFolderAndName(const std::string& wanted,
                                   const std::vector<PresetEntry>& presets) {
    if (wanted.find_first_of("/\\") == std::string::npos) return nullptr;
    PresetSaveName typed;
    std::string ignored;
    if (!splitPresetSaveName(wanted, typed, ignored)) return nullptr;
    return firstMatch(presets, [&](const PresetEntry& p) {
        return plugincore::equalsIgnoringCase(p.folder, typed.folder) &&
               plugincore::equalsIgnoringCase(p.name, typed.name);
    });
}

std::vector<std::string> nearestNames(const std::string& wanted,
                                      const std::vector<PresetEntry>& presets) {
    const std::string key = plugincore::lowerCase(wanted);
    std::vector<std::size_t> distance(presets.size());
    for (std::size_t i = 0; i < presets.size(); ++i) {
        distance[i] = editDistance(key, plugincore::lowerCase(presets[i].name));
        if (!presets[i].loadKey.empty())
            distance[i] = std::min(distance[i], editDistance(key, presets[i].loadKey));
    }
    std::vector<std::size_t> order(presets.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return distance[a] < distance[b]; });
    std::vector<std::string> names;
    for (std::size_t i : order) {
        if (names.size() == 3) break;
        if (std::find(names.begin(), names.end(), presets[i].name) == names.end())
            names.push_back(presets[i].name);
    }
    return names;
}

} // namespace

bool namesPresetFile(const std::string& wanted) {
    std::error_code error;
    return looksLikeFile(wanted) && std::filesystem::is_regular_file(wanted, error);
}

PresetChoice choosePreset(const std::string& wanted, const std::vector<PresetEntry>& presets) {
    const PresetEntry* found = firstMatch(
        presets, [&](const PresetEntry& p) { return !p.loadKey.empty() && p.loadKey == wanted; });
    if (!found) found = firstMatch(presets, [&](const PresetEntry& p) { return p.name == wanted; });
    if (!found)
        found = firstMatch(presets, [&](const PresetEntry& p) {
            return plugincore::equalsIgnoringCase(p.name, wanted);
        });
    if (!found) found = byFolderAndName(wanted, presets);
    if (found) return choiceOf(*found);
    if (looksLikeFile(wanted)) return {CLAP_PRESET_DISCOVERY_LOCATION_FILE, wanted, ""};
    if (presets.empty())
        throw UsageError(fmt::format("unknown preset '{}': the plug-in lists none", wanted));
    throw UsageError(fmt::format("unknown preset '{}' (nearest: {}; --list-presets shows all)",
                                 wanted, fmt::join(nearestNames(wanted, presets), ", ")));
}

// ---- saving the sound ----

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

// ---- sound setup ----

namespace {

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes;
    if (file) bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) throw RenderError(fmt::format("cannot read '{}'", path));
    return bytes;
}

void loadPreset(PluginInstance& plugin, HostServices& host, const ClapModule& module,
                const std::string& wanted) {
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
            throw UsageError(fmt::format("--set {}: the plug-in's {} {} does not accept '{}'",
                                         setting.key, info->module, info->name, setting.text));
        events.push_back(paramValueEvent(setting.id, info->cookie, *value));
    }
    return events;
}

} // namespace

std::vector<clap_event_param_value_t> setUpSound(PluginInstance& plugin, HostServices& host,
                                                 const ClapModule& module,
                                                 const RenderOptions& options) {
    if (!options.stateIn.empty() && !plugin.loadState(readFileBytes(options.stateIn)))
        throw RenderError(fmt::format("the plug-in rejected the state in '{}'", options.stateIn));
    if (!options.preset.empty()) loadPreset(plugin, host, module, options.preset);
    const std::vector<clap_event_param_value_t> settings =
        resolveSettings(plugin, options.settings);

    // Values go in before activation and again with the first block, so they
    // hold from the first sample whichever path the plug-in honours.
    InputEvents flushEvents;
    for (const auto& setting : settings)
        flushEvents.add(setting);
    DiscardedEvents discarded;
    plugin.flushParams(flushEvents.list(), discarded.list());
    return settings;
}

void requireKnownParameters(const PluginInstance& plugin) {
    if (plugin.paramCount() != kParamKeys.size())
        throw RenderError(
            fmt::format("the plug-in has {} parameters, but this tool knows the keys of {}",
                        plugin.paramCount(), kParamKeys.size()));
}

// ---- preset-only runs ----

void listPresets(const RenderOptions& options, std::FILE* out) {
    const ClapModule module(locatePlugin(options.pluginPath));
    std::vector<std::string> skipped;
    printPresetList(discoverPresets(module, &skipped), out);
    std::sort(skipped.begin(), skipped.end()); // folder order is no order
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
