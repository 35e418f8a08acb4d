// Parameters as the editor reads and writes them: gestures, values, the
// module and band switches and the per-module trigger settings.
#include <cmath>

#include "plugin/module_switches.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

void NorvalePlugin::guiBeginEdit(uint32_t id) { pushOut(id, 0.0, kOutGestureBegin); }

void NorvalePlugin::guiEndEdit(uint32_t id) { pushOut(id, 0.0, kOutGestureEnd); }

void NorvalePlugin::guiSetParam(uint32_t id, double value) {
    if (id >= kParamCount) return;
    const double clamped = plugincore::paramClamp(kParams[id], value);
    values[id].store(clamped, std::memory_order_relaxed);
    paramsDirty.store(true, std::memory_order_release);
    presetEdited.exchange(true, std::memory_order_acq_rel);
    // A full ring only costs the host this one notification.
    pushOut(id, clamped, kOutValue);
}

void NorvalePlugin::guiOutputPeaks(float& left, float& right) const {
    // The editor shows no output meter.
    left = 0.0f;
    right = 0.0f;
}

bool NorvalePlugin::moduleSwitchOn(int module) const {
    return std::lround(paramValue(moduleSwitchParam(module))) != 0;
}

void NorvalePlugin::setModuleSwitch(int module, bool on) {
    guiSetParam(moduleSwitchParam(module), on ? 1.0 : 0.0);
}

bool NorvalePlugin::curveModuleEnabled(int module) const { return moduleSwitchOn(module); }

bool NorvalePlugin::curveBandEnabled(int band) const {
    return std::lround(paramValue(bandSwitchParam(band))) != 0;
}

void NorvalePlugin::ensureStageForEdit(int module) {
    if (!moduleSwitchOn(module)) setModuleSwitch(module, true);
    if (editAllBands.load(std::memory_order_relaxed)) {
        for (int band = 0; band < kBandCount; ++band)
            if (!curveBandEnabled(band)) guiSetParam(bandSwitchParam(band), 1.0);
    } else {
        const int band = selBand.load(std::memory_order_relaxed);
        if (!curveBandEnabled(band)) guiSetParam(bandSwitchParam(band), 1.0);
    }
}

int NorvalePlugin::curveTriggerMode(int module) const {
    return static_cast<int>(realValue(kModuleTriggerParams[clampModule(module)]));
}

bool NorvalePlugin::curveTriggerLoop(int module) const {
    return static_cast<int>(realValue(kModuleLoopParams[clampModule(module)])) != 0;
}

float NorvalePlugin::curveEnd(int module) const {
    return static_cast<float>(realValue(kModuleEndParams[clampModule(module)]));
}

void NorvalePlugin::curveBeginEnd(int module) {
    guiBeginEdit(kModuleEndParams[clampModule(module)]);
}

void NorvalePlugin::curveSetEnd(int module, float value) {
    guiSetParam(kModuleEndParams[clampModule(module)], value);
}

void NorvalePlugin::curveFinishEnd(int module) {
    guiEndEdit(kModuleEndParams[clampModule(module)]);
}

}  // namespace norvale
