// The preset-discovery factory as an indexing host sees it: a copy of the
// plug-in file in a scratch folder (with chosen folders beside it), an
// indexer and a metadata receiver that record every call as one line.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../presets/test_files.h"
#include "test_host.h"

namespace claphost {
namespace {

namespace fs = std::filesystem;
using presets_test::ScopedEnv;
using presets_test::TempDir;
using presets_test::writeFile;
using Lines = std::vector<std::string>;

constexpr char kProviderId[] = "org.kestrelhow.norvale.preset-provider";

std::string str(const char* s) {
    return s != nullptr ? s : "<null>";
}

struct Indexer {
    bool acceptFiletype = true;
    Lines calls;
    clap_preset_discovery_indexer clap{
        CLAP_VERSION_INIT,
        "recorder",
        nullptr,
        nullptr,
        nullptr,
        this,
        [](const clap_preset_discovery_indexer* i, const clap_preset_discovery_filetype* f) {
            self(i).calls.push_back("filetype " + str(f->name) + " | " + str(f->description) +
                                    " | " + str(f->file_extension));
            return self(i).acceptFiletype;
        },
        [](const clap_preset_discovery_indexer* i, const clap_preset_discovery_location* l) {
            self(i).calls.push_back("location " + std::to_string(l->flags) + " " + str(l->name) +
                                    " " + std::to_string(l->kind) + " " + str(l->location));
            return true;
        },
        [](const clap_preset_discovery_indexer* i, const clap_preset_discovery_soundpack*) {
            self(i).calls.push_back("soundpack");
            return true;
        },
        [](const clap_preset_discovery_indexer*, const char*) -> const void* { return nullptr; }};
    static Indexer& self(const clap_preset_discovery_indexer* i) {
        return *static_cast<Indexer*>(i->indexer_data);
    }
};

struct Receiver {
    int refuseAt = -1; // the begin_preset that answers false
    int begun = 0;
    Lines calls;
    using R = const clap_preset_discovery_metadata_receiver*;
    static Lines& log(R r) { return static_cast<Receiver*>(r->receiver_data)->calls; }
    clap_preset_discovery_metadata_receiver clap{
        this,
        [](R r, int32_t os, const char* m) {
            log(r).push_back("error " + std::to_string(os) + " " + str(m));
        },
        [](R r, const char* name, const char* key) {
            auto& me = *static_cast<Receiver*>(r->receiver_data);
            me.calls.push_back("begin " + str(name) + " | " + str(key));
            return me.refuseAt != me.begun++;
        },
        [](R r, const clap_universal_plugin_id* id) {
            log(r).push_back("id " + str(id->abi) + " " + str(id->id));
        },
        [](R r, const char*) { log(r).push_back("soundpack"); },
        [](R r, uint32_t flags) { log(r).push_back("flags " + std::to_string(flags)); },
        [](R r, const char* c) { log(r).push_back("creator " + str(c)); },
        [](R r, const char* d) { log(r).push_back("description " + str(d).substr(0, 19)); },
        [](R r, clap_timestamp, clap_timestamp) { log(r).push_back("timestamps"); },
        [](R r, const char* f) { log(r).push_back("feature " + str(f)); },
        [](R r, const char*, const char*) { log(r).push_back("extra"); }};
};

class PresetDiscoveryTest : public ::testing::Test {
protected:
    // A copy of the built plug-in file, loaded from a folder the test fills.
    void load(const std::string& factoryFolder = "") {
        fs::create_directories(userFolder);
        fs::copy_file(NORVALE_CLAP_PATH, dir / "Norvale.clap");
        if (!factoryFolder.empty()) {
            fs::create_directories(dir / factoryFolder);
            writeFile(dir / (factoryFolder + "/Plain_Duck.norvale"), "mix = 1\n");
        }
        module.emplace((dir / "Norvale.clap").c_str());
        ASSERT_TRUE(module->ok()) << module->error();
        factory = static_cast<const clap_preset_discovery_factory*>(
            module->entry()->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
        ASSERT_NE(factory, nullptr);
        provider = factory->create(factory, &indexer.clap, kProviderId);
        ASSERT_NE(provider, nullptr);
    }
    void TearDown() override {
        if (provider != nullptr) provider->destroy(provider);
    }
    bool metadata(uint32_t kind, const char* location, Receiver& r) {
        return provider->get_metadata(provider, kind, location, &r.clap);
    }
    TempDir config, dir;
    ScopedEnv xdg{"XDG_CONFIG_HOME", config.path()};
    const std::string userFolder = config / "Norvale/presets";
    std::optional<Module> module;
    const clap_preset_discovery_factory* factory = nullptr;
    const clap_preset_discovery_provider* provider = nullptr;
    Indexer indexer;
    Receiver receiver;
};

TEST_F(PresetDiscoveryTest, OneFactoryWithOneProviderForTheExactId) {
    load();
    const clap_preset_discovery_provider_descriptor* d = factory->get_descriptor(factory, 0);
    EXPECT_EQ(factory->count(factory), 1u);
    EXPECT_EQ(factory->get_descriptor(factory, 1), nullptr);
    EXPECT_STREQ(d->id, (std::string(module->descriptor()->id) + ".preset-provider").c_str());
    EXPECT_STREQ(d->name, "Norvale Presets");
    EXPECT_STREQ(d->vendor, "Kestrelhow");
    for (const char* id : {"ORG.KESTRELHOW.NORVALE.PRESET-PROVIDER", module->descriptor()->id})
        EXPECT_EQ(factory->create(factory, &indexer.clap, id), nullptr);
    EXPECT_EQ(factory->create(factory, nullptr, kProviderId), nullptr);
    EXPECT_EQ(provider->get_extension(provider, "x"), nullptr);
    EXPECT_TRUE(indexer.calls.empty()); // creating declares nothing yet
}

// Only a folder of Norvale's own holding a preset replaces the built-ins; a
// folder that merely lies beside the plug-in file (~/presets beside
// ~/.clap) does not.
TEST_F(PresetDiscoveryTest, InitDeclaresTheBuiltinsUnlessNorvalesOwnFolderIsThere) {
    const std::string filetype = "filetype Norvale Preset | Norvale curve preset | norvale";
    const std::string builtins = "location 1 Norvale Factory Presets 1 <null>";
    const std::string user = "location 2 Norvale User Presets 0 " + userFolder;
    for (const auto& [folder, expected] : std::vector<std::pair<std::string, Lines>>{
             {"", {filetype, builtins, user}},
             {"presets", {filetype, builtins, user}},
             {"Norvale/presets",
              {filetype, "location 1 Norvale Factory Presets 0 " + (dir / "Norvale/presets"),
               user}}}) {
        SCOPED_TRACE(folder);
        if (module) {
            provider->destroy(provider);
            provider = nullptr;
            module.reset();
            fs::remove_all(dir.path());
            fs::create_directory(dir.path());
            indexer.calls.clear();
        }
        load(folder);
        ASSERT_TRUE(provider->init(provider));
        EXPECT_EQ(indexer.calls, expected);
    }
    // A host that asks for the built-ins anyway still gets them.
    EXPECT_TRUE(metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, receiver));
    EXPECT_EQ(receiver.begun, 10);
    Indexer refusing;
    refusing.acceptFiletype = false;
    const auto* second = factory->create(factory, &refusing.clap, kProviderId);
    EXPECT_FALSE(second->init(second));
    EXPECT_EQ(refusing.calls.size(), 1u);
    second->destroy(second);
}

TEST_F(PresetDiscoveryTest, BuiltinsAreFactoryEffectPresetsUntilTheHostRefuses) {
    load();
    ASSERT_TRUE(provider->init(provider));
    receiver.refuseAt = 9;
    ASSERT_TRUE(metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, receiver));
    const std::string id = "id clap " + std::string(module->descriptor()->id);
    const Lines first = {"begin Bended Duck | bended_duck",
                         id,
                         "flags 1",
                         "creator Norvale",
                         "description A quarter-note duck",
                         "feature audio-effect"};
    EXPECT_EQ(Lines(receiver.calls.begin(), receiver.calls.begin() + 6), first);
    ASSERT_EQ(receiver.calls.size(), 9 * 6 + 1u);
    EXPECT_EQ(receiver.calls[6 * 6], "begin Kick Duck | kick_duck");
    EXPECT_EQ(receiver.calls.back(), "begin Sidechain Duck | sidechain_duck");
}

TEST_F(PresetDiscoveryTest, FilesAreDescribedOrTheirFaultReported) {
    load("Norvale/presets");
    ASSERT_TRUE(provider->init(provider));
    const std::string userFile = userFolder + "/Dark_Pad.norvale";
    writeFile(userFile,
              "name = Dark Pad\nauthor = Ada\ndescription = Slow\nfeatures = dark, pad\n");
    writeFile(userFolder + "/Broken.norvale", "# fine\nname = Broken\nthis is no entry\n");
    writeFile(userFolder + "/Rate.norvale", "vol_rate = 1/64\n");
    fs::create_directory(userFolder + "/Folder.norvale");
    fs::create_symlink(userFile, dir / "Norvale/presets/linked.norvale");
    const std::string id = "id clap " + std::string(module->descriptor()->id);
    const std::pair<std::string, Lines> cases[] = {
        {userFile,
         {"begin Dark Pad | ", id, "flags 2", "creator Ada", "description Slow",
          "feature audio-effect", "feature dark", "feature pad"}},
        // Not under the user folder's text: factory content.
        {dir / "Norvale/presets/linked.norvale",
         {"begin Dark Pad | ", id, "flags 1", "creator Ada", "description Slow",
          "feature audio-effect", "feature dark", "feature pad"}},
        {dir / "Norvale/presets/Plain_Duck.norvale",
         {"begin Plain_Duck | ", id, "flags 1", "feature audio-effect"}},
        {userFolder + "/Broken.norvale",
         {"error 0 " + userFolder + "/Broken.norvale: line 3: expected 'key = value'"}},
        {userFolder + "/Rate.norvale",
         {"error 0 " + userFolder + "/Rate.norvale: line 1: '1/64' is not a choice of vol_rate"}},
        {userFolder + "/Folder.norvale",
         {"error 0 read error on '" + userFolder + "/Folder.norvale': not a regular file"}},
        {userFolder + "/Missing.norvale",
         {"error 0 cannot open '" + userFolder + "/Missing.norvale': No such file or directory"}},
    };
    for (const auto& [path, expected] : cases) {
        Receiver r;
        EXPECT_EQ(metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, path.c_str(), r),
                  expected.size() > 1)
            << path;
        EXPECT_EQ(r.calls, expected);
    }
    EXPECT_FALSE(metadata(2, userFile.c_str(), receiver));
    EXPECT_FALSE(metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, nullptr, receiver));
    EXPECT_FALSE(metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, "", receiver));
    EXPECT_FALSE(
        provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, nullptr));
    EXPECT_EQ(receiver.calls, Lines(3, "error 0 unsupported preset location"));
}

// A host lists the built-ins and loads each into a running instance; a load
// that cannot read its file says why, to the host and to its log.
TEST_F(PresetDiscoveryTest, DiscoveredPresetsLoadThroughPresetLoad) {
    load();
    ASSERT_TRUE(provider->init(provider));
    ASSERT_TRUE(metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, receiver));
    TestHost host;
    Instance inst(*module, host);
    const auto* presetLoad =
        static_cast<const clap_plugin_preset_load_t*>(inst.extension("clap.preset-load/2"));
    ASSERT_NE(presetLoad, nullptr);
    ASSERT_TRUE(inst.activate());
    std::set<std::vector<uint8_t>> sounds;
    for (const std::string& call : receiver.calls) {
        if (!call.starts_with("begin ")) continue;
        const std::string key = call.substr(call.find(" | ") + 3);
        host.rescans.clear();
        ASSERT_TRUE(presetLoad->from_location(inst.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
                                              nullptr, key.c_str()))
            << key;
        EXPECT_EQ(host.rescans, std::vector<uint32_t>{3u});
        EXPECT_EQ(host.presetsLoaded.back().loadKey, key);
        sounds.insert(*inst.save());
        AudioBlock block(256);
        block.fillInput([](uint32_t i, int ch) { return 0.3f * float((i * 7 + ch) % 13) / 13.0f; });
        ASSERT_EQ(block.run(inst.plugin()), CLAP_PROCESS_CONTINUE);
        for (uint32_t i = 0; i < block.frames; ++i)
            ASSERT_TRUE(std::isfinite(block.outL[i])) << key << i;
    }
    EXPECT_EQ(sounds.size(), 10u); // every preset is a sound of its own
    EXPECT_TRUE(host.presetErrors.empty() && host.logs.empty());
    const auto before = inst.save();
    EXPECT_FALSE(presetLoad->from_location(inst.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_FILE,
                                           userFolder.c_str(), nullptr));
    const std::string why = "read error on '" + userFolder + "': not a regular file";
    ASSERT_EQ(host.presetErrors.size(), 1u);
    EXPECT_EQ(host.presetErrors[0].message, why);
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].message, why);
    EXPECT_EQ(inst.save(), before);
}

} // namespace
} // namespace claphost
