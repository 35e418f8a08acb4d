#include "render/preset_catalog.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <memory>
#include <system_error>

#include "render/errors.h"

namespace norvale::render {
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
        table.name = "norvale-render";
        table.vendor = "Kestrelhow";
        table.url = "";
        table.version = NORVALE_RENDER_VERSION;
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

} // namespace norvale::render
