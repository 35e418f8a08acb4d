// The editor's view of the plug-in: everything goes through GuiDelegate and
// CurveAccess, and the host hears the results at its next flush.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "tests/plugin/fake_host.h"

namespace norvale::test {
namespace {

// (event type, parameter, value) as the host receives them.
using Seen = std::tuple<uint16_t, clap_id, double>;
constexpr uint16_t kBegin = CLAP_EVENT_PARAM_GESTURE_BEGIN, kEnd = CLAP_EVENT_PARAM_GESTURE_END;
constexpr uint16_t kValue = CLAP_EVENT_PARAM_VALUE;

std::vector<Seen> seenIn(const OutputEvents& sent) {
    std::vector<Seen> seen;
    for (uint32_t i = 0; i < sent.size(); ++i) {
        const bool value = sent.header(i).type == kValue;
        seen.emplace_back(sent.header(i).type, sent.as<clap_event_param_gesture>(i).param_id,
                          value ? sent.as<clap_event_param_value>(i).value : 0.0);
    }
    return seen;
}

class EditorInterfaces : public ::testing::Test {
protected:
    EditorInterfaces() : p(host), plugin(p.object()), gui(plugin), curves(plugin) {}

    std::vector<Seen> flushToHost() {
        OutputEvents sent;
        p.ext<clap_plugin_params>(CLAP_EXT_PARAMS).flush(p.plugin, nullptr, sent.outList());
        return seenIn(sent);
    }
    const Curve& published(int module, int band) {
        plugin.engine.readCurves(engineCurves);
        return engineCurves.curves[module][band];
    }
    std::vector<int> storedChain() const {
        return {plugin.curveSet.chain, plugin.curveSet.chain + plugin.curveSet.chainLength};
    }
    FakeHost host;
    TestPlugin p;
    NorvalePlugin& plugin;
    plugincore::GuiDelegate& gui;
    CurveAccess& curves;
    CurveSet engineCurves;
};

TEST_F(EditorInterfaces, GesturesReachTheHostInOrderAtFlushOrBlock) {
    const auto gesture = [&] {
        gui.guiBeginEdit(kParamMix), gui.guiSetParam(kParamMix, 0.2);
        gui.guiSetParam(kParamMix, 7.0), gui.guiEndEdit(kParamMix);
    };
    const std::vector<Seen> expected = {{kBegin, kParamMix, 0.0},
                                        {kValue, kParamMix, 0.2},
                                        {kValue, kParamMix, 1.0},
                                        {kEnd, kParamMix, 0.0}};
    gesture();
    EXPECT_EQ(host.flushRequests, 4);
    EXPECT_EQ(gui.guiParamValue(kParamMix), 1.0);
    EXPECT_TRUE(gui.guiPresetEdited());
    EXPECT_EQ(flushToHost(), expected);

    // A zero-frame block needs no buffers and still delivers the queue, once.
    gesture();
    AudioBlock block(0);
    block.outputChannels = 0;
    ASSERT_EQ(block.run(p.plugin), CLAP_PROCESS_CONTINUE);
    ASSERT_EQ(block.run(p.plugin), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(seenIn(block.outEvents), expected);
    const auto& value = block.outEvents.as<clap_event_param_value>(1);
    EXPECT_EQ(std::make_tuple(value.note_id, value.port_index, value.channel, value.key),
              std::make_tuple(-1, int16_t(-1), int16_t(-1), int16_t(-1))); // wildcards

    // A full ring drops what does not fit, and asks for no flush for it.
    for (int i = 0; i < 600; ++i)
        gui.guiSetParam(kParamMix, i / 600.0);
    EXPECT_EQ(host.flushRequests, 8 + 512);
    EXPECT_EQ(flushToHost().size(), 512u);
    EXPECT_EQ(gui.guiParamValue(kParamMix), 599 / 600.0);
}

TEST_F(EditorInterfaces, DrawingIntoAnOffStageSwitchesItOnWithoutAGesture) {
    EXPECT_EQ(curves.curveAddPoint(kFlt, kBandMid, 0.5f, 0.3f, 1), 1);
    EXPECT_EQ(flushToHost(), (std::vector<Seen>{{kValue, kParamFltOn, 1.0}}));
    EXPECT_EQ(published(kFlt, kBandHigh).points[1].y, 0.3f);
    EXPECT_TRUE(gui.guiPresetEdited());
    // Flat shapes and filled steps leave a stage as it is.
    curves.curveSetFlat(kWid, kBandMid, 0.8f);
    curves.curveFillSteps(kWid, kBandMid, 4);
    EXPECT_FALSE(curves.curveModuleEnabled(kWid));
    EXPECT_EQ(published(kWid, kBandLow).count, 8);
    EXPECT_TRUE(flushToHost().empty());
}

TEST_F(EditorInterfaces, EditsWithoutAllBandsGoToTheSelectedBand) {
    gui.guiSetParam(kParamBandLow, 0.0);
    gui.guiSetParam(kParamBandHigh, 0.0);
    curves.curveSelectBand(kBandHigh);
    curves.curveAddPoint(kTim, kBandLow, 0.4f, 0.6f, 2);
    EXPECT_EQ(curves.curveAt(kTim, kBandHigh).count, 3);
    EXPECT_EQ(curves.curveAt(kTim, kBandLow).count + curves.curveAt(kTim, kBandMid).count, 4);
    EXPECT_TRUE(curves.curveBandEnabled(kBandHigh));
    EXPECT_FALSE(curves.curveBandEnabled(kBandLow));
}

TEST_F(EditorInterfaces, AllBandsEditsMoveTheCorrespondingPoints) {
    // Band 2's points at 0.25 and 0.75 are equally near 0.5: the first counts.
    for (auto [band, x] :
         {std::pair{kBandLow, 0.3f}, {kBandHigh, 0.25f}, {kBandHigh, 0.75f}, {kBandMid, 0.5f}})
        curves.curveSelectBand(band), curves.curveAddPoint(kDrv, band, x, 0.9f, 0);
    curves.curveSetEditAllBands(true);
    curves.curveMovePoint(kDrv, kBandMid, 1, 0.7f, 0.2f);
    for (int band = 0; band < kBandCount; ++band) {
        EXPECT_EQ(curves.curveAt(kDrv, band).points[1].x, 0.7f) << band;
        EXPECT_EQ(curves.curveAt(kDrv, band).points[1].y, 0.2f) << band;
    }
    curves.curveRemovePoint(kDrv, kBandMid, 1);
    EXPECT_EQ(curves.curveAt(kDrv, kBandLow).count, 2);
    EXPECT_EQ(curves.curveAt(kDrv, kBandHigh).points[1].x, 0.75f);

    // A point the selected band lacks has no counterpart: nothing changes.
    flushToHost();
    plugin.presetEdited = false;
    const CurveSet before = plugin.curveSet;
    curves.curveMovePoint(kDrv, kBandMid, 3, 0.5f, 0.5f);
    curves.curveSetBend(kDrv, kBandMid, -1, 1.0f);
    EXPECT_FALSE(gui.guiPresetEdited());
    for (int band = 0; band < kBandCount; ++band)
        EXPECT_EQ(curves.curveAt(kDrv, band).format(), before.curves[kDrv][band].format());
}

TEST_F(EditorInterfaces, OutsideNumbersAreBroughtIntoRange) {
    curves.curveSelectModule(12);
    curves.curveSelectBand(-3);
    const ScopeData& scope = *curves.curveScope();
    EXPECT_EQ(std::make_pair(scope.targetModule.load(), scope.targetBand.load()),
              std::make_pair(int(kWid), int(kBandLow)));
    EXPECT_FALSE(scope.targetAllBands.load());
    curves.curveToggleSnap();
    EXPECT_FALSE(gui.guiPresetEdited()); // selection is not sound

    gui.guiSetParam(kParamWidTrigger, 2.0);
    gui.guiSetParam(kParamVolEnd, 0.25);
    EXPECT_EQ(curves.curveTriggerMode(9), 2);
    EXPECT_EQ(curves.curveEnd(-1), 0.25f);
    flushToHost();
    curves.curveBeginEnd(-1);
    curves.curveSetEnd(-1, 0.5f);
    curves.curveFinishEnd(-1);
    EXPECT_EQ(flushToHost(), (std::vector<Seen>{{kBegin, kParamVolEnd, 0.0},
                                                {kValue, kParamVolEnd, 0.5},
                                                {kEnd, kParamVolEnd, 0.0}}));
}

// The history keeps at least the newest hundred steps, drops the oldest first
// and does not grow without end.
TEST_F(EditorInterfaces, TheUndoHistoryKeepsTheNewestStepsWithinBounds) {
    constexpr int kEdits = 1000;
    const auto valueOfEdit = [](int i) { return (i + 1) / double(kEdits); };
    for (int i = 0; i < kEdits; ++i) {
        gui.guiSetParam(kParamMix, valueOfEdit(i));
        flushToHost();
    }
    int undone = 0;
    while (curves.curveUndo())
        ++undone;
    EXPECT_GE(undone, 100);
    EXPECT_LT(undone, kEdits);
    EXPECT_EQ(gui.guiParamValue(kParamMix), valueOfEdit(kEdits - undone - 1));
}

TEST_F(EditorInterfaces, ChainEditsStartFromWhatTheUserSees) {
    gui.guiSetParam(kParamWidOn, 1.0);
    curves.curveChainMove(kWid, 0);
    EXPECT_EQ(storedChain(), std::vector<int>{kWid});
    curves.curveChainAdd(kVol);
    curves.curveChainAdd(kFlt);
    curves.curveChainAdd(kDrv);
    EXPECT_EQ(curves.curveModule(), kDrv);
    curves.curveChainRemove(kFlt); // the neighbour moving up is selected
    EXPECT_EQ(storedChain(), (std::vector<int>{kWid, kVol, kDrv}));
    EXPECT_FALSE(curves.curveModuleEnabled(kFlt));
    EXPECT_EQ(curves.curveModule(), kDrv);
    curves.curveToggleModule(kVol); // off, but keeps its place
    EXPECT_FALSE(curves.curveModuleEnabled(kVol));
    EXPECT_EQ(storedChain(), (std::vector<int>{kWid, kVol, kDrv}));
    plugin.engine.readCurves(engineCurves);
    EXPECT_EQ(engineCurves.chainLength, 3);
    std::string err;
    EXPECT_FALSE(gui.guiExportPack("Pack", "/tmp/pack", err));
    EXPECT_EQ(err, "this plugin has no preset packs");
}

// The editor's thread fills the ring while the audio thread drains it: every
// entry queued arrives once, in order.
TEST(GestureRing, OneProducerOneConsumerUnderContention) {
    FakeHost host;
    TestPlugin p(host);
    constexpr uint32_t kEntries = 20000;
    std::atomic<bool> done{false};
    std::vector<double> sent;
    std::thread editor([&] {
        for (uint32_t i = 0; i < kEntries; ++i)
            if (p.object().pushOut(kParamMix, i / double(kEntries), kOutValue)) sent.push_back(i);
        done = true;
    });
    AudioBlock block(0);
    while (!done)
        block.run(p.plugin);
    editor.join();
    block.run(p.plugin);
    ASSERT_EQ(block.outEvents.size(), sent.size());
    for (uint32_t i = 0; i < sent.size(); ++i)
        ASSERT_EQ(block.outEvents.as<clap_event_param_value>(i).value, sent[i] / kEntries);
}

} // namespace
} // namespace norvale::test
