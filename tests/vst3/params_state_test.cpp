// Parameters and state as a VST 3 host sees them.
#include <gtest/gtest.h>

#include <clap/ext/preset-load.h>

#include <cmath>

#include "vst3/vst3_host.h"

namespace vst3host {
namespace {

TEST(Parameters, EightyThreeThatRoundTripAsValuesAndText) {
    Instance instance;
    IEditController& controller = *instance.controller;
    ASSERT_EQ(controller.getParameterCount(), 83);
    for (int32 i = 0; i < controller.getParameterCount(); ++i) {
        ParameterInfo info{};
        ASSERT_EQ(controller.getParameterInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(i));
        for (double normalized : {0.0, 0.1, 0.37, 0.5, 0.9, 1.0}) {
            const double plain = controller.normalizedParamToPlain(info.id, normalized);
            const double back = controller.plainParamToNormalized(info.id, plain);
            EXPECT_DOUBLE_EQ(controller.normalizedParamToPlain(info.id, back), plain);
            // Stepped values land on whole steps; the others come back as they went.
            EXPECT_TRUE(info.stepCount > 0 ? plain == std::floor(plain)
                                           : std::fabs(back - normalized) < 1e-9)
                << i;

            String128 text{}, again{};
            ASSERT_EQ(controller.getParamStringByValue(info.id, normalized, text), kResultOk);
            ParamValue parsed = -1;
            ASSERT_EQ(controller.getParamValueByString(info.id, text, parsed), kResultOk) << i;
            ASSERT_EQ(controller.getParamStringByValue(info.id, parsed, again), kResultOk);
            EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(text)),
                      std::u16string(reinterpret_cast<char16_t*>(again)));
        }
    }
}

// Changes parameter 2 (output gain) through a flush, as automation would.
void changeSomething(Instance& instance) {
    ParamChanges changes;
    changes.set(2, 0.2);
    ProcessData flush{};
    flush.inputParameterChanges = &changes;
    instance.processor->process(flush);
}

TEST(State, IsExactlyTheClapStateAndRoundTrips) {
    Instance fresh;
    const std::vector<uint8_t> defaults = fresh.state();
    claphost::TestHost host;
    EXPECT_EQ(defaults, claphost::Instance(clapFace(), host).save());

    Instance edited;
    ASSERT_TRUE(edited.activate(256));
    changeSomething(edited);
    const std::vector<uint8_t> saved = edited.state();
    ASSERT_NE(saved, defaults);

    Instance restored;
    EXPECT_EQ(restored.setState(saved), kResultOk);
    EXPECT_EQ(restored.state(), saved);
    EXPECT_DOUBLE_EQ(restored.controller->getParamNormalized(2),
                     edited.controller->plainParamToNormalized(
                         2, edited.controller->normalizedParamToPlain(2, 0.2)));

    // A stream cut before the parameters end fails and leaves everything as
    // it was (the plug-in reads states that stop after them as older ones).
    for (size_t length : {0, 4, 11, 200, 600}) {
        EXPECT_NE(restored.setState({defaults.begin(), defaults.begin() + long(length)}),
                  kResultOk);
        EXPECT_EQ(restored.state(), saved) << length;
    }
}

// After the plug-in's rescan this host writes back every value, as floats:
// no edit. The preset's name and mark travel in the state.
TEST(State, CarriesThePresetNameAndMarkPastAnEchoingHost) {
    static struct Restarts : Local<IComponentHandler> {
        int count = 0;
        tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
        tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
        tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
        tresult PLUGIN_API restartComponent(int32) override { return ++count, kResultOk; }
    } restarts;
    claphost::TestHost host;
    claphost::Instance clap(clapFace(), host);
    static_cast<const clap_plugin_preset_load*>(clap.extension(CLAP_EXT_PRESET_LOAD))
        ->from_location(clap.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "kick_duck");
    Instance vst;
    ASSERT_EQ(vst.controller->setComponentHandler(&restarts), kResultOk);
    ASSERT_TRUE(vst.activate(256));
    ASSERT_EQ(vst.setState(*clap.save()), kResultOk);
    vst.state(); // the adapter passes the rescan on at its next main-thread call
    ASSERT_GT(restarts.count, 0);
    ParamChanges echo;
    for (ParamID id = 0; id < ParamID(vst.controller->getParameterCount()); ++id)
        echo.set(id, static_cast<float>(vst.controller->getParamNormalized(id)));
    ProcessData flush{};
    flush.inputParameterChanges = &echo;
    vst.processor->process(flush);
    EXPECT_EQ(claphost::StateImage::decode(vst.state())->presetName, "Kick Duck");
    EXPECT_FALSE(claphost::StateImage::decode(vst.state())->presetEdited);
    changeSomething(vst);
    EXPECT_TRUE(claphost::StateImage::decode(vst.state())->presetEdited);
    vst.controller->setComponentHandler(nullptr);
}

} // namespace
} // namespace vst3host
