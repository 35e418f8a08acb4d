// Loading the plug-in file: exported symbols, the entry's init count, the
// factory's refusals, extensions and tail. The CLAP validator covers the
// descriptor's and the ports' consistency.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace claphost {
namespace {

class ClapEntryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module.ok()) << module.error(); }

    Module module;
    TestHost host;
};

// Only the plug-in entry points may be visible, so several copies of the
// framework never clash inside one host.
TEST_F(ClapEntryTest, OnlyEntryPointsAreExported) {
    FILE* pipe = popen(("nm -D --defined-only '" + module.path() + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string name;
        while (fields >> name) {}
        if (name.find('@') == std::string::npos) exported.insert(name); // versioned: toolchain
    }
    ASSERT_EQ(pclose(pipe), 0);
    const std::set<std::string> allowed = {"clap_entry", "GetPluginFactory", "ModuleEntry",
                                           "ModuleExit"};
    EXPECT_EQ(exported.count("clap_entry"), 1u);
    for (const std::string& name : exported)
        EXPECT_EQ(allowed.count(name), 1u) << name;
}

// A CLAP host and the VST 3 adapter in one process each init and deinit the
// entry; the factory lasts until the last deinit.
TEST_F(ClapEntryTest, InitAndDeinitAreCounted) {
    const clap_plugin_entry_t* entry = module.entry();
    ASSERT_TRUE(entry->init(module.path().c_str()));
    entry->deinit();
    ASSERT_NE(module.factory(), nullptr);
    EXPECT_NE(Instance(module, host).plugin(), nullptr);
    entry->deinit();
    EXPECT_EQ(entry->get_factory(CLAP_PLUGIN_FACTORY_ID), nullptr);
    entry->deinit(); // one too many is ignored
    ASSERT_TRUE(entry->init(module.path().c_str()));
    EXPECT_NE(Instance(module, host).plugin(), nullptr);
}

TEST_F(ClapEntryTest, FactoryRefusesBadRequests) {
    const clap_plugin_factory_t* f = module.factory();
    const std::string id = module.descriptor()->id;
    std::string oneOff = id;
    oneOff.back() ^= 1;
    EXPECT_EQ(f->get_plugin_count(f), 1u);
    EXPECT_EQ(f->get_plugin_descriptor(f, 1), nullptr);
    EXPECT_EQ(f->create_plugin(f, nullptr, id.c_str()), nullptr);
    EXPECT_EQ(f->create_plugin(f, host.clap(), nullptr), nullptr);
    EXPECT_EQ(f->create_plugin(f, host.clap(), oneOff.c_str()), nullptr);
    EXPECT_EQ(module.entry()->get_factory("clap.preset-discovery-factory"), nullptr);
    EXPECT_NE(module.entry()->get_factory("clap.preset-discovery-factory/2"), nullptr);
}

TEST_F(ClapEntryTest, ExtensionsOffered) {
    Instance inst(module, host);
    for (const char* id : {"clap.params", "clap.audio-ports", "clap.note-ports", "clap.state",
                           "clap.tail", "clap.preset-load/2"})
        EXPECT_NE(inst.extension(id), nullptr) << id;
    EXPECT_EQ(inst.extension("clap.preset-load/2"), inst.extension("clap.preset-load.draft/2"));
    for (const char* id : {"clap.latency", "clap.render", "clap.thread-check", ""})
        EXPECT_EQ(inst.extension(id), nullptr) << id;
}

// The tail is the time stage's look-back plus 50 ms, at the rate of the
// latest activation, once a block has brought the parameters to the engine.
TEST_F(ClapEntryTest, TailFollowsTheTimeStage) {
    Instance inst(module, host);
    const auto* tail = static_cast<const clap_plugin_tail_t*>(inst.extension("clap.tail"));
    const auto tailAfter = [&](clap_id id, double value) {
        AudioBlock block(64);
        block.events.paramValue(0, id, value);
        block.run(inst.plugin());
        return double(tail->get(inst.plugin()));
    };
    ASSERT_TRUE(inst.activate(48000.0));
    EXPECT_EQ(tailAfter(pid::kMix, 1.0), 0.0); // the time stage is off
    EXPECT_NEAR(tailAfter(pid::kTimOn, 1.0), 0.55 * 48000.0, 1.0);
    EXPECT_NEAR(tailAfter(pid::kTimRange, 1.0), 2.05 * 48000.0, 1.0);
    ASSERT_TRUE(inst.activate(192000.0));
    EXPECT_NEAR(tailAfter(pid::kTimRange, 1.0), 2.05 * 192000.0, 4.0);
}

} // namespace
} // namespace claphost
