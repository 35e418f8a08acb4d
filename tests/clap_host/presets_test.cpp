// Presets through the preset-load extension: errors reported to the host,
// built-ins replacing the sound, and every preset a discovering host finds.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace claphost {
namespace {

// An indexer that records what the provider declares.
class Indexer {
public:
    struct Location {
        uint32_t flags;
        std::string name;
        uint32_t kind;
        std::optional<std::string> location;
    };

    Indexer() {
        indexer_ = {};
        indexer_.clap_version = CLAP_VERSION;
        indexer_.name = "claphost";
        indexer_.indexer_data = this;
        indexer_.declare_filetype = [](const clap_preset_discovery_indexer_t* i,
                                       const clap_preset_discovery_filetype_t* f) {
            auto& me = *static_cast<Indexer*>(i->indexer_data);
            me.fileTypes.push_back({f->name ? f->name : "<null>",
                                    f->description ? f->description : "<null>",
                                    f->file_extension ? f->file_extension : "<null>"});
            return me.acceptFileType;
        };
        indexer_.declare_location = [](const clap_preset_discovery_indexer_t* i,
                                       const clap_preset_discovery_location_t* l) {
            auto& me = *static_cast<Indexer*>(i->indexer_data);
            me.locations.push_back({l->flags, l->name ? l->name : "<null>", l->kind,
                                    l->location ? std::optional<std::string>(l->location)
                                                : std::nullopt});
            return true;
        };
        indexer_.declare_soundpack = [](const clap_preset_discovery_indexer_t*,
                                        const clap_preset_discovery_soundpack_t*) { return true; };
        indexer_.get_extension = [](const clap_preset_discovery_indexer_t*,
                                    const char*) -> const void* { return nullptr; };
    }
    Indexer(const Indexer&) = delete;
    Indexer& operator=(const Indexer&) = delete;

    const clap_preset_discovery_indexer_t* clap() const { return &indexer_; }

    bool acceptFileType = true;
    std::vector<std::vector<std::string>> fileTypes;
    std::vector<Location> locations;

private:
    clap_preset_discovery_indexer_t indexer_;
};

// A metadata receiver that records one entry per begun preset.
class Receiver {
public:
    struct Preset {
        std::string name, loadKey;
        std::vector<std::pair<std::string, std::string>> pluginIds;
        uint32_t flags = 0;
        std::vector<std::string> creators, features;
        std::string description;
    };

    Receiver() {
        r_ = {};
        r_.receiver_data = this;
        r_.on_error = [](const clap_preset_discovery_metadata_receiver_t* r, int32_t,
                         const char* msg) { self(r).errors.push_back(msg ? msg : ""); };
        r_.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* r, const char* name,
                             const char* key) {
            auto& me = self(r);
            me.begun++;
            if (me.refuseAt >= 0 && me.begun == me.refuseAt + 1) return false;
            me.presets.push_back({});
            me.presets.back().name = name ? name : "<null>";
            me.presets.back().loadKey = key ? key : "<null>";
            return true;
        };
        r_.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t* r,
                              const clap_universal_plugin_id_t* id) {
            current(r).pluginIds.push_back({id->abi ? id->abi : "", id->id ? id->id : ""});
        };
        r_.set_soundpack_id = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
        r_.set_flags = [](const clap_preset_discovery_metadata_receiver_t* r, uint32_t flags) {
            current(r).flags = flags;
        };
        r_.add_creator = [](const clap_preset_discovery_metadata_receiver_t* r, const char* c) {
            current(r).creators.push_back(c ? c : "");
        };
        r_.set_description = [](const clap_preset_discovery_metadata_receiver_t* r,
                                const char* d) { current(r).description = d ? d : ""; };
        r_.set_timestamps = [](const clap_preset_discovery_metadata_receiver_t*, clap_timestamp,
                               clap_timestamp) {};
        r_.add_feature = [](const clap_preset_discovery_metadata_receiver_t* r, const char* f) {
            current(r).features.push_back(f ? f : "");
        };
        r_.add_extra_info = [](const clap_preset_discovery_metadata_receiver_t*, const char*,
                               const char*) {};
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    const clap_preset_discovery_metadata_receiver_t* clap() const { return &r_; }

    int refuseAt = -1;  // index of the begin_preset call to refuse
    int begun = 0;
    std::vector<Preset> presets;
    std::vector<std::string> errors;

private:
    static Receiver& self(const clap_preset_discovery_metadata_receiver_t* r) {
        return *static_cast<Receiver*>(r->receiver_data);
    }
    static Preset& current(const clap_preset_discovery_metadata_receiver_t* r) {
        Receiver& me = self(r);
        if (me.presets.empty()) me.presets.push_back({});  // metadata before any preset
        return me.presets.back();
    }

    clap_preset_discovery_metadata_receiver_t r_;
};

class ClapPresetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.ok()) << module.error();
        ASSERT_NE(inst.plugin(), nullptr);
        load = static_cast<const clap_plugin_preset_load_t*>(inst.extension("clap.preset-load/2"));
        if (!load) GTEST_SKIP() << "no preset-load extension yet";
    }

    Module module;
    TestHost host;
    Instance inst{module, host};
    const clap_plugin_preset_load_t* load = nullptr;
};

TEST_F(ClapPresetTest, UnknownBuiltInKeyIsReportedAndChangesNothing) {
    inst.flushValue(pid::kMix, 0.25);
    const auto before = inst.save();
    host.rescans.clear();
    EXPECT_FALSE(load->from_location(inst.plugin(), 1, nullptr, "no_such_preset"));
    EXPECT_EQ(inst.save(), before);
    EXPECT_TRUE(host.rescans.empty());
    EXPECT_TRUE(host.presetsLoaded.empty());
    const std::string message = "unknown built-in preset 'no_such_preset'";
    ASSERT_EQ(host.presetErrors.size(), 1u);
    EXPECT_EQ(host.presetErrors[0].kind, 1u);
    EXPECT_EQ(host.presetErrors[0].location, std::nullopt);
    EXPECT_EQ(host.presetErrors[0].loadKey, std::optional<std::string>("no_such_preset"));
    EXPECT_EQ(host.presetErrors[0].osError, 0);
    EXPECT_EQ(host.presetErrors[0].message, message);
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].severity, int(CLAP_LOG_WARNING));
    EXPECT_EQ(host.logs[0].message, message);
}

TEST_F(ClapPresetTest, BadLocationsAreReported) {
    const auto before = inst.save();
    EXPECT_FALSE(load->from_location(inst.plugin(), 0, nullptr, nullptr));
    EXPECT_FALSE(load->from_location(inst.plugin(), 0, "", nullptr));
    EXPECT_FALSE(load->from_location(inst.plugin(), 7, "x", "y"));
    EXPECT_FALSE(load->from_location(inst.plugin(), 1, nullptr, nullptr));
    ASSERT_EQ(host.logs.size(), 4u);
    EXPECT_EQ(host.logs[0].message, "missing preset path");
    EXPECT_EQ(host.logs[1].message, "missing preset path");
    EXPECT_EQ(host.logs[2].message, "unsupported location kind");
    EXPECT_EQ(host.logs[3].message, "unknown built-in preset ''");
    EXPECT_EQ(host.presetErrors.size(), 4u);
    EXPECT_EQ(inst.save(), before);
}

TEST_F(ClapPresetTest, MissingPresetFileIsReported) {
    const auto before = inst.save();
    const std::string missing =
        (std::filesystem::temp_directory_path() / "claphost-no-such-dir" / "missing.norvale")
            .string();
    EXPECT_FALSE(load->from_location(inst.plugin(), 0, missing.c_str(), nullptr));
    EXPECT_EQ(inst.save(), before);
    ASSERT_EQ(host.presetErrors.size(), 1u);
    EXPECT_EQ(host.presetErrors[0].kind, 0u);
    EXPECT_EQ(host.presetErrors[0].location, std::optional<std::string>(missing));
    EXPECT_EQ(host.presetErrors[0].message, "cannot open '" + missing + "'");
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].severity, int(CLAP_LOG_WARNING));
    EXPECT_EQ(host.logs[0].message, host.presetErrors[0].message);
}

TEST_F(ClapPresetTest, BuiltInPresetReplacesTheSound) {
    for (uint32_t id = 0; id < kParamCount; ++id) {
        const clap_param_info_t info = inst.info(id);
        inst.flushValue(id, 0.5 * (info.min_value + info.max_value) + 0.01);
    }
    host.rescans.clear();
    ASSERT_TRUE(load->from_location(inst.plugin(), 1, nullptr, "kick_duck"));
    EXPECT_EQ(inst.value(40), inst.info(40).default_value);  // crs_on is not part of Kick Duck
    EXPECT_EQ(host.rescans, std::vector<uint32_t>{3u});
    ASSERT_EQ(host.presetsLoaded.size(), 1u);
    EXPECT_EQ(host.presetsLoaded[0].kind, 1u);
    EXPECT_EQ(host.presetsLoaded[0].location, std::nullopt);
    EXPECT_EQ(host.presetsLoaded[0].loadKey, std::optional<std::string>("kick_duck"));
    EXPECT_TRUE(host.logs.empty());
}

// A host lists the built-ins, then loads each one into a running instance.
TEST_F(ClapPresetTest, DiscoveredBuiltInsLoad) {
    const auto* factory = static_cast<const clap_preset_discovery_factory_t*>(
        module.entry()->get_factory("clap.preset-discovery-factory/2"));
    if (!factory) GTEST_SKIP() << "no preset-discovery factory yet";
    Indexer indexer;
    const auto* d = factory->get_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    const auto* p = factory->create(factory, indexer.clap(), d->id);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->init(p));
    Receiver receiver;
    ASSERT_TRUE(p->get_metadata(p, 1, nullptr, receiver.clap()));
    p->destroy(p);
    ASSERT_EQ(receiver.presets.size(), 10u);

    ASSERT_TRUE(inst.activate());
    std::set<std::vector<uint8_t>> sounds;
    for (const Receiver::Preset& preset : receiver.presets) {
        SCOPED_TRACE(preset.loadKey);
        host.rescans.clear();
        host.presetsLoaded.clear();
        ASSERT_TRUE(load->from_location(inst.plugin(), 1, nullptr, preset.loadKey.c_str()));
        EXPECT_EQ(host.rescans, std::vector<uint32_t>{3u});
        ASSERT_EQ(host.presetsLoaded.size(), 1u);
        EXPECT_EQ(host.presetsLoaded[0].loadKey, std::optional<std::string>(preset.loadKey));
        auto state = inst.save();
        ASSERT_TRUE(state);
        sounds.insert(*state);

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
