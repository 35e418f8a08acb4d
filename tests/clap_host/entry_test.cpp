// Loading the plug-in file: entry, factory, descriptor, exported symbols,
// extensions, audio and note ports, tail.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace claphost {
namespace {

class ClapEntryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module.ok()) << module.error(); }

    Module module;
    TestHost host;
};

TEST_F(ClapEntryTest, EntryDeclaresClapVersion_1_2_10) {
    const clap_version_t v = module.entry()->clap_version;
    EXPECT_EQ(v.major, 1u);
    EXPECT_EQ(v.minor, 2u);
    EXPECT_EQ(v.revision, 10u);
    EXPECT_TRUE(clap_version_is_compatible(v));
}

TEST_F(ClapEntryTest, FactoryLookupAnswersOnlyKnownIds) {
    const clap_plugin_entry_t* e = module.entry();
    EXPECT_NE(e->get_factory("clap.plugin-factory"), nullptr);
    EXPECT_EQ(e->get_factory(nullptr), nullptr);
    EXPECT_EQ(e->get_factory(""), nullptr);
    EXPECT_EQ(e->get_factory("clap.preset-discovery-factory"), nullptr);
    EXPECT_EQ(e->get_factory("clap.plugin-factory/2"), nullptr);
    EXPECT_EQ(e->get_factory("clap.plugin-invalidation-factory/1"), nullptr);
}

TEST_F(ClapEntryTest, EntryCanBeInitialisedAgainAfterDeinit) {
    const clap_plugin_entry_t* e = module.entry();
    e->deinit();
    ASSERT_TRUE(e->init(module.path().c_str()));
    Instance inst(module, host);
    EXPECT_NE(inst.plugin(), nullptr);
}

TEST_F(ClapEntryTest, FactoryHoldsOneDescriptor) {
    const clap_plugin_factory_t* f = module.factory();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->get_plugin_count(f), 1u);
    EXPECT_NE(f->get_plugin_descriptor(f, 0), nullptr);
    EXPECT_EQ(f->get_plugin_descriptor(f, 1), nullptr);
    EXPECT_EQ(f->get_plugin_descriptor(f, 0xFFFFFFFFu), nullptr);
}

TEST_F(ClapEntryTest, DescriptorFields) {
    const clap_plugin_descriptor_t* d = module.descriptor();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->clap_version.major, 1u);
    EXPECT_EQ(d->clap_version.minor, 2u);
    EXPECT_EQ(d->clap_version.revision, 10u);
    ASSERT_NE(d->id, nullptr);
    EXPECT_GT(std::strlen(d->id), 0u);
    EXPECT_STREQ(d->name, "Norvale");
    EXPECT_STREQ(d->vendor, "Kestrelhow");
    EXPECT_STREQ(d->version, "0.4.0");
    ASSERT_NE(d->url, nullptr);
    EXPECT_GT(std::strlen(d->url), 0u);
    EXPECT_STREQ(d->manual_url, d->url);
    EXPECT_STREQ(d->support_url, d->url);
    EXPECT_STREQ(d->description,
                 "A multiband drawing effects rack: seven stages in series -- volume, filter, "
                 "drive, crush, time, width and pan -- each with its own drawable curve for "
                 "every one of three frequency bands. Draw a ducking shape, a filter sweep, a "
                 "distortion envelope, a stepped crush pattern, a stutter or a stereo move into "
                 "the curve editor and it runs locked to the host's beat -- or restarts on a "
                 "MIDI note or a hit in the sidechain, which is drawn behind the shape so a duck "
                 "can be fitted to the kick.");
}

TEST_F(ClapEntryTest, DescriptorFeaturesInOrder) {
    const clap_plugin_descriptor_t* d = module.descriptor();
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->features, nullptr);
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f && features.size() < 32; ++f)
        features.emplace_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "stereo", "effect", "multiband",
                                                  "filter", "distortion"}));
}

TEST_F(ClapEntryTest, CreateRefusesAnythingButTheExactId) {
    const clap_plugin_factory_t* f = module.factory();
    const std::string id = module.descriptor()->id;

    for (size_t i = 0; i < id.size(); ++i) {
        std::string other = id;
        other[i] = other[i] == 'x' ? 'y' : 'x';
        EXPECT_EQ(f->create_plugin(f, host.clap(), other.c_str()), nullptr) << other;
    }
    EXPECT_EQ(f->create_plugin(f, host.clap(), (id + "x").c_str()), nullptr);
    EXPECT_EQ(f->create_plugin(f, host.clap(), id.substr(0, id.size() - 1).c_str()), nullptr);
    EXPECT_EQ(f->create_plugin(f, host.clap(), ""), nullptr);
    EXPECT_EQ(f->create_plugin(f, host.clap(), nullptr), nullptr);
    EXPECT_EQ(f->create_plugin(f, nullptr, id.c_str()), nullptr);

    // The id is compared by content: a copy at another address works.
    const clap_plugin_t* p = f->create_plugin(f, host.clap(), id.c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->desc, module.descriptor());
    EXPECT_TRUE(p->init(p));
    p->destroy(p);
}

TEST_F(ClapEntryTest, InstancesAreIndependent) {
    Instance a(module, host);
    Instance b(module, host);
    ASSERT_NE(a.plugin(), nullptr);
    ASSERT_NE(b.plugin(), nullptr);
    EXPECT_NE(a.plugin(), b.plugin());
    a.flushValue(pid::kMix, 0.25);
    EXPECT_DOUBLE_EQ(a.value(pid::kMix), 0.25);
    EXPECT_DOUBLE_EQ(b.value(pid::kMix), 1.0);
}

TEST_F(ClapEntryTest, LifecycleCallsWithoutProcessing) {
    Instance inst(module, host);
    const clap_plugin_t* p = inst.plugin();
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->activate(p, 44100.0, 32, 4096));
    EXPECT_TRUE(p->start_processing(p));
    p->reset(p);
    p->stop_processing(p);
    p->deactivate(p);
    p->on_main_thread(p);
    // A host may re-activate at another rate at any time.
    ASSERT_TRUE(p->activate(p, 96000.0, 1, 1024));
    p->deactivate(p);
    EXPECT_TRUE(host.logs.empty());
}

// The dynamic symbol table, read by nm. Only the plug-in entry points may be
// visible, so several copies of the framework never clash inside one host.
TEST_F(ClapEntryTest, OnlyEntryPointsAreExported) {
    const std::string command = "nm -D --defined-only '" + module.path() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) output += line;
    const int status = pclose(pipe);
    if (status != 0 && output.find("not found") != std::string::npos)
        GTEST_SKIP() << "nm is not available";
    ASSERT_EQ(status, 0) << output;

    const std::set<std::string> allowed = {"clap_entry", "GetPluginFactory", "ModuleEntry",
                                           "ModuleExit"};
    std::set<std::string> exported;
    std::istringstream lines(output);
    std::string text;
    while (std::getline(lines, text)) {
        std::istringstream fields(text);
        std::vector<std::string> parts;
        std::string part;
        while (fields >> part) parts.push_back(part);
        if (parts.empty()) continue;
        const std::string& name = parts.back();
        if (name.find('@') != std::string::npos) continue;  // versioned, from the toolchain
        exported.insert(name);
    }
    EXPECT_EQ(exported.count("clap_entry"), 1u) << output;
    for (const std::string& name : exported)
        EXPECT_EQ(allowed.count(name), 1u) << "unexpected exported symbol " << name;
}

class ClapExtensionTest : public ClapEntryTest {
protected:
    void SetUp() override {
        ClapEntryTest::SetUp();
        ASSERT_NE(inst.plugin(), nullptr);
    }

    Instance inst{module, host};
};

TEST_F(ClapExtensionTest, OffersTheCoreExtensions) {
    for (const char* id : {"clap.params", "clap.audio-ports", "clap.note-ports", "clap.state",
                           "clap.tail"})
        EXPECT_NE(inst.extension(id), nullptr) << id;
}

TEST_F(ClapExtensionTest, RefusesExtensionsItDoesNotHave) {
    for (const char* id : {"clap.latency", "clap.render", "clap.thread-check", "clap.voice-info",
                           "clap.params.draft", "clap.state-context/2", "", "clap.param"})
        EXPECT_EQ(inst.extension(id), nullptr) << id;
}

TEST_F(ClapExtensionTest, PresetLoadIdsShareOneTable) {
    EXPECT_EQ(inst.extension("clap.preset-load/2"), inst.extension("clap.preset-load.draft/2"));
}

TEST_F(ClapExtensionTest, AudioPorts) {
    const auto* ports =
        static_cast<const clap_plugin_audio_ports_t*>(inst.extension("clap.audio-ports"));
    ASSERT_NE(ports, nullptr);
    const clap_plugin_t* p = inst.plugin();
    ASSERT_EQ(ports->count(p, true), 2u);
    ASSERT_EQ(ports->count(p, false), 1u);

    clap_audio_port_info_t info{};
    ASSERT_TRUE(ports->get(p, 0, true, &info));
    EXPECT_EQ(info.id, 0u);
    EXPECT_STREQ(info.name, "In");
    EXPECT_EQ(info.flags, uint32_t(CLAP_AUDIO_PORT_IS_MAIN));
    EXPECT_EQ(info.channel_count, 2u);
    EXPECT_STREQ(info.port_type, "stereo");
    EXPECT_EQ(info.in_place_pair, 1u);

    info = {};
    ASSERT_TRUE(ports->get(p, 1, true, &info));
    EXPECT_EQ(info.id, 2u);
    EXPECT_STREQ(info.name, "Sidechain");
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(info.channel_count, 2u);
    EXPECT_STREQ(info.port_type, "stereo");
    EXPECT_EQ(info.in_place_pair, CLAP_INVALID_ID);

    info = {};
    ASSERT_TRUE(ports->get(p, 0, false, &info));
    EXPECT_EQ(info.id, 1u);
    EXPECT_STREQ(info.name, "Out");
    EXPECT_EQ(info.flags, uint32_t(CLAP_AUDIO_PORT_IS_MAIN));
    EXPECT_EQ(info.channel_count, 2u);
    EXPECT_STREQ(info.port_type, "stereo");
    EXPECT_EQ(info.in_place_pair, 0u);

    EXPECT_FALSE(ports->get(p, 1, false, &info));
    EXPECT_FALSE(ports->get(p, 2, true, &info));
    EXPECT_FALSE(ports->get(p, 0xFFFFFFFFu, true, &info));
}

TEST_F(ClapExtensionTest, NotePorts) {
    const auto* ports =
        static_cast<const clap_plugin_note_ports_t*>(inst.extension("clap.note-ports"));
    ASSERT_NE(ports, nullptr);
    const clap_plugin_t* p = inst.plugin();
    EXPECT_EQ(ports->count(p, true), 1u);
    EXPECT_EQ(ports->count(p, false), 0u);

    clap_note_port_info_t info{};
    ASSERT_TRUE(ports->get(p, 0, true, &info));
    EXPECT_EQ(info.id, 0u);
    EXPECT_STREQ(info.name, "Trigger");
    EXPECT_EQ(info.supported_dialects, uint32_t(CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI));
    EXPECT_EQ(info.preferred_dialect, uint32_t(CLAP_NOTE_DIALECT_CLAP));

    EXPECT_FALSE(ports->get(p, 0, false, &info));
    EXPECT_FALSE(ports->get(p, 1, true, &info));
}

// The tail is the time stage's look-back plus 50 ms, once the engine has seen
// the parameters (at the first block after a change).
class ClapTailTest : public ClapExtensionTest {
protected:
    uint32_t tail() const {
        const auto* t = static_cast<const clap_plugin_tail_t*>(inst.extension("clap.tail"));
        return t ? t->get(inst.plugin()) : 0xFFFFFFFFu;
    }

    void processWith(clap_id id, double value) {
        AudioBlock block(64);
        block.events.paramValue(0, id, value);
        ASSERT_EQ(block.run(inst.plugin()), CLAP_PROCESS_CONTINUE);
    }
};

TEST_F(ClapTailTest, TimeStageLookBackPlusFiftyMilliseconds) {
    ASSERT_TRUE(inst.activate(48000.0));
    processWith(pid::kMix, 1.0);
    EXPECT_EQ(tail(), 0u);  // the time stage is off
    processWith(pid::kTimOn, 1.0);
    // 500 ms by default: 0.55 s at 48 kHz.
    EXPECT_NEAR(double(tail()), 26400.0, 1.0);
    processWith(pid::kTimRange, 1.0);  // 2000 ms
    EXPECT_NEAR(double(tail()), 98400.0, 1.0);
    // The rate of the latest activation counts.
    ASSERT_TRUE(inst.activate(192000.0));
    processWith(pid::kTimRange, 1.0);
    EXPECT_NEAR(double(tail()), 2.05 * 192000.0, 4.0);
    processWith(pid::kTimOn, 0.0);
    EXPECT_EQ(tail(), 0u);
}

}  // namespace
}  // namespace claphost
