// The curve editor: effect tabs in chain order, band tabs, SNAP / STEP /
// SHAPE, and the graph of the selected effect's three band curves with the
// scope behind them and the trigger state on top.
//
// Plain model and cairo code: the window hands it pointer positions in design
// units and a cairo context; nothing here touches X. It owns no curve data and
// edits everything through CurveAccess. Main thread only.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "gui/damage.h"
#include "gui/double_click.h"
#include "gui/window_spec.h"
#include "plugin/curve_access.h"

namespace norvale {

struct CurvePalette {
    plugincore::Rgb accent, panelFill, panelLine, trackColour, textBright, textDim, textFaint, warm;
};
CurvePalette curvePalette(const plugincore::Palette& window);

inline constexpr int kShapeCount = 12;
inline constexpr const char* kShapeNames[kShapeCount] = {
    "FLAT",   "DUCK",  "GATE", "RAMP UP", "RAMP DOWN", "TRIANGLE",
    "SQUARE", "PULSE", "SINE", "STAIRS",  "RANDOM",    "EXPO RISE"};

class CurvePanel {
public:
    plugincore::Rect bounds{16, 74, 1400, 440};

    // ---- geometry (design units) ----
    plugincore::Rect graph() const;
    plugincore::Rect effectTab(int i) const;
    plugincore::Rect addTab(int chainLength) const;
    plugincore::Rect addRow(int chainLength, int row) const;
    plugincore::Rect bandTab(int j) const; // 0 ALL, 1 LOW, 2 MID, 3 HIGH
    plugincore::Rect snapButton() const;
    plugincore::Rect stepButton() const;
    plugincore::Rect shapeButton() const;
    plugincore::Rect shapeItem(int i) const;
    plugincore::Rect pickerButton(int i) const;
    double xOf(double phase) const;
    double yOf(double value) const;
    double toPhase(double px) const;
    double toValue(double py) const;

    // ---- input ----
    // True for every press inside bounds. Only button 1 acts on tabs, buttons
    // and menus, and buttons 1 and 3 in the graph; the wheel changes nothing.
    bool press(double px, double py, int button, uint64_t timeMs, CurveAccess& curves);
    void motion(double px, double py, CurveAccess& curves);
    // Ends whatever drag is open: the button came up, or (buttonUp false) the
    // window is hidden or destroyed or the release was lost.
    void release(CurveAccess& curves, bool buttonUp = false);
    void sync(CurveAccess& curves);
    bool dragging() const;
    bool menuOpen() const { return shapeMenuOpen || addMenuOpen; }
    void closeMenus();
    // Hands what changed on screen since the last call to the frame's damage.
    void moveDamageTo(plugincore::Damage& frame);

    // ---- painting ----
    // What changes only with the layout: the frame, the graph's ground, grid
    // and axis text (none of them with an empty chain).
    void drawStatic(cairo_t* cr, const CurvePalette& palette, const CurveAccess& curves) const;
    // What moves, over the static layer; parts outside the clip are skipped.
    void draw(cairo_t* cr, const CurvePalette& palette, const CurveAccess& curves);
    plugincore::Rect scopeRect() const { return graph(); }
    plugincore::Rect graphArea() const; // the graph and the marks reaching past its edges
    plugincore::Rect tabRow() const;    // effect and band tabs, SNAP, STEP, SHAPE
    plugincore::Rect shapeMenuRect() const;
    plugincore::Rect addMenuRect() const;

    // ---- hit tests ----
    int pointAt(double px, double py, const Curve& curve) const;
    int segmentAt(double px, double py, const Curve& curve) const;
    int stepAt(double px) const;
    bool showsEnd(const CurveAccess& curves) const;
    bool endAt(double px, double py, const CurveAccess& curves) const;
    void applyShape(int shape, double seed, CurveAccess& curves);
    void paintStep(int cell, double value, CurveAccess& curves);

    // ---- state (read by tests) ----
    int dragPoint = -1;
    int bendSegment = -1;
    int dragModule = -1, dragBand = -1;
    float bendStart = 0.0f;
    double bendStartValue = 0.0;
    bool painting = false;
    int lastStep = -1;
    DoubleClick clicks; // on points
    bool removeOnRelease = false;
    int hoverPoint = -1, hoverSegment = -1;
    bool hoverEnd = false;
    bool shapeMenuOpen = false;
    int shapeHover = -1;
    bool addMenuOpen = false;
    int addHover = -1;
    int pickerHover = -1;
    int hoverTab = -1;
    int tabDragModule = -1;
    double tabDragStartX = 0.0, tabDragX = 0.0;
    int endDragModule = -1;
    uint32_t triggerSeen = 0;
    int triggerFlash = 0;

private:
    double snapped(double phase, const CurveAccess& curves) const;
    void pressGraph(double px, double py, int button, uint64_t timeMs, CurveAccess& curves);
    void drawTabs(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves, const int* chain,
                  int n) const;
    void drawScope(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const;
    void drawTrigger(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves);
    void drawPicker(cairo_t* cr, const CurvePalette& p) const;
    void drawCurves(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const;
    void drawMenus(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves, int n) const;
    void drawHint(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const;

    plugincore::Damage damage_;
};

} // namespace norvale
