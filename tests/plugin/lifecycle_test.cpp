#include <gtest/gtest.h>

#include <clap/ext/tail.h>

#include "tests/plugin/fake_host.h"

namespace norvale::test {
namespace {

TEST(Lifecycle, FreshInstanceStartsAtTheTableDefaults) {
    FakeHost host;
    TestPlugin p(host);
    for (uint32_t id = 0; id < kParamCount; ++id)
        EXPECT_EQ(p.value(id), kParams[id].defaultValue) << kParams[id].key;
    const NorvalePlugin& o = p.object();
    EXPECT_EQ(o.selModule.load(), 0);
    EXPECT_EQ(o.selBand.load(), 1);
    EXPECT_TRUE(o.editAllBands.load());
    EXPECT_TRUE(o.snap.load());
    EXPECT_FALSE(o.stepMode.load());
    EXPECT_FALSE(o.presetEdited.load());
    EXPECT_EQ(o.currentPreset, -1);
    EXPECT_EQ(o.curveSet.curves[kPan][kBandMid].points[1].y, 0.5f);
    EXPECT_EQ(o.curveSet.chainLength, 0);
}

TEST(Lifecycle, TailFollowsTheTimeStageAndIsClamped) {
    FakeHost host;
    TestPlugin p(host);
    const auto& tail = p.ext<clap_plugin_tail>(CLAP_EXT_TAIL);
    NorvalePlugin& o = p.object();
    const auto tailAt = [&](double rate) {
        ASSERT_TRUE(p.plugin->activate(p.plugin, rate, 1, 1024));
        o.syncEngine();
    };

    tailAt(48000.0);
    EXPECT_EQ(tail.get(p.plugin), 0u);  // the time stage is off

    o.values[kParamTimOn] = 1.0;
    tailAt(48000.0);
    EXPECT_NEAR(tail.get(p.plugin), (0.5 + 0.05) * 48000.0, 1.0);
    tailAt(1e10);
    EXPECT_EQ(tail.get(p.plugin), 2000000000u);
    tailAt(-48000.0);
    EXPECT_EQ(tail.get(p.plugin), 0u);
}

}  // namespace
}  // namespace norvale::test
