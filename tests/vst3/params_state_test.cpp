// Parameters and state as a VST 3 host sees them.
#include <gtest/gtest.h>

#include <clap/ext/preset-load.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>

#include <pluginterfaces/vst/ivstunits.h>

#include "presets/state_codec.h"
#include "presets/test_files.h"
#include "vst3/vst3_host.h"

namespace vst3host {
namespace {

std::string utf8(const String128 text) {
    return {text, std::find(text, text + 128, 0)};
}

// Titles are unique and name their stage (the parameter's unit); the golden
// file lists them (NORVALE_WRITE_GOLDEN=1 writes it from the program).
TEST(Parameters, EightyFourThatRoundTripAsValuesAndText) {
    Instance instance;
    IEditController& controller = *instance.controller;
    FUnknownPtr<IUnitInfo> units(instance.controller);
    std::map<UnitID, std::string> stage;
    for (UnitInfo unit{}; stage.size() < size_t(units->getUnitCount());)
        units->getUnitInfo(int32(stage.size()), unit), stage[unit.id] = utf8(unit.name) + " ";
    std::set<std::string> titles;
    std::string listing;
    ASSERT_EQ(controller.getParameterCount(), 84);
    for (int32 i = 0; i < controller.getParameterCount(); ++i) {
        ParameterInfo info{};
        ASSERT_EQ(controller.getParameterInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(i));
        const std::string title = utf8(info.title);
        EXPECT_TRUE(titles.insert(title).second) << title;
        EXPECT_TRUE(stage[info.unitId] == "Global " || title.starts_with(stage[info.unitId]));
        listing += std::to_string(i) + '\t' + title + '\t' + utf8(info.shortTitle) + '\t' +
                   utf8(info.units) + (info.flags & ParameterInfo::kIsBypass ? "\tbypass\n" : "\n");
        // Each step owns an equal share of the host's 0..1, as VST 3 hosts expect.
        const double lowest = controller.normalizedParamToPlain(info.id, 0);
        for (int32 k = 0; info.stepCount > 0 && k <= info.stepCount; ++k)
            for (double within : {0.01, 0.99})
                EXPECT_EQ(controller.normalizedParamToPlain(info.id,
                                                            (k + within) / (info.stepCount + 1)) -
                              lowest,
                          k)
                    << i;
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
    const auto golden = std::filesystem::path(NORVALE_TESTS_DIR) / "golden/vst3_titles.txt";
    if (std::getenv("NORVALE_WRITE_GOLDEN") != nullptr) std::ofstream(golden) << listing;
    EXPECT_EQ(listing, presets_test::readFile(golden.string()));
}

// Changes parameter 2 (output gain) through a flush, as automation would.
void changeSomething(Instance& instance) {
    ParamChanges changes;
    changes.set(2, 0.2);
    ProcessData flush{};
    flush.inputParameterChanges = &changes;
    instance.processor->process(flush);
}

// A value the host sets is in the state saved right after (never run, active
// but not processing, switched off); a second instance restores it.
TEST(State, IsExactlyTheClapStateAndHoldsEveryValueTheHostSet) {
    Instance fresh;
    const std::vector<uint8_t> defaults = fresh.state();
    claphost::TestHost host;
    EXPECT_EQ(defaults, claphost::Instance(clapFace(), host).save());

    void (*const lives[])(Instance&) = {
        [](Instance&) {},
        [](Instance& i) {
            ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
            i.processor->setupProcessing(setup), i.component->setActive(true);
        },
        [](Instance& i) { i.activate(512), i.component->setActive(false); },
    };
    std::vector<uint8_t> saved;
    for (const auto& life : lives) {
        Instance edited, restored;
        life(edited);
        edited.controller->setParamNormalized(0, 0.25); // mix
        edited.controller->setParamNormalized(83, 1.0); // bypass
        saved = edited.state();
        EXPECT_EQ(restored.setState(saved), kResultOk);
        EXPECT_EQ(restored.state(), saved);
        EXPECT_EQ(restored.controller->getParamNormalized(0), 0.25);
        EXPECT_EQ(restored.controller->getParamNormalized(83), 1.0);
    }
    Instance restored;
    ASSERT_EQ(restored.setState(saved), kResultOk);

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
    norvale::StateRecord saved;
    ASSERT_TRUE(norvale::decodeState(vst.state(), saved));
    EXPECT_EQ(saved.presetName, "Kick Duck");
    EXPECT_FALSE(saved.presetEdited);
    changeSomething(vst);
    ASSERT_TRUE(norvale::decodeState(vst.state(), saved));
    EXPECT_TRUE(saved.presetEdited);
    vst.controller->setComponentHandler(nullptr);
}

} // namespace
} // namespace vst3host
