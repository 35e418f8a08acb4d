// The editor window: one X11 window embedded into the host's window, with its
// own display connection, an event pump that routes input to the curve panel
// and the rack, and a back buffer kept on the X server (a pixmap) from which
// only damaged rectangles are presented.
//
// Threads: everything here runs on the host's main thread; the plug-in ticks
// the window from a host timer or from host-watched file descriptors. Only
// this file's .cpp touches Xlib; painting is paintEditor() on any cairo context.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/curve_panel.h"
#include "gui/rack.h"
#include "gui/window_spec.h"
#include "plugin/curve_access.h"
#include "plugin/gui_delegate.h"

namespace plugincore {

// An editor window. Sizes are pixels; the design size is the unscaled one.
// Every call answers false (or does nothing) when there is no window.
class Gui {
public:
    virtual ~Gui() = default;
    virtual bool open() = 0;
    virtual bool embed(unsigned long parent) = 0;
    virtual bool setTransientFor(unsigned long other) = 0;
    virtual void setTitle(const char* text) = 0;
    // True only when the window now has exactly this scale.
    virtual bool setScale(double factor) = 0;
    virtual void size(uint32_t& width, uint32_t& height) const = 0;
    virtual void designSize(uint32_t& width, uint32_t& height) const = 0;
    virtual void fitSize(uint32_t& width, uint32_t& height) const = 0;
    // True only when the window now has exactly this pixel size.
    virtual bool resize(uint32_t width, uint32_t height) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void tick() = 0;
};

inline constexpr double kMinScale = 0.5;
inline constexpr double kMaxScale = 4.0;

} // namespace plugincore

namespace norvale {

// Everything one frame shows, painted in design units at the given scale.
struct EditorView {
    CurvePanel& panel;
    const CurvePalette& palette;
    const CurveAccess& curves;
    Rack& rack;
};
// The layer that changes only with the layout, the scale or the chosen stage.
void paintEditorStatic(cairo_t* cr, double scale, const EditorView& view);
// Everything that moves, over the static layer; what lies outside cr's clip is skipped.
void paintEditorDynamic(cairo_t* cr, double scale, const EditorView& view);
// Both: the whole picture (the render tool, the benchmark).
void paintEditor(cairo_t* cr, double scale, const EditorView& view);

// A rectangle of window pixels.
struct PixelRect {
    int x, y, width, height;
    bool operator==(const PixelRect&) const = default;
};
// The pixels a design rectangle touches at a scale.
PixelRect toPixels(const plugincore::Rect& r, double scale);
// Repaints one area of a frame: the static layer's pixels there, then what moves.
void paintArea(cairo_t* cr, cairo_surface_t* staticLayer, double scale, const EditorView& view,
               const PixelRect& area);
// The window pixels a frame's damage repaints: merged, inside the window.
std::vector<PixelRect> damagedPixels(const plugincore::Damage& damage, double scale, int width,
                                     int height);

// kWindowSpec with the parameter table filled in.
plugincore::WindowSpec norvaleWindowSpec();

// One editor's parts, assembled and laid out for the plug-in's selection:
// the window owns one, and so does each off-screen painter (--editor-png,
// the benchmark).
struct EditorParts {
    EditorParts(plugincore::GuiDelegate& delegate, CurveAccess& curves, RackHost& host,
                const plugincore::WindowSpec& spec = norvaleWindowSpec());
    EditorParts(const EditorParts&) = delete;
    EditorParts& operator=(const EditorParts&) = delete;

    // As each tick: the panel settles the selection, the rack follows it.
    // True when the layout changed.
    bool follow();
    EditorView view() { return {panel, palette, curves, rack}; }

    CurveAccess& curves;
    const plugincore::WindowSpec spec;
    const CurvePalette palette;
    CurvePanel panel;
    Rack rack;

private:
    void layOut();
};

// What the last frame showed of the model (parameter values, curves, chain,
// selection, preset state): host automation, a state or preset load, or an
// edit through the plug-in become damage of the elements that show them.
class FrameWatch {
public:
    FrameWatch(const plugincore::GuiDelegate& delegate, const CurveAccess& curves,
               uint32_t paramCount);
    // Damages what changed since the last call and remembers the new state.
    void collect(plugincore::Damage& frame, const Rack& rack, const CurvePanel& panel);

private:
    struct Keys {
        uint64_t graph = 0, panel = 0, presets = 0;
        bool edited = false;
    };
    Keys keys() const;
    const plugincore::GuiDelegate& delegate_;
    const CurveAccess& access_;
    std::vector<double> values_;
    Keys shown_;
    Curve curves_[kBandCount]; // of the selected effect, as shown
};

class PluginWindow final : public plugincore::Gui, public RackHost, public CurveClipboard {
public:
    PluginWindow(plugincore::GuiDelegate& delegate, const plugincore::WindowSpec& spec,
                 CurveAccess& curves);
    ~PluginWindow() override;
    PluginWindow(const PluginWindow&) = delete;
    PluginWindow& operator=(const PluginWindow&) = delete;

    // ---- plugincore::Gui ----
    bool open() override;
    bool embed(unsigned long parent) override;
    bool setTransientFor(unsigned long other) override;
    void setTitle(const char* text) override;
    bool setScale(double factor) override;
    void size(uint32_t& width, uint32_t& height) const override;
    void designSize(uint32_t& width, uint32_t& height) const override;
    void fitSize(uint32_t& width, uint32_t& height) const override;
    bool resize(uint32_t width, uint32_t height) override;
    void show() override;
    void hide() override;
    void tick() override;

    // ---- RackHost ----
    bool takeKeyboard() override;
    void releaseKeyboard() override;
    double zoomChoice() const override { return zoomChoice_; }
    // Remembers the choice in the editor preferences and, for a fixed zoom,
    // asks the host for the window's new size and takes it.
    void chooseZoom(double zoom) override;

    // ---- CurveClipboard ----
    // The selected stage's curve of the band(s) being edited, as curve text.
    void copyCurves() override;
    // Asks the clipboard's owner for its text; pasteText runs when it comes.
    void pasteCurves() override;

    // Ends every open gesture and text entry (hide, close, destroy, lost release).
    void endGestures();
    // The X connection's descriptor, for hosts that watch descriptors; -1 without.
    int connectionFd() const;
    unsigned long windowId() const { return xwindow_; }
    double scale() const { return scale_; }
    // Where the design's top-left corner lies in the window, in pixels.
    std::pair<int, int> origin() const { return {originX_, originY_}; }
    // Frames painted, and the window pixels they repainted (the most recent
    // few thousand areas), for tests.
    uint64_t frames() const { return frames_; }
    const std::vector<PixelRect>& paintLog() const { return paintLog_; }
    void clearPaintLog() { paintLog_.clear(); }
    // Damages the whole window: the next tick repaints everything.
    void damageAll() { frame_.addAll(); }
    // Counts an X error seen on this window's connection.
    void noteXError() { ++xErrors_; }
    CurvePanel& curvePanel() { return parts_.panel; }
    Rack& rack() { return parts_.rack; }

private:
    struct X;
    void pumpEvents();
    void dispatch(void* event);
    void pointerPress(double x, double y, int button, uint32_t time, bool shift);
    void closePressStep();
    // Undo, redo and the curve panel's keys; true when the key acted.
    bool editKey(unsigned long keysym, bool control, bool shift);
    void receiveClipboard(unsigned long property);
    void pasteText(const std::string& text);
    void serveClipboard(void* selectionRequest);
    void rebuildBackBuffer();
    void freeSurfaces();
    void applySize(uint32_t width, uint32_t height, double scale);
    double fitScale(uint32_t width, uint32_t height) const;
    double designWidth() const { return parts_.spec.width + 32.0; }
    bool syncOk();
    void damageScope();
    void paintFrame();
    void present(const PixelRect& area);
    void windowGone();
    bool hasFocus() const;

    plugincore::GuiDelegate& delegate_;
    CurveAccess& curves_;
    EditorParts parts_;

    std::unique_ptr<X> x_;
    unsigned long xwindow_ = 0;
    // Both on the X server: the frame being shown, and the layer that
    // changes only with the layout and the scale, copied under every repaint.
    cairo_surface_t* backSurface_ = nullptr;
    cairo_t* backCr_ = nullptr;
    cairo_surface_t* staticSurface_ = nullptr;
    bool staticValid_ = false;
    bool backValid_ = false; // the back buffer holds a whole frame
    double scale_ = 1.0;
    double zoomChoice_ = 0;         // a fixed zoom the user picked; 0 follows the host
    uint32_t width_, height_;       // pixels
    int originX_ = 0, originY_ = 0; // where the design's corner lies in the window
    bool focusHeld_ = false;
    unsigned long focusBefore_ = 0; // the window that had the focus, and its revert mode
    int focusRevert_ = 0;
    bool pressStepOpen_ = false; // an undo step runs from a press to its release
    uint64_t staticKey_ = 0;     // what the static layer was painted for
    int xErrors_ = 0;
    plugincore::Damage frame_; // what the next frame repaints
    uint64_t frames_ = 0;
    std::vector<PixelRect> paintLog_;

    FrameWatch shown_;
    uint32_t scopeSeen_ = 0;
    float scopePlayhead_ = -1; // where the scope's writing stood at the last frame
};

// The Norvale editor for a plug-in; null when no X display can be reached.
std::unique_ptr<PluginWindow> createGui(plugincore::GuiDelegate& delegate, CurveAccess& curves);

} // namespace norvale
