#include <gtest/gtest.h>

#include <clap/ext/params.h>

#include "plugin/curve_access.h"
#include "plugin/gui_delegate.h"
#include "tests/plugin/fake_host.h"

namespace norvale::test {
namespace {

// The editor's view: everything goes through the two interfaces.
class EditorInterfaces : public ::testing::Test {
protected:
    EditorInterfaces() : p(host), gui(p.object()), curves(p.object()) {}

    // What the host hears at its next parameter flush.
    void flushInto(OutputEvents& sent) { p.ext<clap_plugin_params>(CLAP_EXT_PARAMS).flush(p.plugin, nullptr, sent.list()); }
    struct Seen {
        uint16_t type;
        clap_id paramId;
        double value;
    };
    std::vector<Seen> flushToHost() {
        OutputEvents sent;
        flushInto(sent);
        std::vector<Seen> seen;
        for (uint32_t i = 0; i < sent.size(); ++i) {
            const bool value = sent.header(i).type == CLAP_EVENT_PARAM_VALUE;
            seen.push_back({sent.header(i).type, sent.as<clap_event_param_gesture>(i).param_id,
                            value ? sent.as<clap_event_param_value>(i).value : 0.0});
        }
        return seen;
    }
    const Curve& published(int module, int band) {
        p.object().engine.readCurves(engineCurves);
        return engineCurves.curves[module][band];
    }
    std::vector<int> storedChain() const {
        const CurveSet& set = p.object().curveSet;
        return {set.chain, set.chain + set.chainLength};
    }
    std::vector<int> effectiveChain() const {
        int out[kModuleCount];
        return {out, out + curves.curveChain(out)};
    }
    // Draws one shape per band, each with a middle point at its own place.
    void drawBands(int module, const float (&middleX)[kBandCount]) {
        for (int band = 0; band < kBandCount; ++band) {
            curves.curveSelectBand(band);
            curves.curveAddPoint(module, band, middleX[band], 0.25f, 0);
        }
        curves.curveSetEditAllBands(true);
        curves.curveSelectModule(module);
    }

    FakeHost host;
    TestPlugin p;
    plugincore::GuiDelegate& gui;
    CurveAccess& curves;
    CurveSet engineCurves;
};

TEST_F(EditorInterfaces, InterfacesAreTheObjectTheHostCreated) {
    EXPECT_EQ(static_cast<void*>(NorvalePlugin::from(p.plugin)), p.plugin->plugin_data);
    EXPECT_EQ(static_cast<NorvalePlugin*>(&curves), &p.object());
    EXPECT_EQ(static_cast<NorvalePlugin*>(&gui), &p.object());
    EXPECT_EQ(curves.curveScope(), &p.object().engine.scope());
}

TEST_F(EditorInterfaces, GesturesReachTheHostInOrderAtFlushOrBlock) {
    const auto gesture = [&] {
        gui.guiBeginEdit(kParamMix);
        gui.guiSetParam(kParamMix, 0.2);
        gui.guiSetParam(kParamMix, 0.4);
        gui.guiSetParam(kParamMix, 7.0);
        gui.guiEndEdit(kParamMix);
    };
    const auto expectGesture = [](const OutputEvents& seen) {
        ASSERT_EQ(seen.size(), 5u);
        EXPECT_EQ(seen.header(0).type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
        EXPECT_EQ(seen.header(0).size, sizeof(clap_event_param_gesture));
        EXPECT_EQ(seen.header(4).type, CLAP_EVENT_PARAM_GESTURE_END);
        for (uint32_t i : {0u, 4u}) EXPECT_EQ(seen.as<clap_event_param_gesture>(i).param_id, kParamMix);
        const double values[] = {0.2, 0.4, 1.0};  // the last one clamped
        for (uint32_t i = 1; i <= 3; ++i) {
            const auto& v = seen.as<clap_event_param_value>(i);
            EXPECT_EQ(v.header.type, CLAP_EVENT_PARAM_VALUE);
            EXPECT_EQ(v.header.size, sizeof(clap_event_param_value));
            EXPECT_EQ(v.param_id, kParamMix);
            EXPECT_EQ(v.value, values[i - 1]);
            EXPECT_EQ(v.note_id, -1);
            EXPECT_EQ(v.port_index, -1);
            EXPECT_EQ(v.channel, -1);
            EXPECT_EQ(v.key, -1);
        }
    };

    gesture();
    EXPECT_EQ(host.flushRequests, 5);
    EXPECT_EQ(gui.guiParamValue(kParamMix), 1.0);
    EXPECT_TRUE(gui.guiPresetEdited());
    OutputEvents flushed;
    flushInto(flushed);
    expectGesture(flushed);

    // A zero-frame block needs no buffers and still delivers the queue.
    gesture();
    AudioBlock block(0);
    block.process.audio_outputs_count = 0;
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    expectGesture(block.sent);
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(block.sent.size(), 5u);
}

TEST_F(EditorInterfaces, DrawingIntoAnOffStageSwitchesItOnWithoutAGesture) {
    ASSERT_FALSE(curves.curveModuleEnabled(kFlt));
    const int index = curves.curveAddPoint(kFlt, kBandMid, 0.5f, 0.3f, 1);
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(curves.curveModuleEnabled(kFlt));
    const auto seen = flushToHost();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(seen[0].paramId, kParamFltOn);
    EXPECT_EQ(seen[0].value, 1.0);
    EXPECT_EQ(published(kFlt, kBandHigh).points[1].y, 0.3f);
    EXPECT_TRUE(gui.guiPresetEdited());
}

TEST_F(EditorInterfaces, EditsWithoutAllBandsGoToTheSelectedBand) {
    gui.guiSetParam(kParamBandLow, 0.0);
    gui.guiSetParam(kParamBandHigh, 0.0);
    curves.curveSelectBand(kBandHigh);
    curves.curveAddPoint(kTim, kBandLow, 0.4f, 0.6f, 2);
    EXPECT_EQ(curves.curveAt(kTim, kBandHigh).count, 3);
    EXPECT_EQ(curves.curveAt(kTim, kBandLow).count, 2);
    EXPECT_EQ(curves.curveAt(kTim, kBandMid).count, 2);
    EXPECT_TRUE(curves.curveBandEnabled(kBandHigh));
    EXPECT_FALSE(curves.curveBandEnabled(kBandLow));
}

TEST_F(EditorInterfaces, AllBandsEditsMoveTheCorrespondingPoints) {
    // Band 2's points at 0.25 and 0.75 are equally near 0.5: the first counts.
    drawBands(kDrv, {0.3f, 0.5f, 0.25f});
    curves.curveSelectBand(kBandHigh);
    curves.curveAddPoint(kDrv, kBandHigh, 0.75f, 0.9f, 0);
    curves.curveSelectBand(kBandMid);
    curves.curveSetEditAllBands(true);
    curves.curveMovePoint(kDrv, kBandMid, 1, 0.7f, 0.2f);
    for (int band = 0; band < kBandCount; ++band) {
        EXPECT_EQ(curves.curveAt(kDrv, band).points[1].x, 0.7f) << band;
        EXPECT_EQ(curves.curveAt(kDrv, band).points[1].y, 0.2f) << band;
    }
    EXPECT_EQ(curves.curveAt(kDrv, kBandHigh).points[2].x, 0.75f);

    curves.curveRemovePoint(kDrv, kBandMid, 1);
    EXPECT_EQ(curves.curveAt(kDrv, kBandLow).count, 2);
    EXPECT_EQ(curves.curveAt(kDrv, kBandHigh).points[1].x, 0.75f);
}

TEST_F(EditorInterfaces, AnInvalidPointWithAllBandsChangesNothing) {
    drawBands(kCrs, {0.3f, 0.5f, 0.7f});
    gui.guiSetParam(kParamCrsOn, 0.0);
    flushToHost();
    p.object().presetEdited = false;
    const CurveSet before = p.object().curveSet;
    curves.curveMovePoint(kCrs, kBandMid, 3, 0.5f, 0.5f);
    curves.curveRemovePoint(kCrs, kBandMid, -1);
    curves.curveSetBend(kCrs, kBandMid, 64, 1.0f);
    EXPECT_FALSE(gui.guiPresetEdited());
    EXPECT_FALSE(curves.curveModuleEnabled(kCrs));
    EXPECT_TRUE(flushToHost().empty());
    for (int band = 0; band < kBandCount; ++band)
        EXPECT_EQ(curves.curveAt(kCrs, band).format(), before.curves[kCrs][band].format());
}

TEST_F(EditorInterfaces, FlatAndFilledStepsLeaveAnOffModuleOff) {
    curves.curveSetFlat(kWid, kBandMid, 0.8f);
    curves.curveFillSteps(kWid, kBandMid, 4);
    EXPECT_FALSE(curves.curveModuleEnabled(kWid));
    EXPECT_TRUE(flushToHost().empty());
    EXPECT_EQ(published(kWid, kBandLow).count, 8);
    EXPECT_TRUE(gui.guiPresetEdited());
}

TEST_F(EditorInterfaces, SelectionFollowsTheScopeAndLeavesTheSoundAlone) {
    curves.curveSelectModule(12);
    curves.curveSelectBand(-3);
    EXPECT_FALSE(curves.curveEditAllBands());
    const ScopeData& scope = *curves.curveScope();
    EXPECT_EQ(scope.targetModule.load(), kWid);
    EXPECT_EQ(scope.targetBand.load(), kBandLow);
    EXPECT_FALSE(scope.targetAllBands.load());

    curves.curveToggleSnap();
    curves.curveSetStepMode(true);
    EXPECT_FALSE(curves.curveSnap());
    EXPECT_FALSE(gui.guiPresetEdited());
}

TEST_F(EditorInterfaces, RemovingFromTheChainSelectsTheNeighbour) {
    curves.curveChainAdd(kVol);
    curves.curveChainAdd(kFlt);
    curves.curveChainAdd(kDrv);
    EXPECT_EQ(curves.curveModule(), kDrv);
    EXPECT_TRUE(curves.curveModuleEnabled(kFlt));

    curves.curveChainRemove(kFlt);
    EXPECT_EQ(storedChain(), (std::vector<int>{kVol, kDrv}));
    EXPECT_EQ(curves.curveModule(), kDrv);
    EXPECT_FALSE(curves.curveModuleEnabled(kFlt));

    curves.curveChainRemove(kDrv);
    EXPECT_EQ(curves.curveModule(), kVol);
    curves.curveSelectModule(kTim);
    curves.curveChainRemove(kVol);
    EXPECT_TRUE(storedChain().empty());
    EXPECT_EQ(curves.curveModule(), kTim);
}

TEST_F(EditorInterfaces, ChainChangesStartFromWhatTheUserSees) {
    gui.guiSetParam(kParamWidOn, 1.0);
    gui.guiSetParam(kParamVolOn, 1.0);
    EXPECT_TRUE(storedChain().empty());
    curves.curveChainMove(kWid, 0);
    EXPECT_EQ(storedChain(), (std::vector<int>{kWid, kVol}));
    p.object().engine.readCurves(engineCurves);
    EXPECT_EQ(engineCurves.chainLength, 2);
}

TEST_F(EditorInterfaces, TogglingAModuleKeepsItInTheChain) {
    curves.curveChainAdd(kDrv);
    curves.curveChainAdd(kFlt);
    flushToHost();
    curves.curveToggleModule(kDrv);
    EXPECT_FALSE(curves.curveModuleEnabled(kDrv));
    EXPECT_EQ(storedChain(), (std::vector<int>{kDrv, kFlt}));
    EXPECT_EQ(effectiveChain(), (std::vector<int>{kDrv, kFlt}));
    const auto seen = flushToHost();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].paramId, kParamDrvOn);
    EXPECT_EQ(seen[0].value, 0.0);
}

TEST_F(EditorInterfaces, TriggerSettingsAndEndMarkersClampTheModule) {
    gui.guiSetParam(kParamWidTrigger, 2.0);
    gui.guiSetParam(kParamWidLoop, 1.0);
    gui.guiSetParam(kParamVolEnd, 0.25);
    EXPECT_EQ(curves.curveTriggerMode(9), 2);
    EXPECT_TRUE(curves.curveTriggerLoop(9));
    EXPECT_FALSE(curves.curveTriggerLoop(kVol));
    EXPECT_EQ(curves.curveEnd(-1), 0.25f);
    flushToHost();

    curves.curveBeginEnd(-1);
    curves.curveSetEnd(-1, 0.5f);
    curves.curveFinishEnd(-1);
    const auto seen = flushToHost();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(seen[1].value, 0.5);
    EXPECT_EQ(seen[2].type, CLAP_EVENT_PARAM_GESTURE_END);
    for (const auto& event : seen) EXPECT_EQ(event.paramId, kParamVolEnd);
}

TEST_F(EditorInterfaces, TheDelegateHasNoPresetPacks) {
    std::string err;
    EXPECT_FALSE(gui.guiExportPack("Pack", "/tmp/pack", err));
    EXPECT_EQ(err, "this plugin has no preset packs");
    EXPECT_TRUE(gui.guiPresetPacks().empty());
}

}  // namespace
}  // namespace norvale::test
