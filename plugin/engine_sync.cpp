// Turns the parameter values into the engine's record. Runs on the audio
// thread: no allocation, no lock.
#include <algorithm>
#include <cmath>

#include "plugin/norvale_plugin.h"

namespace norvale {

double NorvalePlugin::realValue(uint32_t id) const {
    if (id >= kParamCount) return 0.0;
    return plugincore::paramToReal(kParams[id], effectiveValue(id));
}

void NorvalePlugin::syncEngine() {
    const auto gain = [this](ParamId id) {
        return static_cast<float>(std::pow(10.0, realValue(id) / 20.0));
    };
    const auto real = [this](ParamId id) { return static_cast<float>(realValue(id)); };
    const auto seconds = [this](ParamId id) { return static_cast<float>(realValue(id) * 0.001); };
    // Stepped and choice rows are already rounded by realValue.
    const auto integer = [this](ParamId id) { return static_cast<int32_t>(realValue(id)); };
    const auto on = [&integer](ParamId id) { return integer(id) != 0; };

    EngineParams p;
    p.inputGain = gain(kParamInput);
    p.outputGain = gain(kParamOutput);
    p.mix = real(kParamMix);
    p.splitLow = real(kParamSplitLow);
    p.splitHigh = real(kParamSplitHigh);
    p.bandOn[kBandLow] = on(kParamBandLow);
    p.bandOn[kBandMid] = on(kParamBandMid);
    p.bandOn[kBandHigh] = on(kParamBandHigh);

    p.volOn = on(kParamVolOn);
    p.volTrim = gain(kParamVolTrim);
    p.volRate = integer(kParamVolRate);
    p.volPhase = real(kParamVolPhase);
    p.volSmooth = real(kParamVolSmooth);

    p.fltOn = on(kParamFltOn);
    p.fltCutoff = real(kParamFltCutoff);
    p.fltRes = real(kParamFltRes);
    p.fltDepth = integer(kParamFltDepth);
    p.fltDrive = real(kParamFltDrive);
    p.fltType[kBandLow] = integer(kParamFltTypeLow);
    p.fltType[kBandMid] = integer(kParamFltTypeMid);
    p.fltType[kBandHigh] = integer(kParamFltTypeHigh);
    p.fltRate = integer(kParamFltRate);
    p.fltPhase = real(kParamFltPhase);
    p.fltSmooth = real(kParamFltSmooth);

    p.drvOn = on(kParamDrvOn);
    p.drvStyle = integer(kParamDrvStyle);
    p.drvDrive = real(kParamDrvDrive);
    p.drvInput = gain(kParamDrvInput);
    p.drvOutput = gain(kParamDrvOutput);
    p.drvTone = real(kParamDrvTone);
    p.drvMix = real(kParamDrvMix);
    p.drvRate = integer(kParamDrvRate);
    p.drvPhase = real(kParamDrvPhase);
    p.drvSmooth = real(kParamDrvSmooth);

    p.timOn = on(kParamTimOn);
    p.timRange = seconds(kParamTimRange);
    p.timStep = real(kParamTimStep);
    p.timRate = integer(kParamTimRate);
    p.timPhase = real(kParamTimPhase);
    p.timSmooth = real(kParamTimSmooth);

    p.crsOn = on(kParamCrsOn);
    p.crsAmount = real(kParamCrsAmount);
    p.crsBits = integer(kParamCrsBits);
    p.crsDown = integer(kParamCrsDown);
    p.crsMix = real(kParamCrsMix);
    p.crsRate = integer(kParamCrsRate);
    p.crsPhase = real(kParamCrsPhase);
    p.crsSmooth = real(kParamCrsSmooth);

    p.panOn = on(kParamPanOn);
    p.panRate = integer(kParamPanRate);
    p.panPhase = real(kParamPanPhase);
    p.panSmooth = real(kParamPanSmooth);

    p.widOn = on(kParamWidOn);
    p.widRate = integer(kParamWidRate);
    p.widPhase = real(kParamWidPhase);
    p.widSmooth = real(kParamWidSmooth);

    for (int module = 0; module < kModuleCount; ++module) {
        p.trigMode[module] =
            std::clamp(integer(kModuleTriggerParams[module]), kTrigSync, kTrigAudio);
        p.trigLoop[module] = on(kModuleLoopParams[module]);
        p.trigEnd[module] = real(kModuleEndParams[module]);
    }
    p.trigFromInput = integer(kParamTrigSource) == 1;
    p.trigThreshold = gain(kParamTrigThreshold);
    p.trigFocus = real(kParamTrigFilter);
    p.trigHold = seconds(kParamTrigHold);

    engine.setParams(p);
}

void NorvalePlugin::updateScopeTarget() {
    ScopeData& scope = engine.scope();
    scope.targetModule.store(selModule.load(std::memory_order_relaxed), std::memory_order_relaxed);
    scope.targetBand.store(selBand.load(std::memory_order_relaxed), std::memory_order_relaxed);
    scope.targetAllBands.store(editAllBands.load(std::memory_order_relaxed),
                               std::memory_order_relaxed);
    scope.wanted.store(scopeVisible.load(std::memory_order_relaxed), std::memory_order_release);
}

}  // namespace norvale
