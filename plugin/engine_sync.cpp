// Turns the parameter values into the engine's record. Runs on the audio
// thread: no allocation, no lock. The values are kept inside their rows'
// ranges where they enter, so the choices are valid enum values here.
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

    for (int module = 0; module < kModuleCount; ++module) {
        ModuleSettings& m = p.modules[module];
        m.on = on(kModuleOnParams[module]);
        m.rate = integer(kModuleRateParams[module]);
        m.phase = real(kModulePhaseParams[module]);
        m.smooth = real(kModuleSmoothParams[module]);
        m.trigger = static_cast<TrigMode>(integer(kModuleTriggerParams[module]));
        m.loop = on(kModuleLoopParams[module]);
        m.end = real(kModuleEndParams[module]);
    }

    p.volTrim = gain(kParamVolTrim);

    p.fltCutoff = real(kParamFltCutoff);
    p.fltRes = real(kParamFltRes);
    p.fltDepth = integer(kParamFltDepth);
    p.fltDrive = real(kParamFltDrive);
    p.fltType[kBandLow] = static_cast<FilterType>(integer(kParamFltTypeLow));
    p.fltType[kBandMid] = static_cast<FilterType>(integer(kParamFltTypeMid));
    p.fltType[kBandHigh] = static_cast<FilterType>(integer(kParamFltTypeHigh));

    p.drvStyle = static_cast<DriveStyle>(integer(kParamDrvStyle));
    p.drvDrive = real(kParamDrvDrive);
    p.drvInput = gain(kParamDrvInput);
    p.drvOutput = gain(kParamDrvOutput);
    p.drvTone = real(kParamDrvTone);
    p.drvMix = real(kParamDrvMix);

    p.timRange = seconds(kParamTimRange);
    p.timStep = real(kParamTimStep);

    p.crsAmount = real(kParamCrsAmount);
    p.crsBits = integer(kParamCrsBits);
    p.crsDown = integer(kParamCrsDown);
    p.crsMix = real(kParamCrsMix);

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

} // namespace norvale
