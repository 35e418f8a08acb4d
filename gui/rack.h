// The rack of controls below the curve panel, with the preset bar (its own
// type, owned here): layout, painting and interaction. Lives inside the
// editor window and, like it, runs on the host's main thread. All
// coordinates are design units; the window scales. The sound is read and
// changed only through plugincore::GuiDelegate, every change of a value as
// one gesture.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gui/damage.h"
#include "gui/double_click.h"
#include "gui/preset_bar.h"
#include "gui/rack_host.h"
#include "gui/window_spec.h"
#include "plugin/gui_delegate.h"

namespace norvale {

extern const plugincore::PanelSpec kPanelSpecs[9];
extern const uint32_t kRowStart[8];
extern const uint32_t kRowCount[8];

struct PanelRect {
    const plugincore::PanelSpec* spec;
    plugincore::Rect rect;
};

class Rack {
public:
    Rack(plugincore::GuiDelegate& delegate, const plugincore::WindowSpec& spec, RackHost& host);

    // layoutModule: the selected module, or -1 when the chain is empty.
    void buildLayout(int layoutModule);
    int layoutModule() const { return layoutModule_; }
    plugincore::Rect curvePanelRect() const;

    // ---- painting (design units, after the window's scale) ----
    // What changes only with the layout: background, header, panel frames and
    // titles, control labels at rest, knob tracks, the bar's label.
    void paintBackground(cairo_t* cr) const; // background and header
    void paintStatic(cairo_t* cr) const;     // the rest of the above
    // What moves, over the static layer; each skips what lies outside the clip.
    void paintPanels(cairo_t* cr) const; // the controls and the power switch
    // Preset bar, browser, hint line, open menu, save prompt, in that order.
    void paintOverlays(cairo_t* cr) const;

    // ---- routing (the window calls these in its routing order; true = handled) ----
    bool key(unsigned long keysym, std::string_view utf8, bool shift = false);
    // Save prompt, value typing, open menu, browser.
    bool pressModal(double x, double y, int button, uint64_t timeMs, bool shift);
    // Wheel over controls, preset bar, version text, controls, browser button.
    bool pressRack(double x, double y, int button, uint64_t timeMs, bool shift);
    // Knob drag, else hover tracking (none while the save prompt is open).
    bool motion(double x, double y, bool shift);
    bool release(int button);
    void leave();
    bool dragging() const { return dragParam_ >= 0; }
    void endGestures();
    // Closes every entry; a value entry drops what was typed.
    void closeTextEntry();
    // The entry lost the keyboard (a click elsewhere, the focus gone to another
    // window): a valid value the user typed is kept, anything else dropped.
    void leaveEntry();
    // Hands what changed on screen since the last call to the frame's damage.
    void moveDamageTo(plugincore::Damage& frame);

    // ---- what the window, the tests and the benchmark inspect ----
    const std::vector<PanelRect>& panelRects() const { return panelRects_; }
    const std::vector<plugincore::Cell>& cells() const { return cells_; }
    const std::vector<plugincore::Rect>& cellRects() const { return cellRects_; }
    // The control's rectangle; empty when the control is not laid out.
    plugincore::Rect controlRect(uint32_t paramId) const;
    plugincore::Rect valueBoxRect(uint32_t paramId) const;
    plugincore::Rect menuRect() const;             // of the open menu; empty when none
    plugincore::Rect menuItemRect(int item) const; // of the open menu
    plugincore::Rect hintRect() const;
    // The power switch in the header: lit while the rack runs, dark while the
    // host or the user bypasses it; a click toggles the bypass.
    plugincore::Rect powerRect() const;
    // The right-click menu of a control: its own items, then the host's.
    struct ContextEntry {
        enum Action : uint8_t { kReset, kType, kHost };
        Action action;
        plugincore::HostMenuItem item;
    };
    void openContextMenu(uint32_t paramId, double x, double y);
    void closeContextMenu();
    int contextParam() const { return contextParam_; }
    // The header's zoom menu: the steps of kZoomSteps, then "as the host says".
    plugincore::Rect zoomButtonRect() const { return {1148, 24, 104, 24}; }
    plugincore::Rect zoomItemRect(int item) const;
    bool zoomMenuOpen() const { return zoomMenuOpen_; }
    const std::vector<ContextEntry>& contextEntries() const { return contextEntries_; }
    plugincore::Rect contextEntryRect(int entry) const;
    int hoverParam() const { return hoverParam_; }
    int menuParam() const { return menuParam_; }
    int typingParam() const { return typingParam_; }
    PresetBar& presetBar() { return bar_; }
    const PresetBar& presetBar() const { return bar_; }
    std::string hintText() const; // what the hint line shows now

    void nudge(uint32_t param, int direction, bool fine);

private:
    const plugincore::ParamDesc* desc(uint32_t id) const;
    int controlAt(double x, double y) const;
    void setValue(uint32_t id, double value);
    bool pressControl(int index, double x, double y, int button, uint64_t timeMs, bool shift);
    bool pressMenu(double x, double y, int button);
    void wheelControl(int index, int direction, bool shift);
    void stepMenu(int direction);
    int menuItemAt(double x, double y) const;
    bool pressContext(double x, double y, int button);
    bool contextKey(unsigned long keysym);
    bool browserKey(unsigned long keysym, std::string_view utf8); // the hint follows
    void performContext(int entry);
    int contextEntryAt(double x, double y) const;
    plugincore::Rect contextRect() const;
    void startTyping(uint32_t id);
    void endTyping();
    bool typingKey(unsigned long keysym, std::string_view utf8);

    void damageControl(int paramId);
    void damageMenu();
    void paintLabel(cairo_t* cr, size_t index, const plugincore::Rgb& colour) const;
    void paintControl(cairo_t* cr, size_t index) const;
    void paintTypingEntry(cairo_t* cr, const plugincore::Rect& box) const;
    void paintHint(cairo_t* cr) const;
    void paintPower(cairo_t* cr) const;
    void paintMenu(cairo_t* cr) const;
    void paintContextMenu(cairo_t* cr) const;
    void paintZoom(cairo_t* cr) const;
    bool pressZoom(double x, double y, int button);
    int zoomItemAt(double x, double y) const;

    plugincore::GuiDelegate& delegate_;
    const plugincore::WindowSpec& spec_;
    RackHost& host_;
    PresetBar bar_;
    plugincore::Damage damage_;

    // ---- layout ----
    int layoutModule_ = -1;
    std::vector<PanelRect> panelRects_;
    std::vector<plugincore::Cell> cells_;
    std::vector<plugincore::Rect> cellRects_;

    // ---- controls ----
    int hoverParam_ = -1;
    int dragParam_ = -1;
    double dragStartY_ = 0;
    double dragStartValue_ = 0;
    double dragValue_ = 0; // unrounded, so re-anchoring keeps the fraction
    bool dragFine_ = false;
    DoubleClick clicks_;
    bool resetOnRelease_ = false;
    int menuParam_ = -1;
    int menuHover_ = -1;
    bool zoomMenuOpen_ = false;
    int zoomHover_ = -1;
    int contextParam_ = -1;
    int contextHover_ = -1;
    double contextX_ = 0, contextY_ = 0;
    std::vector<ContextEntry> contextEntries_;
    int typingParam_ = -1;
    std::string typingText_;  // UTF-8, at most 24 characters
    std::string typingShown_; // what the entry opened with
    bool typingError_ = false;
    bool typingSelectAll_ = false;
};

} // namespace norvale
