#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugin/fake_host.h"

namespace norvale::test {
namespace {

class EngineSync : public ::testing::Test {
protected:
    EngineSync() : p(host) { p.plugin->activate(p.plugin, 48000.0, 1, 1024); }

    // Sends the values as host automation and lets one block pick them up.
    const EngineParams& synced(std::initializer_list<std::pair<ParamId, double>> changes) {
        AudioBlock block(16);
        for (const auto& [id, value] : changes) block.events.paramValue(0, id, value);
        EXPECT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
        return p.object().engine.params();
    }

    FakeHost host;
    TestPlugin p;
};

float dbToGain(double db) { return static_cast<float>(std::pow(10.0, db / 20.0)); }

TEST_F(EngineSync, EachModulesSmoothingReachesItsOwnField) {
    const EngineParams& e = synced({});
    const EngineParams defaults;
    EXPECT_FLOAT_EQ(e.modules[kVol].smooth, defaults.modules[kVol].smooth);
    EXPECT_FLOAT_EQ(e.modules[kFlt].smooth, defaults.modules[kFlt].smooth);
    EXPECT_FLOAT_EQ(e.modules[kDrv].smooth, defaults.modules[kDrv].smooth);
    EXPECT_FLOAT_EQ(e.timStep, defaults.timStep);
    EXPECT_FLOAT_EQ(e.modules[kTim].smooth, defaults.modules[kTim].smooth);
    EXPECT_FLOAT_EQ(e.modules[kCrs].smooth, defaults.modules[kCrs].smooth);
    EXPECT_FLOAT_EQ(synced({{kParamWidSmooth, 0.9}}).modules[kWid].smooth, 0.9f);
    EXPECT_FLOAT_EQ(e.modules[kPan].smooth, defaults.modules[kPan].smooth);
}

TEST_F(EngineSync, DecibelRowsBecomeLinearGains) {
    const EngineParams& e = synced({{kParamInput, -6.0},
                                    {kParamOutput, 12.0},
                                    {kParamVolTrim, -24.0},
                                    {kParamDrvInput, 36.0},
                                    {kParamDrvOutput, -36.0},
                                    {kParamTrigThreshold, -60.0}});
    EXPECT_FLOAT_EQ(e.inputGain, dbToGain(-6.0));
    EXPECT_FLOAT_EQ(e.outputGain, dbToGain(12.0));
    EXPECT_FLOAT_EQ(e.volTrim, dbToGain(-24.0));
    EXPECT_FLOAT_EQ(e.drvInput, dbToGain(36.0));
    EXPECT_FLOAT_EQ(e.drvOutput, dbToGain(-36.0));
    EXPECT_FLOAT_EQ(e.trigThreshold, 0.001f);
}

TEST_F(EngineSync, LogRowsPassHertzAndSeconds) {
    const EngineParams& e = synced({{kParamSplitLow, 0.5},
                                    {kParamSplitHigh, 0.0},
                                    {kParamFltCutoff, 1.0},
                                    {kParamTrigFilter, 0.0},
                                    {kParamTimRange, 1.0},
                                    {kParamTrigHold, 0.0}});
    EXPECT_FLOAT_EQ(e.splitLow, 200.0f);
    EXPECT_FLOAT_EQ(e.splitHigh, 200.0f);
    EXPECT_FLOAT_EQ(e.fltCutoff, 20000.0f);
    EXPECT_FLOAT_EQ(e.trigFocus, 40.0f);
    EXPECT_FLOAT_EQ(e.timRange, 2.0f);
    EXPECT_FLOAT_EQ(e.trigHold, 0.005f);
}

TEST_F(EngineSync, ChoicesAndStepsAreRoundedIntegers) {
    const EngineParams& e = synced({{kParamVolRate, 2.6},
                                    {kParamFltRate, 0.4},
                                    {kParamWidRate, 6.0},
                                    {kParamFltTypeLow, 1.0},
                                    {kParamFltTypeHigh, 3.0},
                                    {kParamDrvStyle, 4.6},
                                    {kParamFltDepth, 7.4},
                                    {kParamCrsBits, 16.0},
                                    {kParamCrsDown, 1.0}});
    EXPECT_EQ(e.modules[kVol].rate, 3);
    EXPECT_EQ(e.modules[kFlt].rate, 0);
    EXPECT_EQ(e.modules[kWid].rate, 6);
    EXPECT_EQ(e.fltType[kBandLow], 1);
    EXPECT_EQ(e.fltType[kBandMid], 0);
    EXPECT_EQ(e.fltType[kBandHigh], 3);
    EXPECT_EQ(e.drvStyle, 5);
    EXPECT_EQ(e.fltDepth, 7);
    EXPECT_EQ(e.crsBits, 16);
    EXPECT_EQ(e.crsDown, 1);
}

TEST_F(EngineSync, SwitchesAndTriggerSource) {
    const EngineParams& e = synced({{kParamBandMid, 0.0},
                                    {kParamVolOn, 1.0},
                                    {kParamFltOn, 0.6},
                                    {kParamDrvOn, 1.0},
                                    {kParamTimOn, 1.0},
                                    {kParamCrsOn, 1.0},
                                    {kParamPanOn, 0.4},
                                    {kParamWidOn, 1.0},
                                    {kParamTrigSource, 1.0}});
    EXPECT_TRUE(e.bandOn[kBandLow]);
    EXPECT_FALSE(e.bandOn[kBandMid]);
    EXPECT_TRUE(e.modules[kVol].on && e.modules[kFlt].on && e.modules[kDrv].on && e.modules[kTim].on && e.modules[kCrs].on && e.modules[kWid].on);
    EXPECT_FALSE(e.modules[kPan].on);
    EXPECT_TRUE(e.trigFromInput);
    EXPECT_FALSE(synced({{kParamTrigSource, 0.0}}).trigFromInput);
}

TEST_F(EngineSync, PerModuleTriggerRowsLandAtTheirModuleIndex) {
    const EngineParams& e = synced({{kParamVolTrigger, 1.0},
                                    {kParamTimTrigger, 2.0},
                                    {kParamWidTrigger, 1.4},
                                    {kParamFltLoop, 1.0},
                                    {kParamPanLoop, 1.0},
                                    {kParamDrvEnd, 0.25},
                                    {kParamCrsEnd, 0.0}});
    const int modes[kModuleCount] = {1, 0, 0, 2, 0, 0, 1};
    const bool loops[kModuleCount] = {false, true, false, false, false, true, false};
    const float ends[kModuleCount] = {1, 1, 0.25f, 1, 0, 1, 1};
    for (int m = 0; m < kModuleCount; ++m) {
        EXPECT_EQ(e.modules[m].trigger, modes[m]) << m;
        EXPECT_EQ(e.modules[m].loop, loops[m]) << m;
        EXPECT_FLOAT_EQ(e.modules[m].end, ends[m]) << m;
    }
}

TEST_F(EngineSync, FractionsPassAsTheyAre) {
    const EngineParams& e =
        synced({{kParamMix, 0.3}, {kParamDrvTone, -0.5}, {kParamVolPhase, 0.75}});
    EXPECT_FLOAT_EQ(e.mix, 0.3f);
    EXPECT_FLOAT_EQ(e.drvTone, -0.5f);
    EXPECT_FLOAT_EQ(e.modules[kVol].phase, 0.75f);
}

TEST_F(EngineSync, OnlyAChangeRebuildsTheRecord) {
    synced({{kParamMix, 0.3}});
    // Written behind the plug-in's back: nothing marks it, so no sync.
    p.object().values[kParamMix] = 0.8;
    EXPECT_FLOAT_EQ(synced({}).mix, 0.3f);
    p.plugin->reset(p.plugin);
    EXPECT_FLOAT_EQ(synced({}).mix, 0.8f);
}

}  // namespace
}  // namespace norvale::test
