// Drawing into the curves: each edit lands on the selected band of a module,
// or on all three bands at once, and is republished to the engine.
#include <algorithm>
#include <cmath>
#include <optional>

#include "plugin/module_switches.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

namespace {

// The point of another band that stands for a point at x0: the nearest one,
// the first of equally near ones.
int correspondingPoint(const Curve& curve, float x0) {
    int best = 0;
    float bestDistance = 2.0f;
    const int count = std::clamp(curve.count, 0, kMaxCurvePoints);
    for (int i = 0; i < count; ++i) {
        const float distance = std::fabs(curve.points[i].x - x0);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

uint8_t toWeight(int weight) { return static_cast<uint8_t>(std::clamp(weight, 0, 2)); }

}  // namespace

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
void NorvalePlugin::editCurves(int module, std::optional<int> point, bool switchOn, Edit&& edit) {
    const int m = clampModule(module);
    const int selected = clampBand(selBand.load(std::memory_order_relaxed));
    const bool allBands = editAllBands.load(std::memory_order_relaxed);
    Curve* curves = curveSet.curves[m];

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

    if (switchOn) ensureStageForEdit(m);
    for (int band = 0; band < kBandCount; ++band)
        if (allBands || band == selected) edit(curves[band], band, indexes[band]);
    finishCurveEdit();
}

int NorvalePlugin::curveAddPoint(int module, int, float x, float y, int weight) {
    const int selected = clampBand(selBand.load(std::memory_order_relaxed));
    int added = -1;
    editCurves(module, std::nullopt, true, [&](Curve& curve, int band, int) {
        const int index = curve.addPoint(x, y, toWeight(weight));
        if (band == selected) added = index;
    });
    return added;
}

void NorvalePlugin::curveMovePoint(int module, int, int point, float x, float y) {
    editCurves(module, point, true,
               [&](Curve& curve, int, int index) { curve.movePoint(index, x, y); });
}

void NorvalePlugin::curveRemovePoint(int module, int, int point) {
    editCurves(module, point, true,
               [](Curve& curve, int, int index) { curve.removePoint(index); });
}

void NorvalePlugin::curveSetWeight(int module, int, int point, int weight, bool allPoints) {
    const uint8_t w = toWeight(weight);
    if (allPoints) {
        editCurves(module, std::nullopt, true, [w](Curve& curve, int, int) {
            for (int i = 0; i < std::min(curve.count, kMaxCurvePoints); ++i) curve.setWeight(i, w);
        });
        return;
    }
    editCurves(module, point, true,
               [w](Curve& curve, int, int index) { curve.setWeight(index, w); });
}

void NorvalePlugin::curveSetBend(int module, int, int point, float bend) {
    editCurves(module, point, true,
               [bend](Curve& curve, int, int index) { curve.setBend(index, bend); });
}

void NorvalePlugin::curveSetFlat(int module, int, float value) {
    editCurves(module, std::nullopt, false,
               [value](Curve& curve, int, int) { curve.setFlat(value); });
}

void NorvalePlugin::curveSetStep(int module, int, int cell, int cells, float value) {
    editCurves(module, std::nullopt, true,
               [&](Curve& curve, int, int) { curve.setStep(cell, cells, value); });
}

void NorvalePlugin::curveFillSteps(int module, int, int cells) {
    editCurves(module, std::nullopt, false,
               [cells](Curve& curve, int, int) { curve.fillSteps(cells); });
}

}  // namespace norvale
