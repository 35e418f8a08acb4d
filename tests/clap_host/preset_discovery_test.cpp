// The preset-discovery factory as an indexing host sees it: a copy of the
// plug-in file in a scratch folder (with chosen folders beside it), and an
// indexer and a receiver that record every call as one line.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <set>

#include "../presets/test_files.h"
#include "test_host.h"

namespace claphost {
namespace {

namespace fs = std::filesystem;
using presets_test::writeFile;
using Lines = std::vector<std::string>;
constexpr char kProviderId[] = "org.kestrelhow.norvale.preset-provider";

std::string str(const char* s) {
    return s != nullptr ? s : "<null>";
}
std::string num(uint32_t n) {
    return std::to_string(n);
}

struct Recorder {
    bool acceptFiletype = true;
    int refuseAt = -1, begun = 0; // the begin_preset that answers false
    Lines calls;
    static Lines& log(const void* data) {
        return static_cast<Recorder*>(const_cast<void*>(data))->calls;
    }
    using I = const clap_preset_discovery_indexer*;
    using R = const clap_preset_discovery_metadata_receiver*;
    clap_preset_discovery_indexer indexer{
        CLAP_VERSION_INIT,
        "recorder",
        nullptr,
        nullptr,
        nullptr,
        this,
        [](I i, const clap_preset_discovery_filetype* f) {
            log(i->indexer_data)
                .push_back("filetype " + str(f->name) + " " + str(f->file_extension));
            return static_cast<Recorder*>(i->indexer_data)->acceptFiletype;
        },
        [](I i, const clap_preset_discovery_location* l) {
            log(i->indexer_data)
                .push_back("location " + num(l->flags) + " " + str(l->name) + " " + num(l->kind) +
                           " " + str(l->location));
            return true;
        },
        [](I i, const clap_preset_discovery_soundpack*) { return !log(i->indexer_data).empty(); },
        [](I, const char*) -> const void* { return nullptr; }};
    clap_preset_discovery_metadata_receiver receiver{
        this,
        [](R r, int32_t os, const char* m) {
            log(r->receiver_data).push_back("error " + num(os) + " " + str(m));
        },
        [](R r, const char* name, const char* key) {
            auto& me = *static_cast<Recorder*>(r->receiver_data);
            me.calls.push_back("begin " + str(name) + " | " + str(key));
            return me.refuseAt != me.begun++;
        },
        [](R r, const clap_universal_plugin_id* id) {
            log(r->receiver_data).push_back("id " + str(id->id));
        },
        [](R r, const char*) { log(r->receiver_data).push_back("soundpack"); },
        [](R r, uint32_t flags) { log(r->receiver_data).push_back("flags " + num(flags)); },
        [](R r, const char* c) { log(r->receiver_data).push_back("creator " + str(c)); },
        [](R r, const char* d) {
            log(r->receiver_data).push_back("description " + str(d).substr(0, 19));
        },
        [](R r, clap_timestamp, clap_timestamp) { log(r->receiver_data).push_back("timestamps"); },
        [](R r, const char* f) { log(r->receiver_data).push_back("feature " + str(f)); },
        [](R r, const char*, const char*) { log(r->receiver_data).push_back("extra"); }};
};

class PresetDiscoveryTest : public ::testing::Test {
protected:
    // A copy of the built plug-in file, loaded from a folder of the test's own.
    void load(const std::string& factoryFolder = "") {
        fs::create_directories(userFolder);
        fs::copy_file(NORVALE_CLAP_PATH, dir / "Norvale.clap");
        if (!factoryFolder.empty())
            writeFile(make(factoryFolder) + "/Plain_Duck.norvale", "mix = 1\n");
        module.emplace((dir / "Norvale.clap").c_str());
        ASSERT_TRUE(module->ok()) << module->error();
        factory = static_cast<const clap_preset_discovery_factory*>(
            module->entry()->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
        provider = factory->create(factory, &rec.indexer, kProviderId);
        ASSERT_TRUE(provider != nullptr && provider->init(provider));
    }
    std::string make(const std::string& folder) const {
        fs::create_directories(dir / folder);
        return dir / folder;
    }
    void TearDown() override {
        if (provider != nullptr) provider->destroy(provider);
    }
    Lines metadata(uint32_t kind, const char* location, bool ok = true, int refuseAt = -1) {
        Recorder r;
        r.refuseAt = refuseAt;
        EXPECT_EQ(provider->get_metadata(provider, kind, location, &r.receiver), ok)
            << str(location);
        return r.calls;
    }
    presets_test::TempDir config, dir;
    presets_test::ScopedEnv xdg{"XDG_CONFIG_HOME", config.path()};
    const std::string userFolder = config / "Norvale/presets";
    std::optional<Module> module;
    const clap_preset_discovery_factory* factory = nullptr;
    const clap_preset_discovery_provider* provider = nullptr;
    Recorder rec;
};

// Only a folder of Norvale's own holding a preset replaces the built-ins; a
// folder that merely lies beside the plug-in file (~/presets beside
// ~/.clap) does not.
TEST_F(PresetDiscoveryTest, InitDeclaresTheBuiltinsUnlessNorvalesOwnFolderIsThere) {
    const std::string user = "location 2 Norvale User Presets 0 " + userFolder;
    const std::pair<std::string, std::string> cases[] = {
        {"", "location 1 Norvale Factory Presets 1 <null>"},
        {"presets", "location 1 Norvale Factory Presets 1 <null>"},
        {"Norvale/presets", "location 1 Norvale Factory Presets 0 " + (dir / "Norvale/presets")}};
    for (const auto& [folder, factoryLocation] : cases) {
        if (module) {
            provider->destroy(provider);
            module.reset();
            fs::remove_all(dir / "Norvale.clap");
            rec.calls.clear();
        }
        load(folder);
        EXPECT_EQ(rec.calls, (Lines{"filetype Norvale Preset norvale", factoryLocation, user}));
    }
    EXPECT_EQ(metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr).size(), 60u); // asked anyway
    EXPECT_STREQ(factory->get_descriptor(factory, 0)->id,
                 (std::string(module->descriptor()->id) + ".preset-provider").c_str());
    for (const char* id : {"ORG.KESTRELHOW.NORVALE.PRESET-PROVIDER", module->descriptor()->id})
        EXPECT_EQ(factory->create(factory, &rec.indexer, id), nullptr);
    Recorder refusing;
    refusing.acceptFiletype = false;
    const auto* second = factory->create(factory, &refusing.indexer, kProviderId);
    EXPECT_FALSE(second->init(second));
    EXPECT_EQ(refusing.calls.size(), 1u);
    second->destroy(second);
}

TEST_F(PresetDiscoveryTest, BuiltinsAreFactoryEffectPresetsUntilTheHostRefuses) {
    load();
    const Lines calls = metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, true, 9);
    const Lines first = {"begin Bended Duck | bended_duck",
                         "id " + str(module->descriptor()->id),
                         "flags 1",
                         "creator Norvale",
                         "description A quarter-note duck",
                         "feature audio-effect"};
    EXPECT_EQ(Lines(calls.begin(), calls.begin() + 6), first);
    ASSERT_EQ(calls.size(), 9 * 6 + 1u);
    EXPECT_EQ(calls[6 * 6], "begin Kick Duck | kick_duck");
    EXPECT_EQ(calls.back(), "begin Sidechain Duck | sidechain_duck");
}

TEST_F(PresetDiscoveryTest, FilesAreDescribedOrTheirFaultReported) {
    load("Norvale/presets");
    const std::string user = userFolder + "/", id = "id " + str(module->descriptor()->id);
    writeFile(user + "Dark.norvale",
              "name = Dark\nauthor = Ada\ndescription = Slow\nfeatures = dark\n");
    writeFile(user + "Broken.norvale", "# fine\nname = Broken\nthis is no entry\n");
    fs::create_symlink(user + "Dark.norvale", dir / "Norvale/presets/linked.norvale");
    const Lines dark = {
        "begin Dark | ", id, "flags 2", "creator Ada", "description Slow", "feature audio-effect",
        "feature dark"};
    Lines linked = dark;
    linked[2] = "flags 1"; // not under the user folder's text: factory content
    const std::pair<std::string, Lines> cases[] = {
        {user + "Dark.norvale", dark},
        {dir / "Norvale/presets/linked.norvale", linked},
        {dir / "Norvale/presets/Plain_Duck.norvale",
         {"begin Plain_Duck | ", id, "flags 1", "feature audio-effect"}},
        // Why a file is refused is the preset files' own test; here: it reaches the host.
        {user + "Broken.norvale",
         {"error 0 " + user + "Broken.norvale: line 3: expected 'key = value'"}}};
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, path.c_str(), expected.size() > 1),
                  expected);
    const Lines unsupported{"error 0 unsupported preset location"};
    EXPECT_EQ(metadata(2, (user + "Dark.norvale").c_str(), false), unsupported);
    EXPECT_EQ(metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, nullptr, false), unsupported);
    EXPECT_EQ(metadata(CLAP_PRESET_DISCOVERY_LOCATION_FILE, "", false), unsupported);
}

// A host lists the built-ins and loads each into a running instance. (A load
// that fails is the preset library's test.)
TEST_F(PresetDiscoveryTest, DiscoveredPresetsLoadThroughPresetLoad) {
    load();
    TestHost host;
    Instance inst(*module, host);
    const auto* presetLoad =
        static_cast<const clap_plugin_preset_load_t*>(inst.extension("clap.preset-load/2"));
    ASSERT_TRUE(presetLoad != nullptr && inst.activate());
    std::set<std::vector<uint8_t>> sounds;
    for (const std::string& call : metadata(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr)) {
        if (!call.starts_with("begin ")) continue;
        const std::string key = call.substr(call.find(" | ") + 3);
        ASSERT_TRUE(presetLoad->from_location(inst.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
                                              nullptr, key.c_str()));
        EXPECT_EQ(host.presetsLoaded.back().loadKey, key);
        sounds.insert(*inst.save());
        AudioBlock block(256);
        block.fillInput([](uint32_t i, int ch) { return 0.3f * float((i * 7 + ch) % 13) / 13.0f; });
        ASSERT_EQ(block.run(inst.plugin()), CLAP_PROCESS_CONTINUE);
        for (uint32_t i = 0; i < block.frames; ++i)
            ASSERT_TRUE(std::isfinite(block.outL[i])) << key;
    }
    EXPECT_EQ(sounds.size(), 10u); // every preset is a sound of its own
    EXPECT_EQ(host.rescans, std::vector<uint32_t>(10, 3u));
}

} // namespace
} // namespace claphost
