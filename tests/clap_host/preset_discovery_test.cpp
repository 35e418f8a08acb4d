// The preset-discovery factory as an indexing host sees it: a copy of the
// plug-in file in a scratch folder (with or without a factory preset folder
// beside it), a recording indexer and a recording metadata receiver.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../presets/test_files.h"

namespace claphost {
namespace {

using presets_test::ScopedEnv;
using presets_test::TempDir;
using presets_test::writeFile;

constexpr char kProviderId[] = "org.kestrelhow.norvale.preset-provider";

std::optional<std::string> optText(const char* s) {
    return s != nullptr ? std::optional<std::string>(s) : std::nullopt;
}

struct RecordingIndexer {
    struct Filetype {
        std::optional<std::string> name, description, extension;
    };
    struct Location {
        uint32_t flags;
        std::optional<std::string> name;
        uint32_t kind;
        std::optional<std::string> location;
    };

    bool acceptFiletype = true;
    std::vector<Filetype> filetypes;
    std::vector<Location> locations;
    int soundpacks = 0;
    clap_preset_discovery_indexer clap;

    RecordingIndexer() {
        clap = {CLAP_VERSION_INIT, "recorder", nullptr, nullptr, nullptr, this,
                declareFiletype, declareLocation, declareSoundpack, getExtension};
    }
    RecordingIndexer(const RecordingIndexer&) = delete;
    RecordingIndexer& operator=(const RecordingIndexer&) = delete;

    static RecordingIndexer& self(const clap_preset_discovery_indexer* i) {
        return *static_cast<RecordingIndexer*>(i->indexer_data);
    }
    static bool declareFiletype(const clap_preset_discovery_indexer* i,
                                const clap_preset_discovery_filetype* f) {
        self(i).filetypes.push_back(
            {optText(f->name), optText(f->description), optText(f->file_extension)});
        return self(i).acceptFiletype;
    }
    static bool declareLocation(const clap_preset_discovery_indexer* i,
                                const clap_preset_discovery_location* l) {
        self(i).locations.push_back({l->flags, optText(l->name), l->kind, optText(l->location)});
        return true;
    }
    static bool declareSoundpack(const clap_preset_discovery_indexer* i,
                                 const clap_preset_discovery_soundpack*) {
        ++self(i).soundpacks;
        return true;
    }
    static const void* getExtension(const clap_preset_discovery_indexer*, const char*) {
        return nullptr;
    }
};

struct RecordingReceiver {
    struct Preset {
        std::string name;
        std::optional<std::string> loadKey;
        std::vector<std::string> calls;  // the describing calls, in order
        std::vector<std::pair<std::string, std::string>> pluginIds;
        std::optional<uint32_t> flags;
        std::vector<std::string> creators;
        std::optional<std::string> description;
        std::vector<std::string> features;
    };

    std::optional<size_t> refuseAt;  // index of the begin_preset that answers false
    int beginCalls = 0;
    std::vector<Preset> presets;  // only those begin_preset accepted
    std::vector<std::pair<int32_t, std::string>> errors;
    std::vector<std::string> unexpected;  // calls the provider never makes
    int strayCalls = 0;                   // describing calls without an accepted preset
    clap_preset_discovery_metadata_receiver clap;

    RecordingReceiver() {
        clap = {this,       onError,        beginPreset, addPluginId,
                setSoundpackId, setFlags,   addCreator,  setDescription,
                setTimestamps,  addFeature, addExtraInfo};
    }
    RecordingReceiver(const RecordingReceiver&) = delete;
    RecordingReceiver& operator=(const RecordingReceiver&) = delete;

    using Receiver = const clap_preset_discovery_metadata_receiver*;
    static RecordingReceiver& self(Receiver r) {
        return *static_cast<RecordingReceiver*>(r->receiver_data);
    }
    // The preset being described, or null for a call out of place.
    static Preset* current(Receiver r, const char* call) {
        RecordingReceiver& me = self(r);
        const bool accepted = !me.presets.empty() && me.beginCalls == int(me.presets.size());
        if (!accepted) {
            ++me.strayCalls;
            return nullptr;
        }
        me.presets.back().calls.push_back(call);
        return &me.presets.back();
    }

    static void onError(Receiver r, int32_t osError, const char* message) {
        self(r).errors.push_back({osError, message != nullptr ? message : "<null>"});
    }
    static bool beginPreset(Receiver r, const char* name, const char* loadKey) {
        RecordingReceiver& me = self(r);
        if (me.refuseAt == size_t(me.beginCalls++)) return false;
        me.presets.push_back({});
        me.presets.back().name = name != nullptr ? name : "<null>";
        me.presets.back().loadKey = optText(loadKey);
        return true;
    }
    static void addPluginId(Receiver r, const clap_universal_plugin_id* id) {
        if (Preset* p = current(r, "plugin_id"))
            p->pluginIds.push_back({id->abi != nullptr ? id->abi : "<null>",
                                    id->id != nullptr ? id->id : "<null>"});
    }
    static void setFlags(Receiver r, uint32_t flags) {
        if (Preset* p = current(r, "flags")) p->flags = flags;
    }
    static void addCreator(Receiver r, const char* creator) {
        if (Preset* p = current(r, "creator")) p->creators.push_back(creator);
    }
    static void setDescription(Receiver r, const char* description) {
        if (Preset* p = current(r, "description")) p->description = description;
    }
    static void addFeature(Receiver r, const char* feature) {
        if (Preset* p = current(r, "feature")) p->features.push_back(feature);
    }
    static void setSoundpackId(Receiver r, const char*) {
        self(r).unexpected.push_back("set_soundpack_id");
    }
    static void setTimestamps(Receiver r, clap_timestamp, clap_timestamp) {
        self(r).unexpected.push_back("set_timestamps");
    }
    static void addExtraInfo(Receiver r, const char*, const char*) {
        self(r).unexpected.push_back("add_extra_info");
    }
};

// A copy of the built plug-in file in its own folder, loaded from there, so
// the test decides what lies beside it.
class PluginCopy {
public:
    explicit PluginCopy(bool withFactoryFolder) {
        std::filesystem::copy_file(NORVALE_CLAP_PATH, dir_ / "Norvale.clap");
        if (withFactoryFolder) std::filesystem::create_directory(factoryFolder());
        module_.emplace((dir_ / "Norvale.clap").c_str());
    }

    const Module& module() const { return *module_; }
    std::string factoryFolder() const { return dir_ / "presets"; }
    const clap_preset_discovery_factory* factory() const {
        return static_cast<const clap_preset_discovery_factory*>(
            module_->entry()->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    }

private:
    TempDir dir_;
    std::optional<Module> module_;  // unloaded before the folder goes
};

// A created provider, destroyed through the host's call.
class Provider {
public:
    Provider(const clap_preset_discovery_factory* factory, const RecordingIndexer& indexer)
        : clap_(factory->create(factory, &indexer.clap, kProviderId)) {}
    ~Provider() {
        if (clap_ != nullptr) clap_->destroy(clap_);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;

    const clap_preset_discovery_provider* clap() const { return clap_; }
    bool init() const { return clap_->init(clap_); }
    bool metadata(uint32_t kind, const char* location, const RecordingReceiver& receiver) const {
        return clap_->get_metadata(clap_, kind, location, &receiver.clap);
    }

private:
    const clap_preset_discovery_provider* clap_;
};

class PresetDiscoveryTest : public ::testing::Test {
protected:
    // Starts with a user preset folder under a scratch XDG_CONFIG_HOME.
    void load(bool withFactoryFolder) {
        std::filesystem::create_directories(userFolder);
        copy.emplace(withFactoryFolder);
        ASSERT_TRUE(copy->module().ok()) << copy->module().error();
        factory = copy->factory();
        ASSERT_NE(factory, nullptr);
    }

    TempDir config;
    ScopedEnv xdg{"XDG_CONFIG_HOME", config.path()};
    const std::string userFolder = config / "Norvale/presets";
    std::optional<PluginCopy> copy;
    const clap_preset_discovery_factory* factory = nullptr;
    RecordingIndexer indexer;
    RecordingReceiver receiver;
};

TEST_F(PresetDiscoveryTest, EntryHandsOutOneFactoryWithOneProvider) {
    load(false);
    EXPECT_EQ(copy->factory(), factory);
    EXPECT_EQ(copy->module().entry()->get_factory("clap.preset-discovery-factory/draft-2"),
              nullptr);

    EXPECT_EQ(factory->count(factory), 1u);
    EXPECT_EQ(factory->get_descriptor(factory, 1), nullptr);
    const clap_preset_discovery_provider_descriptor* d = factory->get_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->clap_version.major, 1u);
    EXPECT_EQ(d->clap_version.minor, 2u);
    EXPECT_EQ(d->clap_version.revision, 10u);
    EXPECT_STREQ(d->id, kProviderId);
    EXPECT_STREQ(d->name, "Norvale Presets");
    EXPECT_STREQ(d->vendor, "Kestrelhow");
    EXPECT_EQ(std::string(d->id),
              std::string(copy->module().descriptor()->id) + ".preset-provider");
}

TEST_F(PresetDiscoveryTest, CreateAnswersOnlyTheExactProviderId) {
    load(false);
    EXPECT_EQ(factory->create(factory, nullptr, kProviderId), nullptr);
    EXPECT_EQ(factory->create(factory, &indexer.clap, nullptr), nullptr);
    EXPECT_EQ(factory->create(factory, &indexer.clap, "ORG.KESTRELHOW.NORVALE.PRESET-PROVIDER"),
              nullptr);
    EXPECT_EQ(factory->create(factory, &indexer.clap, copy->module().descriptor()->id), nullptr);

    Provider provider(factory, indexer);
    ASSERT_NE(provider.clap(), nullptr);
    EXPECT_EQ(provider.clap()->desc, factory->get_descriptor(factory, 0));
    EXPECT_EQ(provider.clap()->get_extension(provider.clap(), "clap.preset-discovery-factory/2"),
              nullptr);
    // Creating declares nothing yet.
    EXPECT_TRUE(indexer.filetypes.empty());
}

TEST_F(PresetDiscoveryTest, InitWithoutFoldersDeclaresTheBuiltinsOnly) {
    load(false);
    {
        ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
        ScopedEnv noHome("HOME", std::nullopt);
        Provider provider(factory, indexer);
        ASSERT_TRUE(provider.init());
    }
    ASSERT_EQ(indexer.filetypes.size(), 1u);
    EXPECT_EQ(indexer.filetypes[0].name, "Norvale Preset");
    EXPECT_EQ(indexer.filetypes[0].description, "Norvale curve preset");
    EXPECT_EQ(indexer.filetypes[0].extension, "norvale");
    ASSERT_EQ(indexer.locations.size(), 1u);
    EXPECT_EQ(indexer.locations[0].flags, uint32_t(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
    EXPECT_EQ(indexer.locations[0].name, "Norvale Factory Presets");
    EXPECT_EQ(indexer.locations[0].kind, uint32_t(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
    EXPECT_EQ(indexer.locations[0].location, std::nullopt);
    EXPECT_EQ(indexer.soundpacks, 0);

    // A user folder that is named but does not exist is not declared either.
    RecordingIndexer second;
    std::filesystem::remove_all(userFolder);
    Provider provider(factory, second);
    ASSERT_TRUE(provider.init());
    ASSERT_EQ(second.locations.size(), 1u);
    EXPECT_EQ(second.locations[0].kind, uint32_t(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
}

TEST_F(PresetDiscoveryTest, FactoryFolderReplacesTheBuiltinsAndTheUserFolderFollows) {
    load(true);
    Provider provider(factory, indexer);
    ASSERT_TRUE(provider.init());
    ASSERT_EQ(indexer.locations.size(), 2u);
    EXPECT_EQ(indexer.locations[0].flags, uint32_t(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
    EXPECT_EQ(indexer.locations[0].name, "Norvale Factory Presets");
    EXPECT_EQ(indexer.locations[0].kind, uint32_t(CLAP_PRESET_DISCOVERY_LOCATION_FILE));
    EXPECT_EQ(indexer.locations[0].location, copy->factoryFolder());
    EXPECT_EQ(indexer.locations[1].flags, uint32_t(CLAP_PRESET_DISCOVERY_IS_USER_CONTENT));
    EXPECT_EQ(indexer.locations[1].name, "Norvale User Presets");
    EXPECT_EQ(indexer.locations[1].kind, uint32_t(CLAP_PRESET_DISCOVERY_LOCATION_FILE));
    EXPECT_EQ(indexer.locations[1].location, userFolder);

    // A host that asks for the built-ins anyway still gets them.
    EXPECT_TRUE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, receiver));
    EXPECT_EQ(receiver.presets.size(), 10u);
}

TEST_F(PresetDiscoveryTest, InitFailsWhenTheFiletypeIsRefused) {
    load(false);
    indexer.acceptFiletype = false;
    Provider provider(factory, indexer);
    EXPECT_FALSE(provider.init());
    EXPECT_EQ(indexer.filetypes.size(), 1u);
    EXPECT_TRUE(indexer.locations.empty());
}

TEST_F(PresetDiscoveryTest, BuiltinsAreFactoryEffectPresetsOfThePlugin) {
    load(false);
    Provider provider(factory, indexer);
    ASSERT_TRUE(provider.init());
    ASSERT_TRUE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, receiver));

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"bended_duck", "Bended Duck"},     {"crush_steps", "Crush Steps"},
        {"drive_pump", "Drive Pump"},       {"filter_wobble", "Filter Wobble"},
        {"gated_stabs", "Gated Stabs"},     {"half_speed_stop", "Half Speed Stop"},
        {"kick_duck", "Kick Duck"},         {"live_stutter", "Live Stutter"},
        {"pan_steps", "Pan Steps"},         {"sidechain_duck", "Sidechain Duck"},
    };
    ASSERT_EQ(receiver.presets.size(), expected.size());
    const std::string pluginId = copy->module().descriptor()->id;
    EXPECT_EQ(pluginId, "org.kestrelhow.norvale");
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].first);
        const RecordingReceiver::Preset& p = receiver.presets[i];
        EXPECT_EQ(p.loadKey, expected[i].first);
        EXPECT_EQ(p.name, expected[i].second);
        EXPECT_EQ(p.pluginIds, (std::vector<std::pair<std::string, std::string>>{
                                   {"clap", pluginId}}));
        EXPECT_EQ(p.flags, uint32_t(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
        EXPECT_EQ(p.creators, std::vector<std::string>{"Norvale"});
        ASSERT_TRUE(p.description.has_value());
        EXPECT_FALSE(p.description->empty());
        EXPECT_EQ(p.features, std::vector<std::string>{"audio-effect"});
        EXPECT_EQ(p.calls, (std::vector<std::string>{"plugin_id", "flags", "creator",
                                                     "description", "feature"}));
    }
    EXPECT_TRUE(receiver.presets[0].description->starts_with("A quarter-note duck"));
    EXPECT_TRUE(receiver.errors.empty());
    EXPECT_TRUE(receiver.unexpected.empty());
    EXPECT_EQ(receiver.strayCalls, 0);
}

TEST_F(PresetDiscoveryTest, RefusedPresetIsNotDescribedAndEndsTheLocation) {
    load(false);
    Provider provider(factory, indexer);
    ASSERT_TRUE(provider.init());
    receiver.refuseAt = 2;
    EXPECT_TRUE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, receiver));
    EXPECT_EQ(receiver.beginCalls, 3);
    ASSERT_EQ(receiver.presets.size(), 2u);
    EXPECT_EQ(receiver.presets[1].calls.size(), 5u);
    EXPECT_EQ(receiver.strayCalls, 0);

    const std::string file = userFolder + "/One.norvale";
    writeFile(file, "name = One\n");
    RecordingReceiver refusing;
    refusing.refuseAt = 0;
    EXPECT_TRUE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, file.c_str(), refusing));
    EXPECT_EQ(refusing.beginCalls, 1);
    EXPECT_TRUE(refusing.presets.empty());
    EXPECT_EQ(refusing.strayCalls, 0);
    EXPECT_TRUE(receiver.errors.empty() && refusing.errors.empty());
}

TEST_F(PresetDiscoveryTest, FileIsUserContentOnlyUnderTheUserFolderText) {
    load(true);
    Provider provider(factory, indexer);
    ASSERT_TRUE(provider.init());

    const std::string userFile = userFolder + "/Dark_Pad.norvale";
    writeFile(userFile,
              "name = Dark Pad\nauthor = Ada\ndescription = Slow and low\nfeatures = dark, pad\n"
              "mix = 0.5\n");
    ASSERT_TRUE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, userFile.c_str(), receiver));
    ASSERT_EQ(receiver.presets.size(), 1u);
    const RecordingReceiver::Preset& user = receiver.presets[0];
    EXPECT_EQ(user.name, "Dark Pad");
    EXPECT_EQ(user.loadKey, "");
    EXPECT_EQ(user.flags, uint32_t(CLAP_PRESET_DISCOVERY_IS_USER_CONTENT));
    EXPECT_EQ(user.creators, std::vector<std::string>{"Ada"});
    EXPECT_EQ(user.description, "Slow and low");
    EXPECT_EQ(user.features, (std::vector<std::string>{"audio-effect", "dark", "pad"}));
    EXPECT_EQ(user.pluginIds.size(), 1u);

    // The same file reached through paths that do not begin with the folder's text.
    const std::string link = copy->factoryFolder() + "/linked.norvale";
    std::filesystem::create_symlink(userFile, link);
    const std::string dotted = "/." + userFile;
    // A factory file without name, author or description.
    const std::string factoryFile = copy->factoryFolder() + "/Plain_Duck.norvale";
    writeFile(factoryFile, "mix = 1\n");
    for (const std::string& path : {link, dotted, factoryFile})
        ASSERT_TRUE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, path.c_str(), receiver));
    ASSERT_EQ(receiver.presets.size(), 4u);
    for (size_t i : {1, 2}) {
        EXPECT_EQ(receiver.presets[i].name, "Dark Pad");
        EXPECT_EQ(receiver.presets[i].flags, uint32_t(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
    }
    const RecordingReceiver::Preset& plain = receiver.presets[3];
    EXPECT_EQ(plain.name, "Plain_Duck");
    EXPECT_EQ(plain.flags, uint32_t(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
    EXPECT_TRUE(plain.creators.empty());
    EXPECT_EQ(plain.description, std::nullopt);
    EXPECT_EQ(plain.features, std::vector<std::string>{"audio-effect"});
    EXPECT_EQ(plain.calls, (std::vector<std::string>{"plugin_id", "flags", "feature"}));
    EXPECT_TRUE(receiver.errors.empty());
}

TEST_F(PresetDiscoveryTest, UnreadableFileIsReportedWithTheReadersMessage) {
    load(false);
    Provider provider(factory, indexer);
    ASSERT_TRUE(provider.init());
    const std::string broken = userFolder + "/Broken.norvale";
    writeFile(broken, "# fine\nname = Broken\nthis is no entry\n");
    EXPECT_FALSE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, broken.c_str(), receiver));
    const std::string missing = userFolder + "/Missing.norvale";
    EXPECT_FALSE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, missing.c_str(), receiver));

    ASSERT_EQ(receiver.errors.size(), 2u);
    EXPECT_EQ(receiver.errors[0],
              std::make_pair(int32_t(0), broken + ": line 3: expected 'key = value'"));
    EXPECT_EQ(receiver.errors[1].first, 0);
    EXPECT_EQ(receiver.errors[1].second,
              "cannot open '" + missing + "': No such file or directory");
    EXPECT_EQ(receiver.beginCalls, 0);
}

TEST_F(PresetDiscoveryTest, OtherLocationsAreUnsupported) {
    load(false);
    Provider provider(factory, indexer);
    ASSERT_TRUE(provider.init());
    const std::string file = userFolder + "/One.norvale";
    writeFile(file, "name = One\n");

    EXPECT_FALSE(provider.metadata(2, file.c_str(), receiver));
    EXPECT_FALSE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, nullptr, receiver));
    EXPECT_FALSE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, "", receiver));
    const clap_preset_discovery_provider* p = provider.clap();
    EXPECT_FALSE(p->get_metadata(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, nullptr));

    const std::pair<int32_t, std::string> unsupported{0, "unsupported preset location"};
    EXPECT_EQ(receiver.errors, std::vector(3, unsupported));
    EXPECT_EQ(receiver.beginCalls, 0);
}

// A host lists the built-ins, then loads each one into a running instance.
TEST_F(PresetDiscoveryTest, DiscoveredBuiltinsLoadThroughPresetLoad) {
    load(false);
    Provider provider(factory, indexer);
    ASSERT_TRUE(provider.init());
    ASSERT_TRUE(provider.metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, receiver));
    ASSERT_EQ(receiver.presets.size(), 10u);

    TestHost host;
    Instance inst(copy->module(), host);
    const auto* presetLoad =
        static_cast<const clap_plugin_preset_load_t*>(inst.extension("clap.preset-load/2"));
    ASSERT_NE(presetLoad, nullptr);
    ASSERT_TRUE(inst.activate());
    std::set<std::vector<uint8_t>> sounds;
    for (const RecordingReceiver::Preset& preset : receiver.presets) {
        SCOPED_TRACE(*preset.loadKey);
        host.rescans.clear();
        host.presetsLoaded.clear();
        ASSERT_TRUE(presetLoad->from_location(inst.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
                                              nullptr, preset.loadKey->c_str()));
        EXPECT_EQ(host.rescans, std::vector<uint32_t>{3u});
        ASSERT_EQ(host.presetsLoaded.size(), 1u);
        EXPECT_EQ(host.presetsLoaded[0].location, std::nullopt);
        EXPECT_EQ(host.presetsLoaded[0].loadKey, preset.loadKey);
        sounds.insert(*inst.save());

        AudioBlock block(256);
        block.fillInput([](uint32_t i, int ch) { return 0.3f * float((i * 7 + ch) % 13) / 13.0f; });
        block.events.noteOn(10, 60);
        ASSERT_EQ(block.run(inst.plugin()), CLAP_PROCESS_CONTINUE);
        for (uint32_t i = 0; i < block.frames; ++i)
            ASSERT_TRUE(std::isfinite(block.outL[i]) && std::isfinite(block.outR[i])) << i;
    }
    EXPECT_EQ(sounds.size(), receiver.presets.size());  // every preset is a sound of its own
    EXPECT_TRUE(host.presetErrors.empty());
    EXPECT_TRUE(host.logs.empty());
}

}  // namespace
}  // namespace claphost
