// The effect chain as the editor changes it, and the curve editor's
// selection. Before the chain changes it is made to hold exactly what the user
// sees: every module that is ordered or switched on, in running order.
#include <algorithm>

#include "plugin/module_switches.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

void NorvalePlugin::curveSelectModule(int module) {
    selModule.store(clampModule(module), std::memory_order_relaxed);
    updateScopeTarget();
}

void NorvalePlugin::curveSelectBand(int band) {
    selBand.store(clampBand(band), std::memory_order_relaxed);
    editAllBands.store(false, std::memory_order_relaxed);
    updateScopeTarget();
}

void NorvalePlugin::curveSetEditAllBands(bool on) {
    editAllBands.store(on, std::memory_order_relaxed);
    updateScopeTarget();
}

void NorvalePlugin::curveToggleSnap() {
    snap.store(!snap.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

int NorvalePlugin::curveChain(int out[kModuleCount]) const {
    bool on[kModuleCount];
    for (int module = 0; module < kModuleCount; ++module) on[module] = moduleSwitchOn(module);
    return effectiveChain(curveSet, on, out);
}

void NorvalePlugin::materialiseChain() {
    int order[kModuleCount];
    const int length = curveChain(order);
    curveSet.chainLength = 0;
    for (int i = 0; i < length; ++i) chainAdd(curveSet, order[i]);
}

void NorvalePlugin::curveChainAdd(int module) {
    materialiseChain();
    chainAdd(curveSet, module);
    finishCurveEdit();
    if (!moduleSwitchOn(module)) setModuleSwitch(module, true);
    curveSelectModule(module);
}

void NorvalePlugin::curveChainRemove(int module) {
    materialiseChain();
    int position = 0;
    while (position < curveSet.chainLength && curveSet.chain[position] != module) ++position;
    chainRemove(curveSet, module);
    finishCurveEdit();
    if (moduleSwitchOn(module)) setModuleSwitch(module, false);
    // The neighbour that takes the removed module's place stays in view.
    if (curveSet.chainLength > 0)
        curveSelectModule(curveSet.chain[std::min(position, curveSet.chainLength - 1)]);
}

void NorvalePlugin::curveChainMove(int module, int position) {
    materialiseChain();
    chainMove(curveSet, module, position);
    finishCurveEdit();
}

void NorvalePlugin::curveToggleModule(int module) {
    // A module switched off keeps its place in the stored chain.
    materialiseChain();
    finishCurveEdit();
    setModuleSwitch(module, !moduleSwitchOn(module));
}

}  // namespace norvale
