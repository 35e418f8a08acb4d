#include "gui/curve_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dsp/curve_set.h"
#include "dsp/rates.h"
#include "gui/curve_transforms.h"
#include "gui/paint_helpers.h"
#include "plugin/params.h"
#include "presets/editor_prefs.h"

namespace norvale {

namespace {

using plugincore::Align;
using plugincore::drawText;
using plugincore::Rect;
using plugincore::Rgb;
using plugincore::roundedRect;
using plugincore::setColour;
using plugincore::setFont;

constexpr double kPi = 3.14159265358979323846;
constexpr int kRandomSteps = 16;

// A long polyline stroked in short runs that share their end vertices. cairo
// rasterises a stroke through a mask as large as its extents: one line across
// the graph costs the whole graph's area, a run only its own small box. A run
// wholly outside the clip (a repaint of a strip) is not stroked at all. Set
// the line width first.
class RunStroke {
public:
    explicit RunStroke(cairo_t* cr) : cr_(cr) {
        double x0, y0, x1, y1;
        cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
        const double reach = cairo_get_line_width(cr);
        clip_ = {x0 - reach, y0 - reach, x1 - x0 + 2 * reach, y1 - y0 + 2 * reach};
    }
    void lineTo(double x, double y) {
        if (count_ == 0) {
            cairo_move_to(cr_, x, y);
            box_ = {x, y, 0, 0};
        } else {
            cairo_line_to(cr_, x, y);
            box_ = plugincore::unite(box_, {x, y, 0, 0});
        }
        if (++count_ < kRunVertices) return;
        finishRun();
        cairo_move_to(cr_, x, y);
        box_ = {x, y, 0, 0};
        count_ = 1;
    }
    // Ends the polyline; the next lineTo starts a new one.
    void gap() {
        if (count_ > 1) finishRun();
        cairo_new_path(cr_);
        count_ = 0;
    }

private:
    void finishRun() {
        // Closed bounds: a level run has a box of no height.
        const bool seen = box_.x <= clip_.x + clip_.width && clip_.x <= box_.x + box_.width &&
                          box_.y <= clip_.y + clip_.height && clip_.y <= box_.y + box_.height;
        if (seen)
            cairo_stroke(cr_);
        else
            cairo_new_path(cr_);
    }
    static constexpr int kRunVertices = 24;
    cairo_t* cr_;
    Rect clip_{}, box_{};
    int count_ = 0;
};

} // namespace

CurvePalette curvePalette(const plugincore::Palette& w) {
    return {w.accent,     w.panelFill, w.panelLine, w.trackColour,
            w.textBright, w.textDim,   w.textFaint, {1.0, 0.718, 0.239}};
}

// ---- units ----

int gridFromName(std::string_view name) {
    for (int i = 0; i < kGridCount; ++i)
        if (name == kGridNames[i]) return i;
    return -1;
}

namespace {

// A parameter's own text function over a range wide enough for anything a
// curve can reach (a knob's range stops short of silence or a zero delay).
std::string textThrough(ParamId id, double value, double low, double high) {
    plugincore::ParamDesc desc = kParams[id];
    desc.minValue = low;
    desc.maxValue = high;
    char text[64];
    return plugincore::paramValueToText(desc, value, text, sizeof text) ? text : "";
}

double realOf(const CurveAccess& curves, ParamId id) {
    return plugincore::paramToReal(kParams[id], curves.curveParamValue(id));
}

// "0.5", "1.25": as few digits as the number needs.
std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

} // namespace

std::string curveValueText(const CurveAccess& curves, int module, double value) {
    const double v = std::clamp(value, 0.0, 1.0);
    switch (module) {
    case kVol: // the stage's gain is the curve squared
        return textThrough(kParamVolTrim, v > 0 ? 40.0 * std::log10(v) : -1000.0, -1000, 100);
    case kFlt: {
        const double hz = std::max(20.0, realOf(curves, kParamFltCutoff) *
                                             std::exp2(realOf(curves, kParamFltDepth) * (v - 1)));
        return textThrough(kParamFltCutoff, plugincore::realToParam(kParams[kParamFltCutoff], hz),
                           0, 1);
    }
    case kDrv: return textThrough(kParamDrvDrive, v * realOf(curves, kParamDrvDrive), 0, 1);
    case kCrs: return textThrough(kParamCrsAmount, v * realOf(curves, kParamCrsAmount), 0, 1);
    case kTim: {
        const double ms = (1 - v) * realOf(curves, kParamTimRange);
        if (ms < 0.05) return "0 ms";
        plugincore::ParamDesc range = kParams[kParamTimRange];
        range.realMin = 0.01; // down to no delay at all
        char text[64];
        return plugincore::paramValueToText(range, plugincore::realToParam(range, ms), text,
                                            sizeof text)
                   ? text
                   : "";
    }
    case kPan: {
        const double side = std::fabs(2 * v - 1);
        if (side < 0.005) return "C";
        return (v < 0.5 ? "L " : "R ") + textThrough(kParamMix, side, 0, 1);
    }
    case kWid: return textThrough(kParamMix, 2 * v, 0, 2);
    default: return "";
    }
}

std::string curvePositionText(const CurveAccess& curves, int module, double phase) {
    module = std::clamp(module, 0, kModuleCount - 1);
    if (phase <= 0) return "0";
    if (curves.curveTriggerMode(module) != 0) return shortNumber(phase) + " cycle";
    const double cycle = beatsForRate(static_cast<int>(realOf(curves, kModuleRateParams[module])));
    const double beats = phase * cycle;
    if (cycle >= 8) return shortNumber(beats / 4) + (beats / 4 > 1 ? " bars" : " bar");
    return shortNumber(beats) + (beats > 1 ? " beats" : " beat");
}

// ---- geometry ----

Rect CurvePanel::graph() const {
    return {bounds.x + 44, bounds.y + 38, bounds.width - 54, bounds.height - 66};
}
Rect CurvePanel::effectTab(int i) const {
    return {bounds.x + 10 + 89.0 * i, bounds.y + 6, 86, 20};
}
Rect CurvePanel::addTab(int n) const {
    return {bounds.x + 10 + 89.0 * n, bounds.y + 6, 28, 20};
}
Rect CurvePanel::addRow(int n, int r) const {
    return {bounds.x + 10 + 89.0 * n, bounds.y + 30 + 20.0 * r, 120, 19};
}
Rect CurvePanel::bandTab(int j) const {
    return {bounds.x + 645 + 51.0 * j, bounds.y + 6, 48, 20};
}
Rect CurvePanel::snapButton() const {
    return {bounds.x + 858, bounds.y + 6, 54, 20};
}
Rect CurvePanel::stepButton() const {
    return {bounds.x + 918, bounds.y + 6, 54, 20};
}
Rect CurvePanel::shapeButton() const {
    return {bounds.x + 978, bounds.y + 6, 100, 20};
}
Rect CurvePanel::shapeItem(int i) const {
    return {bounds.x + 978 + 116.0 * (i / 6), bounds.y + 30 + 18.0 * (i % 6), 112, 17};
}
Rect CurvePanel::transformItem(int i) const {
    return {bounds.x + 978 + 232, bounds.y + 30 + 18.0 * i, 112, 17};
}
Rect CurvePanel::gridButton() const {
    return {bounds.x + 1084, bounds.y + 6, 78, 20};
}
Rect CurvePanel::gridItem(int i) const {
    return {bounds.x + 1084, bounds.y + 30 + 18.0 * i, 78, 17};
}
Rect CurvePanel::gridMenuRect() const {
    return {bounds.x + 1080, bounds.y + 26, 86, 18.0 * kGridCount + 8};
}
Rect CurvePanel::curveMenuRect() const {
    // Clipboard items on the left, the transforms beside them.
    return {curveMenuX_, curveMenuY_, 282, 18.0 * kTransformCount + 8};
}
int CurvePanel::curveMenuRow(int item, const CurveAccess& curves) const {
    if (item < kCurveMenuFromLow) return item;
    if (item >= kCurveMenuTransforms) return item - kCurveMenuTransforms;
    const int band = item - kCurveMenuFromLow;
    if (curves.curveEditAllBands()) return 2 + band;
    return band == curves.curveBand() ? 2 : -1;
}
Rect CurvePanel::curveMenuItem(int item, const CurveAccess& curves) const {
    const int row = item >= 0 && item < kCurveMenuItems ? curveMenuRow(item, curves) : -1;
    if (!curveMenuOpen_ || row < 0) return {0, 0, 0, 0};
    const bool transform = item >= kCurveMenuTransforms;
    return {curveMenuX_ + (transform ? 166 : 4), curveMenuY_ + 4 + 18.0 * row,
            transform ? 112.0 : 158.0, 17};
}
Rect CurvePanel::undoButton() const {
    return {bounds.x + 1168, bounds.y + 6, 26, 20};
}
Rect CurvePanel::redoButton() const {
    return {bounds.x + 1198, bounds.y + 6, 26, 20};
}
Rect CurvePanel::pickerButton(int i) const {
    const Rect g = graph();
    return {g.x + (g.width - 900) / 2 + 130.0 * i, g.y + g.height / 2 - 7, 120, 34};
}
double CurvePanel::xOf(double phase) const {
    return graph().x + graph().width * phase;
}
double CurvePanel::yOf(double value) const {
    return graph().y + graph().height * (1 - value);
}
double CurvePanel::toPhase(double px) const {
    return std::clamp((px - graph().x) / graph().width, 0.0, 1.0);
}
double CurvePanel::toValue(double py) const {
    return std::clamp(1 - (py - graph().y) / graph().height, 0.0, 1.0);
}

double CurvePanel::snapped(double phase, const CurveAccess& curves) const {
    const int divisions = gridDivisions();
    if (curves.curveSnap() && divisions > 0 && phase > 0 && phase < 1)
        return std::round(phase * divisions) / divisions;
    return phase;
}

// ---- hit tests ----

int CurvePanel::pointAt(double px, double py, const Curve& curve) const {
    for (int i = 0; i < curve.count; ++i) {
        const double dx = xOf(curve.points[i].x) - px, dy = yOf(curve.points[i].y) - py;
        if (dx * dx + dy * dy <= 81) return i;
    }
    return -1;
}

int CurvePanel::segmentAt(double px, double py, const Curve& curve) const {
    const Rect g = graph();
    if (px < g.x || px > g.x + g.width || curve.count < 2) return -1;
    for (int i = 0; i < curve.count; ++i)
        if (std::fabs(xOf(curve.points[i].x) - px) < 7) return -1;
    const double t = toPhase(px);
    for (int i = 0; i + 1 < curve.count; ++i) {
        const double a = curve.points[i].x, b = curve.points[i + 1].x;
        if (a < t && t < b && b - a >= 0.02 &&
            std::fabs(yOf(curve.valueAt(static_cast<float>(t))) - py) <= 8)
            return i;
    }
    return -1;
}

int CurvePanel::stepAt(double px) const {
    const double t = (px - graph().x) / graph().width;
    if (!(t > 0)) return 0;
    const int cells = stepCells();
    if (!(t < 1)) return cells - 1;
    return std::clamp(static_cast<int>(std::floor(cells * t)), 0, cells - 1);
}

bool CurvePanel::showsEnd(const CurveAccess& curves) const {
    const int m = curves.curveModule();
    return curves.curveTriggerMode(m) != 0 && !curves.curveTriggerLoop(m);
}

bool CurvePanel::endAt(double px, double py, const CurveAccess& curves) const {
    const Rect g = graph();
    return showsEnd(curves) && py >= g.y && py <= g.y + g.height &&
           std::fabs(px - xOf(curves.curveEnd(curves.curveModule()))) <= 5;
}

bool CurvePanel::dragging() const {
    return dragPoint_ >= 0 || bendSegment_ >= 0 || painting_ || tabDragModule_ >= 0 ||
           endDragModule_ >= 0 || selecting_;
}

void CurvePanel::closeMenus() {
    if (shapeMenuOpen_) damage_.add(shapeMenuRect());
    if (addMenuOpen_) damage_.add(addMenuRect());
    if (gridMenuOpen_) damage_.add(gridMenuRect());
    if (curveMenuOpen_) damage_.add(curveMenuRect());
    // A menu's tab or button is lit while it is open.
    if (menuOpen()) damage_.add(tabRow());
    shapeMenuOpen_ = addMenuOpen_ = gridMenuOpen_ = curveMenuOpen_ = false;
}

void CurvePanel::setGrid(int index) {
    if (index < 0 || index >= kGridCount || index == grid_) return;
    grid_ = index;
    damage_.add(bounds);
}

void CurvePanel::showHint(std::string text) {
    hint_ = std::move(text);
    damage_.add(graphArea());
}

uint64_t CurvePanel::staticKey(const CurveAccess& curves) const {
    const int m = curves.curveModule();
    std::string labels = kGridNames[grid_];
    for (double v : {1.0, 0.5, 0.0})
        labels += "|" + curveValueText(curves, m, v) + "|" + curvePositionText(curves, m, v);
    uint64_t key = 1469598103934665603ull;
    for (const char c : labels)
        key = (key ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return key;
}

// ---- selection ----

uint64_t CurvePanel::selectedPoints(const CurveAccess& curves) const {
    const int m = curves.curveModule(), b = curves.curveBand();
    if (selection_ == 0 || m != selectionModule_ || b != selectionBand_ ||
        curves.curveAt(m, b).format() != selectionCurve_)
        return 0;
    return selection_;
}

void CurvePanel::select(uint64_t mask, const CurveAccess& curves) {
    selectionModule_ = curves.curveModule();
    selectionBand_ = curves.curveBand();
    selectionCurve_ = curves.curveAt(selectionModule_, selectionBand_).format();
    selection_ = mask;
    damage_.add(graphArea());
}

void CurvePanel::replaceSelected(const Curve& curve, uint64_t mask, CurveAccess& curves) {
    curves.curveReplace(curves.curveModule(), curves.curveBand(), curve);
    select(mask, curves);
}

void CurvePanel::applyTransform(int transform, CurveAccess& curves) {
    if (transform < 0 || transform >= kTransformCount) return;
    const uint64_t mask = selectedPoints(curves);
    const int m = curves.curveModule();
    const double step = gridStep();
    auto edit = [&](const Curve& c) {
        switch (transform) {
        case 0: return invertPoints(c, mask);
        case 1: return mirrorPoints(c, mask);
        case 2: return mask ? movePoints(c, mask, -step, 0) : shiftCurve(c, -step);
        case 3: return mask ? movePoints(c, mask, step, 0) : shiftCurve(c, step);
        case 4: return scalePoints(c, mask, 1.25, 0);
        case 5: return scalePoints(c, mask, 0.8, 0);
        case 6: return scalePoints(c, mask, 1, 0.05);
        default: return scalePoints(c, mask, 1, -0.05);
        }
    };
    if (mask != 0) {
        // Mirroring re-sorts; the selection then follows the points no longer.
        replaceSelected(edit(curves.curveAt(m, curves.curveBand())), transform == 1 ? 0 : mask,
                        curves);
        return;
    }
    for (int band = 0; band < kBandCount; ++band)
        if (curves.curveEditAllBands() || band == curves.curveBand())
            curves.curveReplace(m, band, edit(curves.curveAt(m, band)));
    damage_.add(graphArea());
}

// ---- the graph's menu ----

namespace {

std::string curveMenuLabel(int item, const CurveAccess& curves) {
    const bool all = curves.curveEditAllBands();
    if (item == kCurveMenuCopy) return all ? "Copy curves" : "Copy curve";
    if (item == kCurveMenuPaste) return all ? "Paste curves" : "Paste curve";
    if (item >= kCurveMenuTransforms) return kTransformNames[item - kCurveMenuTransforms];
    const int band = item - kCurveMenuFromLow;
    return std::string("Copy ") + kBandNames[band] + " to " + kBandNames[band == 0 ? 1 : 0] +
           " and " + kBandNames[band == 2 ? 1 : 2];
}

} // namespace

void CurvePanel::openCurveMenu(double px, double py) {
    // At the pointer, moved in as far as it takes to stay on the graph.
    const Rect g = graph();
    curveMenuX_ = std::clamp(px, g.x, g.x + g.width - 282);
    curveMenuY_ = std::clamp(py, g.y, g.y + g.height - curveMenuRect().height);
    curveMenuOpen_ = true;
    curveMenuHover_ = -1;
    damage_.add(curveMenuRect());
}

void CurvePanel::pressCurveMenu(double px, double py, CurveAccess& curves) {
    int item = -1;
    for (int i = 0; i < kCurveMenuItems; ++i)
        if (curveMenuItem(i, curves).contains(px, py)) item = i;
    if (item >= kCurveMenuTransforms) return applyTransform(item - kCurveMenuTransforms, curves);
    if (item >= kCurveMenuFromLow) return copyAcross(item - kCurveMenuFromLow, curves);
    if (clipboard_ != nullptr && item == kCurveMenuCopy) clipboard_->copyCurves();
    if (clipboard_ != nullptr && item == kCurveMenuPaste) clipboard_->pasteCurves();
}

void CurvePanel::copyAcross(int band, CurveAccess& curves) {
    const int m = curves.curveModule();
    const Curve& source = curves.curveAt(m, band);
    curves.curveUndoBegin("copy curve across", false);
    for (int other = 0; other < kBandCount; ++other)
        if (other != band) curves.curveReplace(m, other, source);
    curves.curveUndoEnd();
    // The item's label less its "Copy".
    showHint("copied" + curveMenuLabel(kCurveMenuFromLow + band, curves).substr(4));
}

bool CurvePanel::key(unsigned long keysym, bool control, bool shift, CurveAccess& curves) {
    constexpr unsigned long kEscape = 0xff1b, kDelete = 0xffff, kBackSpace = 0xff08;
    constexpr unsigned long kLeft = 0xff51, kUp = 0xff52, kRight = 0xff53, kDown = 0xff54;
    if (keysym == kEscape && dragging()) {
        // Everything the drag changed goes back; the End marker's gesture
        // still needs its end.
        const int endModule = endDragModule_;
        tabDragModule_ = endDragModule_ = -1;
        painting_ = selecting_ = groupDrag_ = false;
        lastStep_ = -1;
        dragPoint_ = bendSegment_ = dragModule_ = dragBand_ = -1;
        curves.curveUndoCancel();
        if (endModule >= 0) curves.curveFinishEnd(endModule);
        damage_.add(bounds);
        return true;
    }
    if (keysym == kEscape && menuOpen()) {
        closeMenus();
        return true;
    }
    const int m = curves.curveModule(), b = curves.curveBand();
    const Curve& curve = curves.curveAt(m, b);
    int chain[kModuleCount];
    // Points are edited only on a drawn curve (not in STEP, not in the picker).
    if (curves.curveChain(chain) == 0 || curves.curveStepMode()) return false;
    if (control && (keysym == 'a' || keysym == 'A')) {
        select(curve.count >= 64 ? ~uint64_t{0} : (uint64_t{1} << curve.count) - 1, curves);
        return true;
    }
    if (control) return false;
    const uint64_t selected = selectedPoints(curves);
    if (!dragging() && selected != 0 && keysym >= kLeft && keysym <= kDown) {
        const double fine = shift ? 0.25 : 1.0;
        const double dx = keysym == kLeft ? -gridStep() : keysym == kRight ? gridStep() : 0;
        const double dy = keysym == kUp ? 0.05 : keysym == kDown ? -0.05 : 0;
        replaceSelected(movePoints(curve, selected, dx * fine, dy * fine), selected, curves);
        return true;
    }
    if ((keysym == kDelete || keysym == kBackSpace) && !dragging() && selected != 0) {
        Curve kept = curve;
        for (int i = curve.count - 2; i > 0; --i)
            if (inMask(selected, i)) kept.removePoint(i);
        replaceSelected(kept, 0, curves);
        return true;
    }
    if ((keysym == kDelete || keysym == kBackSpace) && hoverPoint_ >= 0 && !dragging()) {
        curves.curveRemovePoint(curves.curveModule(), curves.curveBand(), hoverPoint_);
        hoverPoint_ = -1;
        damage_.add(graphArea());
        return true;
    }
    return false;
}

void CurvePanel::moveDamageTo(plugincore::Damage& frame) {
    damage_.moveTo(frame);
}

Rect CurvePanel::graphArea() const {
    // Points and handles on the graph's edges reach 8 units past it.
    const Rect g = graph();
    return {g.x - 8, g.y - 8, g.width + 16, g.height + 16};
}

Rect CurvePanel::tabRow() const {
    return {bounds.x, bounds.y + 4, bounds.width, 24};
}

Rect CurvePanel::shapeMenuRect() const {
    // The shapes in two columns, the transforms in a third.
    return {bounds.x + 974, bounds.y + 26, 352, 18.0 * kTransformCount + 8};
}

Rect CurvePanel::addMenuRect() const {
    // Rows for every effect the chain may lack, whichever are listed now.
    const Rect first = addRow(0, 0);
    return {first.x - 4, first.y - 2, 89.0 * kModuleCount + 128, 20.0 * kModuleCount + 3};
}

// ---- input ----

bool CurvePanel::press(double px, double py, int button, uint64_t timeMs, CurveAccess& curves,
                       bool shift) {
    if (!bounds.contains(px, py)) return false;
    // Only the left and right buttons act: a wheel notch (buttons 4 to 7)
    // must never edit a drawing.
    if (button != 1 && button != 3) return true;
    int chain[kModuleCount];
    const int n = curves.curveChain(chain);
    const int m = curves.curveModule(), b = curves.curveBand();
    const bool left = button == 1;

    const bool onGraph =
        !menuOpen() && n > 0 && (graph().contains(px, py) || endAt(px, py, curves));
    damage_.add(onGraph ? graphArea() : bounds);
    if (!hint_.empty()) showHint("");
    if (curveMenuOpen_) {
        if (left) pressCurveMenu(px, py, curves);
        closeMenus();
        return true;
    }
    if (gridMenuOpen_) {
        for (int i = 0; left && i < kGridCount; ++i)
            if (gridItem(i).contains(px, py) && i != grid_) {
                setGrid(i);
                std::string ignored; // a preference that cannot be kept is no error to show
                saveEditorPref(kGridPref, kGridNames[i], ignored);
            }
        gridMenuOpen_ = false;
        return true;
    }
    if (shapeMenuOpen_) {
        for (int i = 0; left && i < kShapeCount; ++i)
            if (shapeItem(i).contains(px, py)) applyShape(i, static_cast<double>(timeMs), curves);
        for (int i = 0; left && n > 0 && i < kTransformCount; ++i)
            if (transformItem(i).contains(px, py)) applyTransform(i, curves);
        shapeMenuOpen_ = false;
        return true;
    }
    if (addMenuOpen_) {
        int row = 0;
        for (int module : kDefaultChain) {
            bool present = false;
            for (int i = 0; i < n; ++i)
                present |= chain[i] == module;
            if (present) continue;
            if (left && addRow(n, row).contains(px, py)) curves.curveChainAdd(module);
            ++row;
        }
        addMenuOpen_ = false;
        return true;
    }
    for (int i = 0; i < n; ++i) {
        const Rect tab = effectTab(i);
        if (!tab.contains(px, py)) continue;
        if (!left) return true;
        const int e = chain[i];
        if (px < tab.x + 20) {
            curves.curveToggleModule(e);
            return true;
        }
        if (px >= tab.x + tab.width - 18 && (hoverTab_ == e || e == m)) {
            curves.curveChainRemove(e);
            hoverTab_ = -1;
            return true;
        }
        curves.curveSelectModule(e);
        tabDragModule_ = e;
        tabDragStartX_ = tabDragX_ = px;
        return true;
    }
    if (n <= 6 && addTab(n).contains(px, py)) {
        if (left) {
            addMenuOpen_ = true;
            addHover_ = -1;
        }
        return true;
    }
    if (n == 0) {
        for (int i = 0; left && i < kModuleCount; ++i)
            if (pickerButton(i).contains(px, py)) curves.curveChainAdd(kDefaultChain[i]);
        return true;
    }
    for (int j = 0; j < 4; ++j) {
        if (!bandTab(j).contains(px, py)) continue;
        if (left && j == 0) curves.curveSetEditAllBands(true);
        if (left && j > 0) curves.curveSelectBand(j - 1);
        return true;
    }
    if (snapButton().contains(px, py)) {
        if (left) curves.curveToggleSnap();
        return true;
    }
    if (stepButton().contains(px, py)) {
        if (!left) return true;
        const bool on = curves.curveStepMode();
        if (!on) curves.curveFillSteps(m, b, stepCells());
        curves.curveSetStepMode(!on);
        return true;
    }
    if (shapeButton().contains(px, py)) {
        if (left) {
            shapeMenuOpen_ = true;
            shapeHover_ = -1;
        }
        return true;
    }
    if (gridButton().contains(px, py)) {
        if (left) {
            gridMenuOpen_ = true;
            gridHover_ = -1;
        }
        return true;
    }
    for (const bool redo : {false, true}) {
        if (!(redo ? redoButton() : undoButton()).contains(px, py)) continue;
        const std::string label = curves.curveUndoLabel(redo);
        if (left && (redo ? curves.curveRedo() : curves.curveUndo()))
            showHint((redo ? "redone: " : "undone: ") + label);
        return true;
    }
    // The End marker may sit on the graph's right edge.
    if (graph().contains(px, py) || endAt(px, py, curves))
        pressGraph(px, py, button, timeMs, curves, shift);
    return true;
}

void CurvePanel::pressGraph(double px, double py, int button, uint64_t timeMs, CurveAccess& curves,
                            bool shift) {
    const int m = curves.curveModule(), b = curves.curveBand();
    const Curve& curve = curves.curveAt(m, b);
    const int i = pointAt(px, py, curve);
    if (button == 3) {
        clicks_.press(-1, px, py, timeMs);
        if (i >= 0) {
            curves.curveSetWeight(m, b, i, (curve.points[i].weight + 1) % 3, false);
        } else if (const int s = segmentAt(px, py, curve); s >= 0) {
            curves.curveSetBend(m, b, s, 0.0f);
        } else {
            openCurveMenu(px, py);
        }
        return;
    }
    if (curves.curveStepMode()) {
        painting_ = true;
        dragModule_ = m;
        dragBand_ = b;
        lastStep_ = -1;
        paintStep(stepAt(px), toValue(py), curves);
        return;
    }
    if (button == 1 && shift && i < 0 && segmentAt(px, py, curve) < 0) {
        selecting_ = true;
        selectX0_ = selectX1_ = px;
        selectY0_ = selectY1_ = py;
        return;
    }
    // A point pressed twice goes when the second press is released in place.
    removeOnRelease_ = clicks_.press(i, px, py, timeMs);
    if (i >= 0 && inMask(selectedPoints(curves), i) &&
        (selectedPoints(curves) & (selectedPoints(curves) - 1)) != 0) {
        // One of several selected points: they all go along.
        groupDrag_ = true;
        groupStart_ = curve;
        groupPhase_ = toPhase(px);
        groupValue_ = toValue(py);
    }
    if (i >= 0) {
        dragPoint_ = i;
    } else if (endAt(px, py, curves)) {
        endDragModule_ = m;
        curves.curveBeginEnd(m);
        return;
    } else if (const int s = segmentAt(px, py, curve); s >= 0) {
        bendSegment_ = s;
        bendStart_ = curve.points[s].bend;
        bendStartValue_ = toValue(py);
    } else {
        dragPoint_ = curves.curveAddPoint(m, b, static_cast<float>(snapped(toPhase(px), curves)),
                                          static_cast<float>(toValue(py)), 1);
        // A new point double-clicks with the press that made it.
        clicks_.press(dragPoint_, px, py, timeMs);
    }
    dragModule_ = m;
    dragBand_ = b;
}

void CurvePanel::motion(double px, double py, CurveAccess& curves) {
    if (tabDragModule_ >= 0) {
        if (tabDragX_ != px) damage_.add(tabRow());
        tabDragX_ = px;
        return;
    }
    int chain[kModuleCount];
    const int n = curves.curveChain(chain);
    const int oldTab = hoverTab_, oldAdd = addHover_, oldPicker = pickerHover_;
    const int oldPoint = hoverPoint_, oldSegment = hoverSegment_, oldShape = shapeHover_;
    const bool oldEnd = hoverEnd_;
    const double oldPhase = pointerPhase_;
    pointerPhase_ = toPhase(px);
    hoverTab_ = -1;
    for (int i = 0; i < n; ++i) {
        const Rect t = effectTab(i);
        if (px >= t.x && px < t.x + t.width && py >= bounds.y + 6 && py <= bounds.y + 26)
            hoverTab_ = chain[i];
    }
    if (addMenuOpen_) {
        addHover_ = -1;
        for (int r = 0; r < kModuleCount - n; ++r)
            if (addRow(n, r).contains(px, py)) addHover_ = r;
    } else {
        pickerHover_ = -1;
        for (int i = 0; n == 0 && i < kModuleCount; ++i)
            if (pickerButton(i).contains(px, py)) pickerHover_ = i;
        const double phase = snapped(toPhase(px), curves);
        if (painting_) {
            paintStep(stepAt(px), toValue(py), curves);
        } else if (endDragModule_ >= 0) {
            curves.curveSetEnd(endDragModule_, static_cast<float>(phase));
            damage_.add(graphArea());
        } else if (selecting_) {
            selectX1_ = px;
            selectY1_ = py;
            damage_.add(graphArea());
        } else if (groupDrag_) {
            // By the grid's steps when snapping, from where the drag began.
            const double dx =
                snapped(std::clamp(0.5 + toPhase(px) - groupPhase_, 0.0, 1.0), curves) - 0.5;
            const uint64_t mask = selectedPoints(curves);
            replaceSelected(movePoints(groupStart_, mask, dx, toValue(py) - groupValue_), mask,
                            curves);
            damage_.add(graphArea());
        } else if (dragPoint_ >= 0) {
            const float x = static_cast<float>(phase), y = static_cast<float>(toValue(py));
            const Curve& before = curves.curveAt(dragModule_, dragBand_);
            const CurvePoint old =
                dragPoint_ < before.count ? before.points[dragPoint_] : CurvePoint{};
            curves.curveMovePoint(dragModule_, dragBand_, dragPoint_, x, y);
            // The move re-sorts the points: follow ours to its new index, the
            // nearest point that now carries what we wrote.
            const Curve& after = curves.curveAt(dragModule_, dragBand_);
            const bool end = dragPoint_ == 0 || dragPoint_ == after.count - 1;
            const float wantX = end ? old.x : std::clamp(x, 0.0f, 1.0f);
            const float wantY = std::clamp(y, 0.0f, 1.0f);
            int best = dragPoint_, bestDistance = kMaxCurvePoints + 1;
            for (int i = 0; !end && i < after.count; ++i) {
                const CurvePoint& p = after.points[i];
                if (p.x != wantX || p.y != wantY || p.weight != old.weight || p.bend != old.bend)
                    continue;
                if (std::abs(i - dragPoint_) < bestDistance) {
                    best = i;
                    bestDistance = std::abs(i - dragPoint_);
                }
            }
            // A point that moved past a few units, or changed its index, was dragged.
            if (clicks_.moved(px, py) || best != dragPoint_) clicks_.forget();
            dragPoint_ = best;
            // The readout beside the point travels with it, beyond the span the
            // curve's change repaints.
            damage_.add(graphArea());
        } else if (bendSegment_ >= 0) {
            const double bend =
                std::clamp(bendStart_ + 4 * (toValue(py) - bendStartValue_), -1.0, 1.0);
            curves.curveSetBend(dragModule_, dragBand_, bendSegment_, static_cast<float>(bend));
        } else if (shapeMenuOpen_) {
            shapeHover_ = -1;
            for (int i = 0; i < kShapeCount; ++i)
                if (shapeItem(i).contains(px, py)) shapeHover_ = i;
            for (int i = 0; i < kTransformCount; ++i)
                if (transformItem(i).contains(px, py)) shapeHover_ = kShapeCount + i;
        } else if (curveMenuOpen_) {
            const int old = curveMenuHover_;
            curveMenuHover_ = -1;
            for (int item = 0; item < kCurveMenuItems; ++item)
                if (curveMenuItem(item, curves).contains(px, py)) curveMenuHover_ = item;
            if (old != curveMenuHover_) damage_.add(curveMenuRect());
        } else if (gridMenuOpen_) {
            const int old = gridHover_;
            gridHover_ = -1;
            for (int i = 0; i < kGridCount; ++i)
                if (gridItem(i).contains(px, py)) gridHover_ = i;
            if (old != gridHover_) damage_.add(gridMenuRect());
        } else if (graph().contains(px, py) && n > 0) {
            const Curve& curve = curves.curveAt(curves.curveModule(), curves.curveBand());
            hoverPoint_ = pointAt(px, py, curve);
            hoverEnd_ = false;
            hoverSegment_ = -1;
            if (hoverPoint_ < 0) {
                hoverEnd_ = endAt(px, py, curves);
                if (!hoverEnd_) hoverSegment_ = segmentAt(px, py, curve);
            }
        } else {
            hoverPoint_ = hoverSegment_ = -1;
            hoverEnd_ = false;
        }
    }
    if (oldTab != hoverTab_) damage_.add(tabRow());
    if (oldAdd != addHover_) damage_.add(addMenuRect());
    if (oldShape != shapeHover_) damage_.add(shapeMenuRect());
    // The bend handle rides along under the pointer.
    const bool handleMoved = (hoverSegment_ >= 0 || bendSegment_ >= 0) && oldPhase != pointerPhase_;
    if (oldPicker != pickerHover_ || oldPoint != hoverPoint_ || oldSegment != hoverSegment_ ||
        oldEnd != hoverEnd_ || handleMoved)
        damage_.add(graphArea());
}

void CurvePanel::release(CurveAccess& curves, bool buttonUp) {
    groupDrag_ = false;
    if (!dragging()) return;
    if (selecting_) {
        // The points of the band being edited inside the rectangle.
        const Curve& c = curves.curveAt(curves.curveModule(), curves.curveBand());
        uint64_t mask = 0;
        for (int i = 0; i < c.count; ++i) {
            const double x = xOf(c.points[i].x), y = yOf(c.points[i].y);
            if (x >= std::min(selectX0_, selectX1_) && x <= std::max(selectX0_, selectX1_) &&
                y >= std::min(selectY0_, selectY1_) && y <= std::max(selectY0_, selectY1_))
                mask |= uint64_t{1} << i;
        }
        selecting_ = false;
        select(mask, curves);
        damage_.add(graphArea()); // the rectangle goes
    } else if (tabDragModule_ >= 0) {
        damage_.add(tabRow());
    } else {
        damage_.add(graphArea());
    }
    const bool remove = buttonUp && removeOnRelease_ && dragPoint_ >= 0 && !clicks_.dragged();
    if (remove) curves.curveRemovePoint(dragModule_, dragBand_, dragPoint_);
    clicks_.release(remove);
    removeOnRelease_ = false;
    if (tabDragged()) {
        int chain[kModuleCount];
        const int n = curves.curveChain(chain);
        curves.curveChainMove(tabDragModule_, landingSlot(chain, n));
    }
    tabDragModule_ = -1;
    if (endDragModule_ >= 0) {
        curves.curveFinishEnd(endDragModule_);
        endDragModule_ = -1;
    }
    painting_ = false;
    lastStep_ = -1;
    dragPoint_ = bendSegment_ = dragModule_ = dragBand_ = -1;
}

void CurvePanel::sync(CurveAccess& curves) {
    const bool canUndo = !curves.curveUndoLabel(false).empty();
    const bool canRedo = !curves.curveUndoLabel(true).empty();
    if (canUndo != couldUndo_ || canRedo != couldRedo_) damage_.add(tabRow());
    couldUndo_ = canUndo;
    couldRedo_ = canRedo;
    int chain[kModuleCount];
    const int n = curves.curveChain(chain);
    if (n == 0) return;
    const int m = curves.curveModule();
    for (int i = 0; i < n; ++i)
        if (chain[i] == m) return;
    curves.curveSelectModule(chain[0]);
    damage_.add(bounds);
}

void CurvePanel::paintStep(int cell, double value, CurveAccess& curves) {
    if (cell < 0) return;
    const int module = curves.curveModule(), band = curves.curveBand();
    const float v = static_cast<float>(value);
    if (lastStep_ >= 0 && std::abs(cell - lastStep_) > 1) {
        const int dir = cell > lastStep_ ? 1 : -1;
        for (int c = lastStep_ + dir; c != cell; c += dir)
            curves.curveSetStep(module, band, c, stepCells(), v);
    }
    curves.curveSetStep(module, band, cell, stepCells(), v);
    lastStep_ = cell;
}

void CurvePanel::applyShape(int shape, double seed, CurveAccess& curves) {
    const int m = curves.curveModule(), b = curves.curveBand();
    if (shape == 0) {
        curves.curveSetFlat(m, b, neutralValue(m));
        return;
    }
    if (shape < 0 || shape >= kShapeCount) return;
    // A drawn shape is for drawing on: the next click must not paint a cell.
    constexpr int kStairs = 9, kRandom = 10;
    if (shape != kStairs && shape != kRandom) curves.curveSetStepMode(false);
    curves.curveEnableModule(m);
    auto flat = [&](float v) { curves.curveSetFlat(m, b, v); };
    auto point = [&](float x, float y, int w) { curves.curveAddPoint(m, b, x, y, w); };
    switch (shape) {
    case 1: flat(1.0f), point(0, 0.05f, 2), point(0.16f, 1.0f, 2); break;
    case 2: flat(0.0f), point(0, 1, 0), point(0.45f, 1, 0), point(0.5f, 0, 0); break;
    case 3: flat(0.0f), point(1, 1, 0); break;
    case 4: flat(1.0f), point(1, 0, 0); break;
    case 5: flat(0.0f), point(0, 0, 0), point(0.5f, 1, 0), point(1, 0, 0); break;
    case 6: flat(0.0f), point(0, 1, 0), point(0.498f, 1, 0), point(0.5f, 0, 0); break;
    case 7: flat(0.0f), point(0, 1, 0), point(0.22f, 1, 0), point(0.25f, 0, 0); break;
    case 8:
        // Straight runs between many points: soft corners on few points
        // flatten at every point and read as a ripple.
        flat(0.0f);
        for (int k = 0; k <= 32; ++k) {
            const float t = static_cast<float>(k) / 32.0f;
            point(t, 0.5f - 0.5f * std::cos(2.0f * static_cast<float>(kPi) * t), 0);
        }
        break;
    case 9:
        flat(0.0f);
        for (int k = 0; k < 8; ++k)
            curves.curveSetStep(m, b, k, 8, 1.0f - 0.125f * k);
        break;
    case 10: {
        flat(0.0f);
        const uint32_t s = static_cast<uint32_t>(static_cast<int64_t>(seed * 1000.0));
        uint32_t state = s == 0x9E3779B9u ? 1u : s ^ 0x9E3779B9u;
        for (int k = 0; k < kRandomSteps; ++k) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            curves.curveSetStep(m, b, k, kRandomSteps,
                                static_cast<float>((state & 0xFFFFFFu) / 16777215.0));
        }
        break;
    }
    case 11: flat(0.0f), point(1, 1, 0), curves.curveSetBend(m, b, 0, 0.85f); break;
    default: break;
    }
}

// ---- painting ----

void CurvePanel::drawTab(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves, int e,
                         const Rect& tab) const {
    const int m = curves.curveModule();
    roundedRect(cr, tab, 4);
    setColour(cr, e == m ? p.accent : p.trackColour, 0.1);
    cairo_fill(cr);
    cairo_arc(cr, tab.x + 10, tab.y + 10, 3.2, 0, 2 * kPi);
    const bool on = curves.curveModuleEnabled(e);
    if (on) {
        setColour(cr, p.accent);
        cairo_fill(cr);
    } else {
        setColour(cr, p.textFaint);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
    }
    // Between the switch and the close mark, whatever the name and the zoom.
    setFont(cr, 8.5, true);
    setColour(cr, e == m ? p.accent : (on ? p.textDim : p.textFaint));
    drawText(cr, plugincore::fitText(cr, moduleName(e), 52).c_str(), tab.x + 46, tab.y + 14,
             Align::Centre);
    if (e == hoverTab_ || e == m) {
        setColour(cr, e == hoverTab_ ? p.textBright : p.textFaint);
        const double cx = tab.x + 77, cy = tab.y + 10;
        cairo_move_to(cr, cx - 3, cy - 3);
        cairo_line_to(cr, cx + 3, cy + 3);
        cairo_move_to(cr, cx + 3, cy - 3);
        cairo_line_to(cr, cx - 3, cy + 3);
        cairo_set_line_width(cr, 1.3);
        cairo_stroke(cr);
    }
}

void CurvePanel::drawTabs(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves,
                          const int* chain, int n) const {
    // A dragged tab: the others make room at the slot it will land in, an
    // outline marks that slot, and the tab itself rides along the row on an
    // opaque ground over them, so no two labels ever show through each other.
    const bool dragged = tabDragged();
    const int from = static_cast<int>(std::find(chain, chain + n, tabDragModule_) - chain);
    const int slot = dragged ? landingSlot(chain, n) : -1;
    for (int i = 0, shown = 0; i < n; ++i) {
        if (dragged && i == from) continue;
        shown += shown == slot;
        drawTab(cr, p, curves, chain[i], effectTab(shown++));
    }
    if (dragged) {
        roundedRect(cr, effectTab(slot), 4);
        setColour(cr, p.accent, 0.6);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        Rect tab = effectTab(from);
        tab.x = std::clamp(tab.x + tabDragX_ - tabDragStartX_, effectTab(0).x, effectTab(n - 1).x);
        roundedRect(cr, tab, 4);
        setColour(cr, p.panelFill);
        cairo_fill(cr);
        drawTab(cr, p, curves, tabDragModule_, tab);
    }
    if (n <= 6) {
        const Rect tab = addTab(n);
        roundedRect(cr, tab, 4);
        setColour(cr, addMenuOpen_ ? p.accent : p.trackColour, 0.1);
        cairo_fill(cr);
        setColour(cr, addMenuOpen_ ? p.accent : p.textDim);
        cairo_move_to(cr, tab.x + 9, tab.y + 10);
        cairo_line_to(cr, tab.x + 19, tab.y + 10);
        cairo_move_to(cr, tab.x + 14, tab.y + 5);
        cairo_line_to(cr, tab.x + 14, tab.y + 15);
        cairo_set_line_width(cr, 1.6);
        cairo_stroke(cr);
    }
    static constexpr const char* kBandLabels[4] = {"ALL", "LOW", "MID", "HIGH"};
    const int lit = curves.curveEditAllBands() ? 0 : curves.curveBand() + 1;
    for (int j = 0; j < 4; ++j) {
        const Rect tab = bandTab(j);
        roundedRect(cr, tab, 4);
        setColour(cr, j == lit ? p.accent : p.trackColour, 0.1);
        cairo_fill(cr);
        setFont(cr, 8.5, true);
        setColour(cr, j == lit ? p.accent : p.textDim);
        drawText(cr, kBandLabels[j], tab.x + 24, tab.y + 14, Align::Centre);
        if (j > 0 && !curves.curveBandEnabled(j - 1)) {
            cairo_arc(cr, tab.x + 6, tab.y + 5, 2, 0, 2 * kPi);
            setColour(cr, p.textFaint);
            cairo_fill(cr);
        }
    }
    const bool toggles[2] = {curves.curveSnap(), curves.curveStepMode()};
    const Rect buttons[2] = {snapButton(), stepButton()};
    static constexpr const char* kToggleLabels[2] = {"SNAP", "STEP"};
    for (int k = 0; k < 2; ++k) {
        roundedRect(cr, buttons[k], 4);
        setColour(cr, toggles[k] ? p.accent : p.trackColour, toggles[k] ? 0.22 : 0.1);
        cairo_fill(cr);
        setColour(cr, toggles[k] ? p.accent : p.textDim);
        drawText(cr, kToggleLabels[k], buttons[k].x + 27, buttons[k].y + 14, Align::Centre);
    }
    const Rect shape = shapeButton();
    roundedRect(cr, shape, 4);
    setColour(cr, shapeMenuOpen_ ? p.accent : p.trackColour, 0.22);
    cairo_fill(cr);
    setColour(cr, shapeMenuOpen_ ? p.accent : p.textDim);
    drawText(cr, "SHAPE", shape.x + 45, shape.y + 14, Align::Centre);
    cairo_move_to(cr, shape.x + 83, shape.y + 9);
    cairo_line_to(cr, shape.x + 87, shape.y + 13);
    cairo_line_to(cr, shape.x + 91, shape.y + 9);
    cairo_set_line_width(cr, 1.4);
    cairo_stroke(cr);
    drawToolbar(cr, p, curves);
}

bool CurvePanel::tabDragged() const {
    // A few units of travel before a press on a tab becomes a drag.
    return tabDragModule_ >= 0 && std::fabs(tabDragX_ - tabDragStartX_) > 6;
}

int CurvePanel::landingSlot(const int* chain, int n) const {
    // The slot nearest to where the dragged tab is drawn.
    const int from = static_cast<int>(std::find(chain, chain + n, tabDragModule_) - chain);
    const double slots = (tabDragX_ - tabDragStartX_) / (effectTab(1).x - effectTab(0).x);
    return std::clamp(from + static_cast<int>(std::lround(slots)), 0, std::max(n - 1, 0));
}

void CurvePanel::drawToolbar(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const {
    const Rect grid = gridButton();
    roundedRect(cr, grid, 4);
    setColour(cr, gridMenuOpen_ ? p.accent : p.trackColour, 0.22);
    cairo_fill(cr);
    setColour(cr, gridMenuOpen_ ? p.accent : p.textDim);
    setFont(cr, 8.5, true);
    const std::string label = std::string("GRID ") + kGridNames[grid_];
    drawText(cr, label.c_str(), grid.x + 34, grid.y + 14, Align::Centre);
    cairo_move_to(cr, grid.x + 64, grid.y + 9);
    cairo_line_to(cr, grid.x + 68, grid.y + 13);
    cairo_line_to(cr, grid.x + 72, grid.y + 9);
    cairo_set_line_width(cr, 1.4);
    cairo_stroke(cr);
    for (const bool redo : {false, true}) {
        const Rect r = redo ? redoButton() : undoButton();
        const bool can = !curves.curveUndoLabel(redo).empty();
        roundedRect(cr, r, 4);
        setColour(cr, p.trackColour, 0.1);
        cairo_fill(cr);
        // An arch with its arrowhead at the left end for undo, the right for redo.
        const double cx = r.x + r.width / 2, cy = r.y + 13, tip = redo ? cx + 5 : cx - 5;
        setColour(cr, can ? p.textDim : p.textFaint, can ? 1.0 : 0.45);
        cairo_set_line_width(cr, 1.5);
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, 5, kPi, 2 * kPi);
        cairo_stroke(cr);
        cairo_move_to(cr, tip - 3, cy - 3);
        cairo_line_to(cr, tip, cy + 1);
        cairo_line_to(cr, tip + 3, cy - 3);
        cairo_stroke(cr);
    }
}

void CurvePanel::drawStatic(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const {
    if (bounds.width <= 1 || bounds.height <= 1) return;
    int chain[kModuleCount];
    const int n = curves.curveChain(chain);
    roundedRect(cr, bounds, 6);
    setColour(cr, p.panelFill);
    cairo_fill_preserve(cr);
    setColour(cr, p.panelLine);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    const Rect g = graph();
    // panelLine at 0.3 over panelFill, filled opaque: cheaper than the blend.
    cairo_rectangle(cr, g.x, g.y, g.width, g.height);
    const Rgb under = p.panelFill, over = p.panelLine;
    cairo_set_source_rgb(cr, under.r * 0.7 + over.r * 0.3, under.g * 0.7 + over.g * 0.3,
                         under.b * 0.7 + over.b * 0.3);
    cairo_fill(cr);
    if (n == 0) return;

    // The stage's own units: its value up the side, its rate along the bottom.
    const int m = curves.curveModule();
    setFont(cr, 7.5, false);
    setColour(cr, p.textFaint);
    drawText(cr, curveValueText(curves, m, 1).c_str(), g.x - 4, g.y + 4, Align::Right);
    drawText(cr, curveValueText(curves, m, 0.5).c_str(), g.x - 4, g.y + g.height / 2 + 3,
             Align::Right);
    drawText(cr, curveValueText(curves, m, 0).c_str(), g.x - 4, g.y + g.height + 3, Align::Right);
    setFont(cr, 8, false);
    drawText(cr, "0", g.x, g.y + g.height + 16, Align::Left);
    drawText(cr, curvePositionText(curves, m, 0.5).c_str(), g.x + g.width / 2, g.y + g.height + 16,
             Align::Centre);
    drawText(cr, curvePositionText(curves, m, 1).c_str(), g.x + g.width, g.y + g.height + 16,
             Align::Right);

    // Under the scope: its tints are faint enough to show the grid through.
    cairo_set_line_width(cr, 1);
    setColour(cr, p.trackColour, 0.3);
    const int lines = gridDivisions() > 0 ? gridDivisions() : 16;
    for (int k = 1; k < lines; ++k) {
        const double x = std::floor(xOf(static_cast<double>(k) / lines)) + 0.5;
        cairo_move_to(cr, x, g.y);
        cairo_line_to(cr, x, g.y + g.height);
    }
    cairo_stroke(cr);
    setColour(cr, p.trackColour, 0.22);
    for (double v : {0.75, 0.5, 0.25}) {
        const double y = std::floor(yOf(v)) + 0.5;
        cairo_move_to(cr, g.x, y);
        cairo_line_to(cr, g.x + g.width, y);
    }
    cairo_stroke(cr);
}

void CurvePanel::draw(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) {
    if (bounds.width <= 1 || bounds.height <= 1) return;
    int chain[kModuleCount];
    const int n = curves.curveChain(chain);
    if (plugincore::inClip(cr, tabRow())) drawTabs(cr, p, curves, chain, n);
    const Rect g = graph();
    if (plugincore::inClip(cr, g)) {
        if (n == 0) {
            drawPicker(cr, p);
        } else {
            drawScope(cr, p, curves);
            drawTrigger(cr, p, curves);
            if (curves.curveEditAllBands()) {
                setFont(cr, 8, true);
                setColour(cr, p.accent, 0.75);
                drawText(cr, "ALL BANDS", g.x + g.width - 8, g.y + 24, Align::Right);
            }
            drawCurves(cr, p, curves);
            drawReadout(cr, p, curves);
            drawHint(cr, p, curves);
        }
    }
    drawMenus(cr, p, curves, n);
}

void CurvePanel::drawHint(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const {
    const Rect g = graph();
    const char* hint = !hint_.empty() ? hint_.c_str()
                       : curves.curveStepMode()
                           ? "STEP -- click or drag a cell to set its level; SHAPE for a starting "
                             "point"
                           : "click adds a point, drag moves it, double-click deletes, right-click "
                             "a point for its corner or elsewhere for the curve menu, drag the "
                             "line between two points to bend it";
    setFont(cr, 8.5, false);
    cairo_text_extents_t e;
    cairo_text_extents(cr, hint, &e);
    roundedRect(cr, {g.x + 6, g.y + g.height - 22, std::min(e.x_advance + 12, g.width - 12), 16},
                4);
    setColour(cr, p.panelFill, 0.88);
    cairo_fill(cr);
    setColour(cr, p.textFaint);
    drawText(cr, hint, g.x + 12, g.y + g.height - 10, Align::Left);
}

void CurvePanel::drawCurves(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const {
    const int m = curves.curveModule(), sel = curves.curveBand();
    for (int band = 0; band < kBandCount; ++band) {
        const Curve& c = curves.curveAt(m, band);
        setColour(cr, band == sel ? p.accent : p.textFaint, band == sel ? 1.0 : 0.45);
        cairo_set_line_width(cr, band == sel ? 2.2 : 1.1);
        RunStroke line(cr);
        for (int k = 0; k <= 400; ++k) {
            const float t = static_cast<float>(k) / 400.0f;
            line.lineTo(xOf(t), yOf(c.valueAt(t)));
        }
        line.gap();
    }
    const Curve& c = curves.curveAt(m, sel);
    const bool ownDrag = dragModule_ == m && dragBand_ == sel;
    const uint64_t chosen = selectedPoints(curves);
    // A staircase is edited by its cells; its points would stand in pairs.
    for (int i = 0; !curves.curveStepMode() && i < c.count; ++i) {
        const bool big = i == hoverPoint_ || (ownDrag && i == dragPoint_);
        const double x = xOf(c.points[i].x), y = yOf(c.points[i].y), r = big ? 6 : 4.5;
        // The corner shows in the handle: hard a square, medium a diamond, soft round.
        cairo_new_sub_path(cr);
        if (c.points[i].weight == 0) {
            cairo_rectangle(cr, x - r * 0.85, y - r * 0.85, r * 1.7, r * 1.7);
        } else if (c.points[i].weight == 1) {
            cairo_move_to(cr, x, y - r * 1.15);
            cairo_line_to(cr, x + r * 1.15, y);
            cairo_line_to(cr, x, y + r * 1.15);
            cairo_line_to(cr, x - r * 1.15, y);
            cairo_close_path(cr);
        } else {
            cairo_arc(cr, x, y, r, 0, 2 * kPi);
        }
        setColour(cr, chosen != 0 && inMask(chosen, i) ? p.accent : p.panelFill);
        cairo_fill_preserve(cr);
        setColour(cr, big ? p.textBright : p.accent);
        cairo_set_line_width(cr, 1.6);
        cairo_stroke(cr);
    }
    if (selecting_) {
        const double dash[2] = {4, 3};
        cairo_set_dash(cr, dash, 2, 0);
        cairo_rectangle(cr, std::min(selectX0_, selectX1_) + 0.5,
                        std::min(selectY0_, selectY1_) + 0.5, std::fabs(selectX1_ - selectX0_),
                        std::fabs(selectY1_ - selectY0_));
        setColour(cr, p.accent, 0.12);
        cairo_fill_preserve(cr);
        setColour(cr, p.accent, 0.8);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    const int s = bendSegment_ >= 0 ? bendSegment_ : hoverSegment_;
    if (s >= 0 && s + 1 < c.count) {
        const double a = c.points[s].x, b = c.points[s + 1].x, inset = 0.2 * (b - a);
        const float t = static_cast<float>(std::clamp(pointerPhase_, a + inset, b - inset));
        cairo_new_sub_path(cr);
        cairo_arc(cr, xOf(t), yOf(c.valueAt(t)), 4.5, 0, 2 * kPi);
        setColour(cr, p.textBright);
        cairo_fill_preserve(cr);
        setColour(cr, p.accent);
        cairo_set_line_width(cr, 1.4);
        cairo_stroke(cr);
    }
}

void CurvePanel::drawReadout(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const {
    const int m = curves.curveModule(), b = curves.curveBand();
    const int i = dragPoint_ >= 0 && dragModule_ == m && dragBand_ == b ? dragPoint_ : hoverPoint_;
    const Curve& c = curves.curveAt(m, b);
    if (i < 0 || i >= c.count || curves.curveStepMode()) return;
    const std::string text = curvePositionText(curves, m, c.points[i].x) + "   " +
                             curveValueText(curves, m, c.points[i].y);
    setFont(cr, 8.5, true);
    const double width = plugincore::inkWidth(cr, text.c_str()) + 14;
    const Rect g = graph();
    // Beside the point, turned inwards near an edge; always inside the graph.
    const double px = xOf(c.points[i].x), py = yOf(c.points[i].y);
    const double x = std::clamp(px + 12 + width > g.x + g.width ? px - 12 - width : px + 12,
                                g.x + 2, g.x + g.width - width - 2);
    const double y = std::clamp(py - 26, g.y + 2, g.y + g.height - 20);
    roundedRect(cr, {x, y, width, 18}, 4);
    setColour(cr, p.panelFill, 0.94);
    cairo_fill_preserve(cr);
    setColour(cr, p.accent, 0.7);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    setColour(cr, p.textBright);
    drawText(cr, text.c_str(), x + 7, y + 12.5, Align::Left);
}

namespace {

void drawMenuFrame(cairo_t* cr, const CurvePalette& p, const Rect& box) {
    roundedRect(cr, box, 5);
    setColour(cr, p.panelFill, 0.98);
    cairo_fill_preserve(cr);
    setColour(cr, p.panelLine);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// A tint behind the hovered item (a fainter one behind the current choice),
// then its text.
void drawMenuItem(cairo_t* cr, const CurvePalette& p, const Rect& item, const char* text,
                  bool hovered, bool current = false, double baseline = 12) {
    if (hovered || current) {
        roundedRect(cr, item, 3);
        setColour(cr, p.accent, hovered ? 0.22 : 0.1);
        cairo_fill(cr);
    }
    setColour(cr, hovered ? p.textBright : (current ? p.accent : p.textDim));
    drawText(cr, text, item.x + 8, item.y + baseline, Align::Left);
}

// The transforms stand apart from what a menu lists before them by a rule.
void drawTransformsRule(cairo_t* cr, const CurvePalette& p, const Rect& first) {
    cairo_move_to(cr, first.x - 2.5, first.y);
    cairo_line_to(cr, first.x - 2.5, first.y + 18.0 * kTransformCount - 1);
    setColour(cr, p.panelLine);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

} // namespace

void CurvePanel::drawMenus(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves,
                           int n) const {
    if (gridMenuOpen_ && plugincore::inClip(cr, gridMenuRect())) {
        drawMenuFrame(cr, p, gridMenuRect());
        setFont(cr, 8.5, false);
        for (int i = 0; i < kGridCount; ++i)
            drawMenuItem(cr, p, gridItem(i), kGridNames[i], i == gridHover_, i == grid_);
    }
    if (addMenuOpen_ && plugincore::inClip(cr, addMenuRect())) {
        int chain[kModuleCount];
        const int length = curves.curveChain(chain);
        int r = 0;
        setFont(cr, 8.5, true);
        for (int module : kDefaultChain) {
            if (std::find(chain, chain + length, module) != chain + length) continue;
            const Rect row = addRow(n, r);
            cairo_rectangle(cr, row.x - 4, row.y - 2, 128, 23);
            setColour(cr, p.panelFill, 0.98);
            cairo_fill(cr);
            drawMenuItem(cr, p, row, moduleName(module), r == addHover_, false, 13);
            ++r;
        }
    }
    if (shapeMenuOpen_ && plugincore::inClip(cr, shapeMenuRect())) {
        drawMenuFrame(cr, p, shapeMenuRect());
        setFont(cr, 8.5, false);
        for (int i = 0; i < kShapeCount; ++i)
            drawMenuItem(cr, p, shapeItem(i), kShapeNames[i], i == shapeHover_);
        drawTransformsRule(cr, p, transformItem(0));
        for (int i = 0; i < kTransformCount; ++i)
            drawMenuItem(cr, p, transformItem(i), kTransformNames[i],
                         shapeHover_ == kShapeCount + i);
    }
    if (curveMenuOpen_ && plugincore::inClip(cr, curveMenuRect())) {
        drawMenuFrame(cr, p, curveMenuRect());
        setFont(cr, 8.5, false);
        drawTransformsRule(cr, p, curveMenuItem(kCurveMenuTransforms, curves));
        for (int item = 0; item < kCurveMenuItems; ++item)
            if (const Rect r = curveMenuItem(item, curves); r.width > 0)
                drawMenuItem(cr, p, r, curveMenuLabel(item, curves).c_str(),
                             item == curveMenuHover_);
    }
}

void CurvePanel::drawPicker(cairo_t* cr, const CurvePalette& p) const {
    const Rect g = graph();
    setFont(cr, 10, true);
    setColour(cr, p.textDim);
    drawText(cr, "ADD AN EFFECT", g.x + g.width / 2, g.y + g.height / 2 - 25, Align::Centre);
    for (int i = 0; i < kModuleCount; ++i) {
        const Rect b = pickerButton(i);
        roundedRect(cr, b, 5);
        setColour(cr, i == pickerHover_ ? p.accent : p.trackColour,
                  i == pickerHover_ ? 0.25 : 0.14);
        cairo_fill(cr);
        setFont(cr, 9.5, true);
        setColour(cr, i == pickerHover_ ? p.accent : p.textDim);
        drawText(cr, moduleName(kDefaultChain[i]), b.x + 60, b.y + 21, Align::Centre);
    }
    setFont(cr, 8.5, false);
    setColour(cr, p.textFaint);
    drawText(cr, "effects run left to right; drag one along the bar to change the order",
             g.x + g.width / 2, g.y + g.height / 2 + 51, Align::Centre);
}

void CurvePanel::drawTrigger(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) {
    const int m = curves.curveModule();
    const int mode = curves.curveTriggerMode(m);
    if (mode == 0) return;
    const Rect g = graph();
    if (showsEnd(curves)) {
        const double ex = std::floor(xOf(curves.curveEnd(m))) + 0.5;
        if (ex < g.x + g.width) {
            cairo_rectangle(cr, ex, g.y, g.x + g.width - ex, g.height);
            setColour(cr, p.panelFill, 0.55);
            cairo_fill(cr);
        }
        const bool hot = hoverEnd_ || endDragModule_ >= 0;
        const double alpha = hot ? 1.0 : 0.75;
        const double dash[2] = {4, 3};
        cairo_set_dash(cr, dash, 2, 0);
        cairo_move_to(cr, ex, g.y);
        cairo_line_to(cr, ex, g.y + g.height);
        setColour(cr, p.warm, alpha);
        cairo_set_line_width(cr, hot ? 2.0 : 1.4);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        const double left = std::min(g.x + g.width - 30, ex);
        roundedRect(cr, {left, g.y, 30, 14}, 3);
        cairo_fill(cr);
        setFont(cr, 7.5, true);
        setColour(cr, p.panelFill);
        drawText(cr, "END", left + 15, g.y + 10.5, Align::Centre);
    }
    const bool loop = curves.curveTriggerLoop(m);
    const char* label =
        mode == 1 ? (loop ? "MIDI  LOOP" : "MIDI  ONCE") : (loop ? "AUDIO  LOOP" : "AUDIO  ONCE");
    if (const ScopeData* scope = curves.curveScope()) {
        const uint32_t count = scope->triggerCount.load(std::memory_order_relaxed);
        if (count != triggerSeen_) {
            triggerSeen_ = count;
            triggerFlash_ = 4;
        } else if (triggerFlash_ > 0) {
            --triggerFlash_;
        }
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, g.x + 14, g.y + 14, 4, 0, 2 * kPi);
    if (triggerFlash_ >= 1) {
        setColour(cr, p.warm);
        cairo_fill(cr);
    } else {
        setColour(cr, p.warm, 0.6);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
    }
    setFont(cr, 8, true);
    setColour(cr, p.warm, 0.9);
    drawText(cr, label, g.x + 24, g.y + 17.5, Align::Left);
}

void CurvePanel::drawScope(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const {
    const ScopeData* scope = curves.curveScope();
    if (scope == nullptr) return;
    const Rect g = graph();
    const int m = curves.curveModule();
    const bool bipolar = m == kPan || m == kWid;
    auto columnX = [&](int c) { return g.x + (c + 0.5) * g.width / kScopeColumns; };
    bool sideActive = false;
    for (int c = 0; c < kScopeColumns && !sideActive; ++c)
        sideActive =
            std::fabs(scope->sideMin[c]) > 0.0001f || std::fabs(scope->sideMax[c]) > 0.0001f;
    struct Pair {
        const float* lo;
        const float* hi;
        Rgb c;
        double alpha;
        bool outline;
    };
    const Pair pairs[3] = {{scope->beforeMin, scope->beforeMax, p.textDim, 0.2, false},
                           {scope->afterMin, scope->afterMax, p.accent, 0.28, false},
                           {scope->sideMin, scope->sideMax, p.warm, 0.16, true}};
    // Only the columns under the clip, and one more on either side, so that
    // the shapes' closing edges lie outside it: a strip costs a strip.
    double x0, y0, x1, y1;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    const double column = g.width / kScopeColumns;
    const int first = std::max(0, int(std::floor((x0 - g.x) / column - 0.5)) - 1);
    const int last = std::min(kScopeColumns - 1, int(std::ceil((x1 - g.x) / column - 0.5)) + 1);
    if (first > last) return;
    for (int k = 0; k < 3; ++k) {
        const Pair& pr = pairs[k];
        if (pr.outline && !sideActive) continue;
        if (bipolar) {
            const double mid = g.y + g.height / 2, half = g.height / 2;
            for (int c = first; c <= last; ++c)
                cairo_line_to(cr, columnX(c), mid - half * std::clamp(pr.hi[c], -1.0f, 1.0f));
            for (int c = last; c >= first; --c)
                cairo_line_to(cr, columnX(c), mid - half * std::clamp(pr.lo[c], -1.0f, 1.0f));
            cairo_close_path(cr);
        } else {
            const double bottom = g.y + g.height;
            cairo_move_to(cr, columnX(first), bottom);
            for (int c = first; c <= last; ++c) {
                const double level =
                    std::min(1.0f, std::max(std::fabs(pr.lo[c]), std::fabs(pr.hi[c])));
                cairo_line_to(cr, columnX(c), bottom - g.height * level);
            }
            cairo_line_to(cr, columnX(last), bottom);
            cairo_close_path(cr);
        }
        setColour(cr, pr.c, pr.alpha);
        if (!pr.outline) {
            // A faint tint over the whole graph: antialiasing its edge is not
            // seen, but its scan conversion is the scope frame's biggest cost.
            cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
            cairo_fill(cr);
            cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
            continue;
        }
        cairo_fill_preserve(cr);
        setColour(cr, pr.c, 0.85);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    setColour(cr, p.textBright, 0.55);
    cairo_set_line_width(cr, 1.2);
    RunStroke trace(cr);
    for (int c = 0; c < kScopeColumns; ++c) {
        const float v = scope->trace[c];
        if (v >= 0)
            trace.lineTo(columnX(c), yOf(std::min(v, 1.0f)));
        else
            trace.gap();
    }
    trace.gap();
    if (scope->playhead >= 0) {
        const double x = std::floor(xOf(scope->playhead)) + 0.5;
        cairo_move_to(cr, x, g.y);
        cairo_line_to(cr, x, g.y + g.height);
        setColour(cr, p.accent, 0.8);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
}

} // namespace norvale
