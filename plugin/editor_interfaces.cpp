// The plug-in as its editor sees it: GuiDelegate's parameters and gestures,
// and CurveAccess's selection, curves, chain and module switches. Module and
// band numbers are brought into range where they enter, in the public
// operations; the helpers below them take valid numbers.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <optional>

#include "plugin/norvale_plugin.h"

namespace plugincore {

// ---- GuiDelegate defaults: no event counter, preset folders or packs ----

namespace {
constexpr const char* kNoPacks = "this plugin has no preset packs";
}

unsigned GuiDelegate::guiEventCounter() const {
    return 0;
}
bool GuiDelegate::guiPresetFoldersSupported() const {
    return false;
}
std::vector<PresetPack> GuiDelegate::guiPresetPacks() const {
    return {};
}
std::string GuiDelegate::guiPackPathFor(const std::string&) const {
    return {};
}

bool GuiDelegate::guiExportPack(const std::string&, const std::string&, std::string& err) {
    err = kNoPacks;
    return false;
}

bool GuiDelegate::guiImportPack(const std::string&, std::string&, std::string& err) {
    err = kNoPacks;
    return false;
}

GuiDelegate::SaveCheck GuiDelegate::guiCheckSaveName(const std::string&, std::string&) const {
    return SaveCheck::kNew;
}
bool GuiDelegate::guiRenamePreset(int, const std::string&, const std::string&, std::string& err) {
    err = "this plugin cannot rename presets";
    return false;
}
bool GuiDelegate::guiDeletePreset(int, std::string& err) {
    err = "this plugin cannot delete presets";
    return false;
}

int GuiDelegate::guiCompareSlot() const {
    return 0;
}
void GuiDelegate::guiCompareSwitch() {}
void GuiDelegate::guiCompareCopy() {}
bool GuiDelegate::guiRequestResize(uint32_t, uint32_t) {
    return false;
}

void GuiDelegate::guiVersionClicked() {}
void GuiDelegate::guiKeyboardTaken() {}
std::vector<HostMenuItem> GuiDelegate::guiHostMenu(uint32_t) {
    return {};
}
bool GuiDelegate::guiHostMenuPerform(uint32_t, uint32_t) {
    return false;
}

} // namespace plugincore

namespace norvale {

namespace {

// ---- module switches ----

constexpr int clampModule(int module) {
    return std::clamp(module, 0, kModuleCount - 1);
}
constexpr int clampBand(int band) {
    return std::clamp(band, 0, kBandCount - 1);
}
constexpr bool validModule(int module) {
    return module >= 0 && module < kModuleCount;
}

// A switch asked for by an outside number: anything outside 1..6 names the
// volume switch.
constexpr int switchModule(int module) {
    return validModule(module) ? module : kVol;
}

constexpr ParamId kBandSwitches[kBandCount] = {kParamBandLow, kParamBandMid, kParamBandHigh};

// The point of another band that stands for a point at x0: the nearest one,
// the first of equally near ones.
int correspondingPoint(const Curve& curve, float x0) {
    int best = 0;
    float bestDistance = 2.0f;
    for (int i = 0; i < std::clamp(curve.count, 0, kMaxCurvePoints); ++i) {
        const float distance = std::fabs(curve.points[i].x - x0);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

uint8_t toWeight(int weight) {
    return static_cast<uint8_t>(std::clamp(weight, 0, 2));
}

} // namespace

// ---- parameters and gestures ----

void NorvalePlugin::guiBeginEdit(uint32_t id) {
    if (id < kParamCount) pushOut(id, 0.0, kOutGestureBegin);
}

void NorvalePlugin::guiEndEdit(uint32_t id) {
    if (id < kParamCount) pushOut(id, 0.0, kOutGestureEnd);
}

void NorvalePlugin::guiSetParam(uint32_t id, double value) {
    if (id >= kParamCount) return;
    UndoScope step(*this, "change value");
    step.touch(id);
    const double clamped = plugincore::paramClamp(kParams[id], value);
    const double before = values[id].exchange(clamped, std::memory_order_relaxed);
    paramsDirty.store(true, std::memory_order_release);
    if (partOfSound(id) && !plugincore::paramSameValue(kParams[id], before, clamped))
        presetEdited.exchange(true, std::memory_order_acq_rel);
    // A full ring only costs the host this one notification.
    pushOut(id, clamped, kOutValue);
}

// ---- the host's context menu items ----

const clap_host_context_menu* NorvalePlugin::hostContextMenu() const {
    if (const void* ext = hostExtension(CLAP_EXT_CONTEXT_MENU))
        return static_cast<const clap_host_context_menu*>(ext);
    return static_cast<const clap_host_context_menu*>(hostExtension(CLAP_EXT_CONTEXT_MENU_COMPAT));
}

std::vector<plugincore::HostMenuItem> NorvalePlugin::guiHostMenu(uint32_t paramId) {
    using Item = plugincore::HostMenuItem;
    std::vector<Item> items;
    const clap_host_context_menu* menu = hostContextMenu();
    if (paramId >= kParamCount || menu == nullptr || menu->populate == nullptr) return items;
    const auto add = [](const clap_context_menu_builder* builder,
                        clap_context_menu_item_kind_t kind, const void* data) {
        auto& out = *static_cast<std::vector<Item>*>(builder->ctx);
        const auto label = [](const char* t) { return std::string(t != nullptr ? t : ""); };
        switch (kind) {
        case CLAP_CONTEXT_MENU_ITEM_ENTRY: {
            const auto* e = static_cast<const clap_context_menu_entry*>(data);
            if (e == nullptr) return false;
            out.push_back({Item::kEntry, label(e->label), e->is_enabled, false, e->action_id});
            return true;
        }
        case CLAP_CONTEXT_MENU_ITEM_CHECK_ENTRY: {
            const auto* e = static_cast<const clap_context_menu_check_entry*>(data);
            if (e == nullptr) return false;
            out.push_back(
                {Item::kCheck, label(e->label), e->is_enabled, e->is_checked, e->action_id});
            return true;
        }
        case CLAP_CONTEXT_MENU_ITEM_TITLE: {
            const auto* t = static_cast<const clap_context_menu_item_title*>(data);
            if (t == nullptr) return false;
            out.push_back({Item::kTitle, label(t->title), false, false, 0});
            return true;
        }
        case CLAP_CONTEXT_MENU_ITEM_BEGIN_SUBMENU: {
            const auto* m = static_cast<const clap_context_menu_submenu*>(data);
            if (m == nullptr) return false;
            out.push_back({Item::kTitle, label(m->label), false, false, 0});
            return true;
        }
        case CLAP_CONTEXT_MENU_ITEM_SEPARATOR:
        case CLAP_CONTEXT_MENU_ITEM_END_SUBMENU:
            out.push_back({Item::kSeparator, "", false, false, 0});
            return true;
        default: return false;
        }
    };
    const clap_context_menu_builder builder{
        &items, add, [](const clap_context_menu_builder*, clap_context_menu_item_kind_t kind) {
            return kind <= CLAP_CONTEXT_MENU_ITEM_TITLE;
        }};
    const clap_context_menu_target target{CLAP_CONTEXT_MENU_TARGET_KIND_PARAM, paramId};
    if (!menu->populate(host, &target, &builder)) items.clear();
    // No separator at either end or twice in a row.
    std::vector<Item> tidy;
    for (Item& item : items)
        if (item.kind != Item::kSeparator ||
            (!tidy.empty() && tidy.back().kind != Item::kSeparator))
            tidy.push_back(std::move(item));
    while (!tidy.empty() && tidy.back().kind == Item::kSeparator)
        tidy.pop_back();
    return tidy;
}

bool NorvalePlugin::guiHostMenuPerform(uint32_t paramId, uint32_t actionId) {
    const clap_host_context_menu* menu = hostContextMenu();
    if (paramId >= kParamCount || menu == nullptr || menu->perform == nullptr) return false;
    const clap_context_menu_target target{CLAP_CONTEXT_MENU_TARGET_KIND_PARAM, paramId};
    return menu->perform(host, &target, actionId);
}

void NorvalePlugin::guiOutputPeaks(float& left, float& right) const {
    // The editor shows no output meter.
    left = 0.0f;
    right = 0.0f;
}

bool NorvalePlugin::moduleSwitchOn(int module) const {
    assert(validModule(module));
    return std::lround(paramValue(kModuleOnParams[module])) != 0;
}

void NorvalePlugin::setModuleSwitch(int module, bool on) {
    assert(validModule(module));
    guiSetParam(kModuleOnParams[module], on ? 1.0 : 0.0);
}

bool NorvalePlugin::curveModuleEnabled(int module) const {
    return moduleSwitchOn(switchModule(module));
}

bool NorvalePlugin::curveBandEnabled(int band) const {
    return std::lround(paramValue(kBandSwitches[clampBand(band)])) != 0;
}

void NorvalePlugin::curveEnableModule(int module) {
    const UndoScope step(*this, "switch effect on");
    ensureStageForEdit(switchModule(module));
}

// Drawing into a stage or band that is off switches it on, so it is heard.
void NorvalePlugin::ensureStageForEdit(int module) {
    if (!moduleSwitchOn(module)) setModuleSwitch(module, true);
    const bool allBands = editAllBands.load(std::memory_order_relaxed);
    const int selected = selBand.load(std::memory_order_relaxed);
    for (int band = 0; band < kBandCount; ++band)
        if ((allBands || band == selected) && !curveBandEnabled(band))
            guiSetParam(kBandSwitches[band], 1.0);
}

int NorvalePlugin::curveTriggerMode(int module) const {
    const uint32_t id = kModuleTriggerParams[clampModule(module)];
    return static_cast<int>(plugincore::paramToReal(kParams[id], paramValue(id)));
}

bool NorvalePlugin::curveTriggerLoop(int module) const {
    const uint32_t id = kModuleLoopParams[clampModule(module)];
    return plugincore::paramToReal(kParams[id], paramValue(id)) != 0.0;
}

float NorvalePlugin::curveEnd(int module) const {
    return static_cast<float>(paramValue(kModuleEndParams[clampModule(module)]));
}

void NorvalePlugin::curveBeginEnd(int module) {
    guiBeginEdit(kModuleEndParams[clampModule(module)]);
}

void NorvalePlugin::curveSetEnd(int module, float value) {
    const UndoScope step(*this, "move end");
    guiSetParam(kModuleEndParams[clampModule(module)], value);
}

void NorvalePlugin::curveFinishEnd(int module) {
    guiEndEdit(kModuleEndParams[clampModule(module)]);
}

// ---- selection ----

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

// ---- curve edits ----

const Curve& NorvalePlugin::curveAt(int module, int band) const {
    return curveSet.curves[clampModule(module)][clampBand(band)];
}

void NorvalePlugin::finishCurveEdit() {
    engine.publishCurves(curveSet);
    presetEdited.exchange(true, std::memory_order_acq_rel);
}

// Calls edit(curve, band, point index) for each curve concerned; with all
// bands edited, the other bands get the index of their corresponding point.
template <class Edit>
void NorvalePlugin::editCurves(const char* label, int module, std::optional<int> point,
                               bool switchOn, Edit&& edit) {
    assert(validModule(module));
    const UndoScope step(*this, label);
    const int selected = selBand.load(std::memory_order_relaxed);
    const bool allBands = editAllBands.load(std::memory_order_relaxed);
    Curve* curves = curveSet.curves[module];

    const int given = point.value_or(-1);
    int indexes[kBandCount] = {given, given, given};
    if (point && allBands) {
        const Curve& reference = curves[selected];
        // Without a valid point there is nothing to find in the other bands.
        if (given < 0 || given >= std::min(reference.count, kMaxCurvePoints)) return;
        const float x0 = reference.points[given].x;
        for (int band = 0; band < kBandCount; ++band)
            if (band != selected) indexes[band] = correspondingPoint(curves[band], x0);
    }

    if (switchOn) ensureStageForEdit(module);
    for (int band = 0; band < kBandCount; ++band)
        if (allBands || band == selected) edit(curves[band], band, indexes[band]);
    finishCurveEdit();
}

int NorvalePlugin::curveAddPoint(int module, int, float x, float y, int weight) {
    const int selected = selBand.load(std::memory_order_relaxed);
    int added = -1;
    editCurves("add point", clampModule(module), std::nullopt, true,
               [&](Curve& curve, int band, int) {
                   const int index = curve.addPoint(x, y, toWeight(weight));
                   if (band == selected) added = index;
               });
    return added;
}

void NorvalePlugin::curveMovePoint(int module, int, int point, float x, float y) {
    editCurves("move point", clampModule(module), point, true,
               [&](Curve& curve, int, int index) { curve.movePoint(index, x, y); });
}

void NorvalePlugin::curveRemovePoint(int module, int, int point) {
    editCurves("delete point", clampModule(module), point, true,
               [](Curve& curve, int, int index) { curve.removePoint(index); });
}

void NorvalePlugin::curveSetWeight(int module, int, int point, int weight, bool allPoints) {
    const uint8_t w = toWeight(weight);
    if (allPoints) {
        editCurves("corner weight", clampModule(module), std::nullopt, true,
                   [w](Curve& curve, int, int) {
                       for (int i = 0; i < std::min(curve.count, kMaxCurvePoints); ++i)
                           curve.setWeight(i, w);
                   });
        return;
    }
    editCurves("corner weight", clampModule(module), point, true,
               [w](Curve& curve, int, int index) { curve.setWeight(index, w); });
}

void NorvalePlugin::curveSetBend(int module, int, int point, float bend) {
    editCurves("bend", clampModule(module), point, true,
               [bend](Curve& curve, int, int index) { curve.setBend(index, bend); });
}

void NorvalePlugin::curveSetFlat(int module, int, float value) {
    editCurves("flatten", clampModule(module), std::nullopt, false,
               [value](Curve& curve, int, int) { curve.setFlat(value); });
}

void NorvalePlugin::curveSetStep(int module, int, int cell, int cells, float value) {
    editCurves("paint steps", clampModule(module), std::nullopt, true,
               [&](Curve& curve, int, int) { curve.setStep(cell, cells, value); });
}

void NorvalePlugin::curveFillSteps(int module, int, int cells) {
    editCurves("make steps", clampModule(module), std::nullopt, false,
               [cells](Curve& curve, int, int) { curve.fillSteps(cells); });
}

void NorvalePlugin::curveReplace(int module, int band, const Curve& curve) {
    module = clampModule(module);
    band = clampBand(band);
    const UndoScope step(*this, "paste curve");
    if (!moduleSwitchOn(module)) setModuleSwitch(module, true);
    if (!curveBandEnabled(band)) guiSetParam(kBandSwitches[band], 1.0);
    curveSet.curves[module][band] = curve;
    finishCurveEdit();
}

// ---- chain ----
// Before the chain changes it is made to hold exactly what the user sees:
// every module that is ordered or switched on, in running order.

int NorvalePlugin::curveChain(int out[kModuleCount]) const {
    bool on[kModuleCount];
    for (int module = 0; module < kModuleCount; ++module)
        on[module] = moduleSwitchOn(module);
    return effectiveChain(curveSet, on, out);
}

void NorvalePlugin::materialiseChain() {
    int order[kModuleCount];
    const int length = curveChain(order);
    curveSet.chainLength = 0;
    for (int i = 0; i < length; ++i)
        chainAdd(curveSet, order[i]);
}

void NorvalePlugin::curveChainAdd(int module) {
    if (!validModule(module)) return;
    const UndoScope step(*this, "add effect");
    materialiseChain();
    chainAdd(curveSet, module);
    finishCurveEdit();
    if (!moduleSwitchOn(module)) setModuleSwitch(module, true);
    curveSelectModule(module);
}

void NorvalePlugin::curveChainRemove(int module) {
    if (!validModule(module)) return;
    const UndoScope step(*this, "remove effect");
    materialiseChain();
    int position = 0;
    while (position < curveSet.chainLength && curveSet.chain[position] != module)
        ++position;
    chainRemove(curveSet, module);
    finishCurveEdit();
    if (moduleSwitchOn(module)) setModuleSwitch(module, false);
    // The neighbour that takes the removed module's place stays in view.
    if (curveSet.chainLength > 0)
        curveSelectModule(curveSet.chain[std::min(position, curveSet.chainLength - 1)]);
}

void NorvalePlugin::curveChainMove(int module, int position) {
    if (!validModule(module)) return;
    const UndoScope step(*this, "move effect");
    materialiseChain();
    chainMove(curveSet, module, position);
    finishCurveEdit();
}

void NorvalePlugin::curveToggleModule(int module) {
    const UndoScope step(*this, "switch effect");
    module = switchModule(module);
    // A module switched off keeps its place in the stored chain.
    materialiseChain();
    finishCurveEdit();
    setModuleSwitch(module, !moduleSwitchOn(module));
}

} // namespace norvale
