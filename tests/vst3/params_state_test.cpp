// Parameters and state as a VST 3 host sees them.
#include <gtest/gtest.h>

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

} // namespace
} // namespace vst3host
