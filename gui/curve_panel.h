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
#include <string>
#include <string_view>

#include "dsp/curve.h"
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

// The grid SNAP and STEP follow: divisions of the cycle, 0 for "off" (no
// snapping; STEP then paints sixteenths).
inline constexpr int kGridCount = 8;
inline constexpr int kGridDivisions[kGridCount] = {4, 8, 16, 32, 6, 12, 24, 0};
inline constexpr const char* kGridNames[kGridCount] = {"1/4", "1/8",  "1/16", "1/32",
                                                       "1/6", "1/12", "1/24", "off"};
inline constexpr int kDefaultGrid = 2;
// The editor preference that remembers the grid.
inline constexpr const char* kGridPref = "grid";
// Index of a grid name; -1 for anything else.
int gridFromName(std::string_view name);

// A curve value of a module in the stage's own unit, through the parameter
// text functions: Filter in Hz (Cutoff and Depth), Volume in dB, Pan as
// L/C/R, Width in percent, Drive and Crush as percent of their amount, Time
// as the delay in ms (Range).
std::string curveValueText(const CurveAccess& curves, int module, double value);
// A phase of a module's cycle: beats or bars of its rate when it follows the
// host's tempo, else a fraction of the cycle. Short forms for axis labels.
std::string curvePositionText(const CurveAccess& curves, int module, double phase);

// Curve menu items after the shapes: each one edit of the selected points,
// or of the whole curve of the band(s) being edited.
inline constexpr int kTransformCount = 8;
inline constexpr const char* kTransformNames[kTransformCount] = {
    "INVERT",   "MIRROR",     "SHIFT LEFT", "SHIFT RIGHT",
    "SCALE UP", "SCALE DOWN", "OFFSET UP",  "OFFSET DOWN"};

// The items of the graph's right-click menu: the clipboard, one band's curve
// copied to the other two, then every transform (kCurveMenuTransforms + i).
enum CurveMenuItem {
    kCurveMenuCopy,
    kCurveMenuPaste,
    kCurveMenuFromLow, // + band: that band's curve to the other two
    kCurveMenuTransforms = kCurveMenuFromLow + kBandCount,
    kCurveMenuItems = kCurveMenuTransforms + kTransformCount
};

// The clipboard as the graph's menu reaches it: the window owns the X side.
class CurveClipboard {
public:
    virtual void copyCurves() = 0;
    // Pastes what the clipboard holds, now or when its owner answers.
    virtual void pasteCurves() = 0;

protected:
    ~CurveClipboard() = default;
};

class CurvePanel {
public:
    plugincore::Rect bounds{16, 74, 1400, 376};

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
    plugincore::Rect transformItem(int i) const;
    plugincore::Rect gridButton() const;
    plugincore::Rect gridItem(int i) const;
    // An item of the graph's menu where it is open now; empty when the menu
    // is closed or does not offer the item (a band's copy across is offered
    // for the band being edited, for each band with ALL).
    plugincore::Rect curveMenuItem(int item, const CurveAccess& curves) const;
    plugincore::Rect undoButton() const;
    plugincore::Rect redoButton() const;
    plugincore::Rect pickerButton(int i) const;
    double xOf(double phase) const;
    double yOf(double value) const;

    // ---- input ----
    // True for every press inside bounds. Only button 1 acts on tabs, buttons
    // and menus, and buttons 1 and 3 in the graph; the wheel changes nothing.
    // With shift on empty graph space, a selection rectangle starts.
    bool press(double px, double py, int button, uint64_t timeMs, CurveAccess& curves,
               bool shift = false);
    void motion(double px, double py, CurveAccess& curves);
    // Ends whatever drag is open: the button came up, or (buttonUp false) the
    // window is hidden or destroyed or the release was lost.
    void release(CurveAccess& curves, bool buttonUp = false);
    void sync(CurveAccess& curves);
    bool dragging() const;
    bool menuOpen() const {
        return shapeMenuOpen_ || addMenuOpen_ || gridMenuOpen_ || curveMenuOpen_;
    }
    // Where the graph's menu reaches the clipboard; without one (a picture
    // painted off-screen) its copy and paste do nothing.
    void setClipboard(CurveClipboard* clipboard) { clipboard_ = clipboard; }
    // Escape, Delete and BackSpace, the arrows, Ctrl+A; true when the key acted.
    bool key(unsigned long keysym, bool control, bool shift, CurveAccess& curves);
    // The selected points of the curve being edited (bit i for point i); a
    // selection lasts until that curve changes by other means.
    uint64_t selectedPoints(const CurveAccess& curves) const;
    // A message in the hint line until the next press (undo, paste errors).
    void showHint(std::string text);
    const std::string& hint() const { return hint_; }
    // The grid, by index into kGridNames; a pick from the menu is saved as
    // the editor preference.
    int grid() const { return grid_; }
    void setGrid(int index);
    // Changes whenever what drawStatic paints changes (axis units, grid).
    uint64_t staticKey(const CurveAccess& curves) const;
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

    // ---- hit tests ----
    int pointAt(double px, double py, const Curve& curve) const;
    int segmentAt(double px, double py, const Curve& curve) const;
    void applyShape(int shape, double seed, CurveAccess& curves);

private:
    double toPhase(double px) const;
    double toValue(double py) const;
    plugincore::Rect tabRow() const; // effect and band tabs, SNAP, STEP, SHAPE
    plugincore::Rect shapeMenuRect() const;
    plugincore::Rect addMenuRect() const;
    plugincore::Rect gridMenuRect() const;
    plugincore::Rect curveMenuRect() const;
    int stepAt(double px) const;
    bool showsEnd(const CurveAccess& curves) const;
    bool endAt(double px, double py, const CurveAccess& curves) const;
    void paintStep(int cell, double value, CurveAccess& curves);
    void applyTransform(int transform, CurveAccess& curves);
    int gridDivisions() const { return kGridDivisions[grid_]; }
    int stepCells() const { return gridDivisions() > 0 ? gridDivisions() : 16; }
    double snapped(double phase, const CurveAccess& curves) const;
    void pressGraph(double px, double py, int button, uint64_t timeMs, CurveAccess& curves,
                    bool shift);
    void drawTabs(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves, const int* chain,
                  int n) const;
    void drawScope(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const;
    void drawTrigger(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves);
    void drawPicker(cairo_t* cr, const CurvePalette& p) const;
    void drawCurves(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const;
    void drawMenus(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves, int n) const;
    void drawHint(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const;
    void drawReadout(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const;
    void drawToolbar(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves) const;
    int landingSlot(const int* chain, int chainLength) const;
    bool tabDragged() const;
    void drawTab(cairo_t* cr, const CurvePalette& p, const CurveAccess& curves, int module,
                 const plugincore::Rect& tab) const;
    void openCurveMenu(double px, double py);
    void pressCurveMenu(double px, double py, CurveAccess& curves);
    // A band's curve into the other two, as one undo step.
    void copyAcross(int band, CurveAccess& curves);
    int curveMenuRow(int item, const CurveAccess& curves) const;
    void select(uint64_t mask, const CurveAccess& curves);
    // Replaces the selected band's curve and keeps the selection on it.
    void replaceSelected(const Curve& curve, uint64_t mask, CurveAccess& curves);
    // A grid step of the cycle (a sixteenth with the grid off).
    double gridStep() const { return 1.0 / stepCells(); }

    plugincore::Damage damage_;
    CurveClipboard* clipboard_ = nullptr;

    // A press on the graph and its drag: a point moved, a segment bent, STEP
    // cells painted, the End marker, a selection rectangle.
    int dragPoint_ = -1;
    int bendSegment_ = -1;
    int dragModule_ = -1, dragBand_ = -1;
    float bendStart_ = 0.0f;
    double bendStartValue_ = 0.0;
    bool painting_ = false;
    int lastStep_ = -1;
    DoubleClick clicks_; // on points
    bool removeOnRelease_ = false;
    int endDragModule_ = -1;
    bool selecting_ = false;
    double selectX0_ = 0, selectY0_ = 0, selectX1_ = 0, selectY1_ = 0;
    // A tab dragged along the row, from where it was pressed.
    int tabDragModule_ = -1;
    double tabDragStartX_ = 0.0, tabDragX_ = 0.0;
    // What the pointer is over.
    int hoverPoint_ = -1, hoverSegment_ = -1;
    bool hoverEnd_ = false;
    int hoverTab_ = -1;
    int pickerHover_ = -1;
    double pointerPhase_ = 0.0;
    // The menus, and the item under the pointer in each.
    bool shapeMenuOpen_ = false, addMenuOpen_ = false, gridMenuOpen_ = false;
    bool curveMenuOpen_ = false;
    int shapeHover_ = -1, addHover_ = -1, gridHover_ = -1, curveMenuHover_ = -1;
    double curveMenuX_ = 0, curveMenuY_ = 0; // its corner
    // The trigger lamp flashes for a few frames on each new trigger.
    uint32_t triggerSeen_ = 0;
    int triggerFlash_ = 0;
    int grid_ = kDefaultGrid;
    std::string hint_;
    bool couldUndo_ = false, couldRedo_ = false;
    uint64_t selection_ = 0;
    std::string selectionCurve_; // the curve's text when it was selected
    int selectionModule_ = -1, selectionBand_ = -1;
    // A drag of several selected points moves them from where they started.
    bool groupDrag_ = false;
    Curve groupStart_;
    double groupPhase_ = 0, groupValue_ = 0;
};

} // namespace norvale
