#include "gui/plugin_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <cairo-xlib.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "dsp/curve_set.h"
#include "plugin/params.h"
#include "presets/editor_prefs.h"
#include "presets/preset_text.h"

namespace norvale {

using plugincore::Rect;

// ---- X error trap ----
// One handler for as long as any editor is open: errors on an editor's own
// connection are counted there (a host that destroys our parent first must
// not take the process down); all others go to whoever handled them before.

namespace {

struct ErrorTrap {
    XErrorHandler previous = nullptr;
    std::vector<std::pair<Display*, PluginWindow*>> windows;
};
ErrorTrap& trap() {
    static ErrorTrap t;
    return t;
}

int onXError(Display* display, XErrorEvent* event) {
    for (auto& [d, window] : trap().windows)
        if (d == display) {
            window->noteXError();
            return 0;
        }
    return trap().previous != nullptr ? trap().previous(display, event) : 0;
}

void trapErrors(Display* display, PluginWindow* window) {
    if (trap().windows.empty()) trap().previous = XSetErrorHandler(onXError);
    trap().windows.emplace_back(display, window);
}

void untrapErrors(Display* display) {
    auto& w = trap().windows;
    w.erase(std::remove_if(w.begin(), w.end(), [&](auto& e) { return e.first == display; }),
            w.end());
    if (!w.empty()) return;
    // Someone who installed a handler after us keeps theirs.
    const XErrorHandler current = XSetErrorHandler(trap().previous);
    if (current != onXError) XSetErrorHandler(current);
    trap().previous = nullptr;
}

constexpr long kEventMask = KeyPressMask | ButtonPressMask | ButtonReleaseMask | LeaveWindowMask |
                            PointerMotionMask | ExposureMask | StructureNotifyMask |
                            FocusChangeMask;

uint32_t roundPixels(double v) {
    return static_cast<uint32_t>(v + 0.5);
}

// A keysym as UTF-8, for every layout's keysyms; keys without a character give "".
std::string keysymText(KeySym keysym) {
    char text[8];
    const int bytes = xkb_keysym_to_utf8(static_cast<xkb_keysym_t>(keysym), text, sizeof text);
    return bytes > 1 ? std::string(text, static_cast<size_t>(bytes - 1)) : std::string();
}

// The size of the monitor the pointer is on (a host opens its editor where
// the user just clicked), else of the primary one; the root window's when
// XRandR knows no monitors.
void screenSize(Display* display, int& width, int& height) {
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    width = DisplayWidth(display, screen);
    height = DisplayHeight(display, screen);
    int eventBase = 0, errorBase = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase)) return;
    Window rootReturn, child;
    int px = 0, py = 0, wx, wy;
    unsigned mask;
    const bool pointer =
        XQueryPointer(display, root, &rootReturn, &child, &px, &py, &wx, &wy, &mask) == True;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
    const XRRMonitorInfo* chosen = nullptr;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        if (pointer && px >= m.x && px < m.x + m.width && py >= m.y && py < m.y + m.height) {
            chosen = &m;
            break;
        }
        if (chosen == nullptr || m.primary) chosen = &m;
    }
    if (chosen != nullptr && chosen->width > 0 && chosen->height > 0) {
        width = chosen->width;
        height = chosen->height;
    }
    if (monitors != nullptr) XRRFreeMonitors(monitors);
}

} // namespace

struct PluginWindow::X {
    Display* display = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    Atom deleteAtom = 0;
    Atom clipboard = 0, utf8 = 0, targets = 0, pasteProperty = 0;
    GC gc = nullptr;
    Pixmap backPixmap = 0;
    Pixmap staticPixmap = 0;
};

// ---- painting (no X) ----

PixelRect toPixels(const Rect& r, double scale) {
    const double x0 = std::floor(r.x * scale), y0 = std::floor(r.y * scale);
    return {int(x0), int(y0), int(std::ceil((r.x + r.width) * scale) - x0),
            int(std::ceil((r.y + r.height) * scale) - y0)};
}

void paintEditorStatic(cairo_t* cr, double scale, const EditorView& view) {
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    view.rack.paintBackground(cr);
    view.panel.drawStatic(cr, view.palette, view.curves);
    view.rack.paintStatic(cr);
    cairo_restore(cr);
}

void paintEditorDynamic(cairo_t* cr, double scale, const EditorView& view) {
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    view.panel.draw(cr, view.palette, view.curves);
    view.rack.paintPanels(cr);
    view.rack.paintOverlays(cr);
    cairo_restore(cr);
}

void paintEditor(cairo_t* cr, double scale, const EditorView& view) {
    paintEditorStatic(cr, scale, view);
    paintEditorDynamic(cr, scale, view);
}

void paintArea(cairo_t* cr, cairo_surface_t* staticLayer, double scale, const EditorView& view,
               const PixelRect& area) {
    cairo_save(cr);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, staticLayer, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    if (cairo_surface_get_type(cairo_get_target(cr)) != CAIRO_SURFACE_TYPE_XLIB) {
        paintEditorDynamic(cr, scale, view);
        cairo_restore(cr);
        return;
    }
    // On an X surface every antialiased edge would reach the server as
    // trapezoids for it to rasterise (most of its time per frame): what moves
    // is rasterised here instead, and goes over as one image, in memory
    // shared with the server where it offers that.
    cairo_surface_t* moving = cairo_surface_create_similar_image(
        cairo_get_target(cr), CAIRO_FORMAT_ARGB32, area.width, area.height);
    cairo_t* mc = cairo_create(moving);
    cairo_translate(mc, -area.x, -area.y);
    cairo_rectangle(mc, area.x, area.y, area.width, area.height);
    cairo_clip(mc);
    paintEditorDynamic(mc, scale, view);
    cairo_destroy(mc);
    cairo_set_source_surface(cr, moving, area.x, area.y);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(moving);
}

std::vector<PixelRect> damagedPixels(const plugincore::Damage& damage, double scale, int width,
                                     int height) {
    const PixelRect window{0, 0, width, height};
    if (damage.all()) return {window};
    std::vector<PixelRect> out;
    long area = 0;
    for (const Rect& r : damage.rects()) {
        // Antialiased edges and round joins reach a little past an element's box.
        PixelRect p = toPixels({r.x - 2, r.y - 2, r.width + 4, r.height + 4}, scale);
        const int x1 = std::min(p.x + p.width, width), y1 = std::min(p.y + p.height, height);
        p.x = std::max(p.x, 0), p.y = std::max(p.y, 0);
        p.width = x1 - p.x, p.height = y1 - p.y;
        if (p.width <= 0 || p.height <= 0) continue;
        // Overlapping pieces become their union, until none overlap.
        for (bool merged = true; merged;) {
            merged = false;
            for (size_t i = 0; i < out.size(); ++i)
                if (p.x < out[i].x + out[i].width && out[i].x < p.x + p.width &&
                    p.y < out[i].y + out[i].height && out[i].y < p.y + p.height) {
                    const int ux = std::min(p.x, out[i].x), uy = std::min(p.y, out[i].y);
                    p = {ux, uy, std::max(p.x + p.width, out[i].x + out[i].width) - ux,
                         std::max(p.y + p.height, out[i].y + out[i].height) - uy};
                    out.erase(out.begin() + long(i));
                    merged = true;
                    break;
                }
        }
        out.push_back(p);
    }
    for (const PixelRect& p : out)
        area += long(p.width) * p.height;
    // Nearly everything: one piece costs less than many.
    if (area * 10 > long(width) * height * 7) return {window};
    return out;
}

// ---- what the frame showed ----

namespace {

struct Hash {
    uint64_t key = 1469598103934665603ull;
    void mix(uint64_t v) { key = (key ^ v) * 1099511628211ull; }
    void mix(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        mix(uint64_t(bits));
    }
};

bool samePoint(const CurvePoint& a, const CurvePoint& b) {
    return a.x == b.x && a.y == b.y && a.bend == b.bend && a.weight == b.weight;
}

// The phases between which two forms of a curve differ: a segment depends on
// its two points only, so from the point before the first that changed to
// the point after the last. The whole cycle when points came or went.
bool changedSpan(const Curve& was, const Curve& now, double& from, double& to) {
    const int n = std::min(now.count, kMaxCurvePoints);
    if (was.count != now.count) {
        from = 0, to = 1;
        return true;
    }
    int first = -1, last = -1;
    for (int i = 0; i < n; ++i)
        if (!samePoint(was.points[i], now.points[i])) {
            if (first < 0) first = i;
            last = i;
        }
    if (first < 0) return false;
    const int before = std::max(first - 1, 0), after = std::min(last + 1, n - 1);
    from = std::min(was.points[before].x, now.points[before].x);
    to = std::max(was.points[after].x, now.points[after].x);
    // Outside its end points a curve holds their values to the graph's edges.
    if (before == 0) from = 0;
    if (after == n - 1) to = 1;
    return true;
}

} // namespace

FrameWatch::Keys FrameWatch::keys() const {
    Hash graph, panel, presets;
    const int m = access_.curveModule();
    graph.mix(static_cast<uint64_t>(access_.curveTriggerMode(m)) << 1 |
              static_cast<uint64_t>(access_.curveTriggerLoop(m)));
    graph.mix(static_cast<float>(access_.curveEnd(m)));
    int chain[kModuleCount];
    const int n = access_.curveChain(chain);
    for (int i = 0; i < n; ++i)
        panel.mix(static_cast<uint64_t>(chain[i]));
    panel.mix(static_cast<uint64_t>(n));
    panel.mix(static_cast<uint64_t>(m * 8 + access_.curveBand()));
    // Parameters that show in the curve panel too, not only on their controls.
    for (int module = 0; module < kModuleCount; ++module)
        panel.mix(static_cast<uint64_t>(access_.curveModuleEnabled(module)));
    for (int band = 0; band < kBandCount; ++band)
        panel.mix(static_cast<uint64_t>(access_.curveBandEnabled(band)));
    panel.mix(static_cast<uint64_t>(access_.curveEditAllBands()) |
              static_cast<uint64_t>(access_.curveSnap()) << 1 |
              static_cast<uint64_t>(access_.curveStepMode()) << 2);
    presets.mix(static_cast<uint64_t>(delegate_.guiCurrentPreset() + 1));
    presets.mix(delegate_.guiPresets().size());
    const int current = delegate_.guiCurrentPreset();
    // The mark shows only beside a current preset's name.
    const bool marked = current >= 0 && size_t(current) < delegate_.guiPresets().size() &&
                        delegate_.guiPresetEdited();
    return {graph.key, panel.key, presets.key, marked};
}

FrameWatch::FrameWatch(const plugincore::GuiDelegate& delegate, const CurveAccess& curves,
                       uint32_t paramCount)
    : delegate_(delegate), access_(curves), values_(paramCount, -1e9) {}

void FrameWatch::collect(plugincore::Damage& frame, const Rack& rack, const CurvePanel& panel) {
    // The selected effect's curves: only the span that moved (a point drag
    // repaints the segments beside the point, not the graph).
    const Rect area = panel.graphArea();
    for (int b = 0; b < kBandCount; ++b) {
        const Curve& now = access_.curveAt(access_.curveModule(), b);
        double from, to;
        if (!changedSpan(curves_[b], now, from, to)) continue;
        curves_[b] = now;
        // Points and the bend handle reach 8 units beyond their phase.
        const double x0 = from <= 0 ? area.x : panel.xOf(from) - 8;
        const double x1 = to >= 1 ? area.x + area.width : panel.xOf(to) + 8;
        frame.add({x0, area.y, x1 - x0, area.height});
    }
    for (uint32_t id = 0; id < values_.size(); ++id) {
        const double value = delegate_.guiParamValue(id);
        if (std::fabs(value - values_[id]) <= 1e-9) continue;
        values_[id] = value;
        frame.add(rack.controlRect(id));
        if (rack.menuParam() == int(id)) frame.add(rack.menuRect());
    }
    const Keys now = keys();
    if (now.presets != shown_.presets) frame.addAll(); // a preset load
    if (now.panel != shown_.panel) frame.add(panel.bounds);
    if (now.graph != shown_.graph) frame.add(panel.graphArea());
    if (now.edited != shown_.edited) frame.add(rack.presetBar().zoneRect(kZoneBrowser));
    shown_ = now;
}

// ---- creation ----

plugincore::WindowSpec norvaleWindowSpec() {
    plugincore::WindowSpec spec = kWindowSpec;
    spec.paramDescs = paramTable();
    spec.paramDescCount = kParamCount;
    return spec;
}

EditorParts::EditorParts(plugincore::GuiDelegate& delegate, CurveAccess& curves, RackHost& host,
                         const plugincore::WindowSpec& spec)
    : curves(curves), spec(spec), palette(curvePalette(spec.palette)),
      rack(delegate, this->spec, host) {
    layOut();
}

bool EditorParts::follow() {
    panel.sync(curves);
    int chain[kModuleCount];
    if ((curves.curveChain(chain) > 0 ? curves.curveModule() : -1) == rack.layoutModule())
        return false;
    layOut();
    return true;
}

void EditorParts::layOut() {
    int chain[kModuleCount];
    rack.buildLayout(curves.curveChain(chain) > 0 ? curves.curveModule() : -1);
    panel.bounds = rack.curvePanelRect();
}

std::unique_ptr<PluginWindow> createGui(plugincore::GuiDelegate& delegate, CurveAccess& curves) {
    auto window = std::make_unique<PluginWindow>(delegate, norvaleWindowSpec(), curves);
    if (!window->open()) return nullptr;
    return window;
}

PluginWindow::PluginWindow(plugincore::GuiDelegate& delegate, const plugincore::WindowSpec& spec,
                           CurveAccess& curves)
    : delegate_(delegate), curves_(curves), parts_(delegate, curves, *this, spec),
      x_(std::make_unique<X>()), width_(roundPixels((spec.width + 32) * scale_)),
      height_(roundPixels(spec.height * scale_)), shown_(delegate, curves, spec.paramDescCount) {
    parts_.panel.setClipboard(this);
    const auto prefs = loadEditorPrefs();
    if (const auto grid = prefs.find(kGridPref); grid != prefs.end())
        parts_.panel.setGrid(gridFromName(grid->second));
}

PluginWindow::~PluginWindow() {
    endGestures();
    if (x_->display == nullptr) return;
    // cairo keeps a device per X connection; it must go before the connection.
    cairo_device_t* device = backSurface_ != nullptr
                                 ? cairo_device_reference(cairo_surface_get_device(backSurface_))
                                 : nullptr;
    freeSurfaces();
    if (device != nullptr) {
        cairo_device_finish(device);
        cairo_device_destroy(device);
    }
    if (xwindow_ != 0) XDestroyWindow(x_->display, xwindow_);
    if (x_->gc != nullptr) XFreeGC(x_->display, x_->gc);
    // Errors of the calls above (our window may be gone with its parent)
    // arrive here, while the trap still holds.
    XSync(x_->display, False);
    XCloseDisplay(x_->display);
    untrapErrors(x_->display);
}

bool PluginWindow::open() {
    if (xwindow_ != 0) return true;
    if (x_->display != nullptr) return false; // the window died with its parent
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    x_->display = display;
    trapErrors(display, this);
    // The first size fits the screen; a scale the host sets later wins.
    int screenWidth = 0, screenHeight = 0;
    screenSize(display, screenWidth, screenHeight);
    zoomChoice_ = 0;
    if (const auto prefs = loadEditorPrefs(); prefs.count("zoom") != 0)
        for (double step : kZoomSteps)
            if (prefs.at("zoom") == std::to_string(int(std::lround(step * 100))))
                zoomChoice_ = step;
    const double zoom = zoomChoice_ > 0 ? zoomChoice_
                                        : zoomForScreen(parts_.spec.width + 32, parts_.spec.height,
                                                        screenWidth, screenHeight);
    applySize(roundPixels((parts_.spec.width + 32) * zoom), roundPixels(parts_.spec.height * zoom),
              zoom);
    const int screen = DefaultScreen(display);
    x_->visual = DefaultVisual(display, screen);
    x_->depth = DefaultDepth(display, screen);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.border_pixel = 0;
    attributes.event_mask = kEventMask;
    xwindow_ = XCreateWindow(display, RootWindow(display, screen), 0, 0, width_, height_, 0,
                             x_->depth, InputOutput, x_->visual,
                             CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    if (xwindow_ == 0 || !syncOk()) {
        xwindow_ = 0;
        return false; // the destructor closes the display
    }
    x_->deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    x_->clipboard = XInternAtom(display, "CLIPBOARD", False);
    x_->utf8 = XInternAtom(display, "UTF8_STRING", False);
    x_->targets = XInternAtom(display, "TARGETS", False);
    x_->pasteProperty = XInternAtom(display, "NORVALE_PASTE", False);
    XSetWMProtocols(display, xwindow_, &x_->deleteAtom, 1);
    x_->gc = XCreateGC(display, xwindow_, 0, nullptr);
    rebuildBackBuffer();
    XFlush(display);
    return true;
}

bool PluginWindow::syncOk() {
    const int before = xErrors_;
    XSync(x_->display, False);
    return xErrors_ == before;
}

void PluginWindow::freeSurfaces() {
    if (backCr_ != nullptr) cairo_destroy(backCr_);
    if (backSurface_ != nullptr) cairo_surface_destroy(backSurface_);
    if (staticSurface_ != nullptr) cairo_surface_destroy(staticSurface_);
    backCr_ = nullptr;
    backSurface_ = staticSurface_ = nullptr;
    staticValid_ = backValid_ = false;
    for (Pixmap* pixmap : {&x_->backPixmap, &x_->staticPixmap}) {
        if (*pixmap != 0) XFreePixmap(x_->display, *pixmap);
        *pixmap = 0;
    }
}

void PluginWindow::rebuildBackBuffer() {
    freeSurfaces();
    if (xwindow_ == 0) return;
    x_->backPixmap = XCreatePixmap(x_->display, xwindow_, width_, height_, x_->depth);
    x_->staticPixmap = XCreatePixmap(x_->display, xwindow_, width_, height_, x_->depth);
    backSurface_ =
        cairo_xlib_surface_create(x_->display, x_->backPixmap, x_->visual, width_, height_);
    staticSurface_ =
        cairo_xlib_surface_create(x_->display, x_->staticPixmap, x_->visual, width_, height_);
    // Before any context exists: contexts take the offset from their surface.
    for (cairo_surface_t* surface : {backSurface_, staticSurface_})
        cairo_surface_set_device_offset(surface, originX_, originY_);
    backCr_ = cairo_create(backSurface_);
    frame_.addAll();
}

// ---- plugincore::Gui ----

bool PluginWindow::embed(unsigned long parent) {
    if (xwindow_ == 0) return false;
    XReparentWindow(x_->display, xwindow_, parent, 0, 0);
    return syncOk();
}

bool PluginWindow::setTransientFor(unsigned long other) {
    if (xwindow_ == 0) return false;
    XSetTransientForHint(x_->display, xwindow_, other);
    return syncOk();
}

void PluginWindow::setTitle(const char* text) {
    if (text == nullptr || xwindow_ == 0) return;
    XStoreName(x_->display, xwindow_, text);
    XFlush(x_->display);
}

void PluginWindow::size(uint32_t& width, uint32_t& height) const {
    width = width_;
    height = height_;
}

void PluginWindow::designSize(uint32_t& width, uint32_t& height) const {
    width = static_cast<uint32_t>(parts_.spec.width + 32);
    height = static_cast<uint32_t>(parts_.spec.height);
}

void PluginWindow::fitSize(uint32_t& width, uint32_t& height) const {
    const double s = fitScale(width, height);
    width = roundPixels(designWidth() * s);
    height = roundPixels(parts_.spec.height * s);
}

void PluginWindow::applySize(uint32_t width, uint32_t height, double scale) {
    scale_ = scale;
    staticValid_ = false;
    frame_.addAll();
    // A size off the aspect shows the editor centred, the margin in the background.
    const auto margin = [](uint32_t window, double editor) {
        return std::max(0, static_cast<int>(window) - static_cast<int>(roundPixels(editor))) / 2;
    };
    const int x = margin(width, designWidth() * scale),
              y = margin(height, parts_.spec.height * scale);
    const bool moved = x != originX_ || y != originY_;
    originX_ = x;
    originY_ = y;
    if (width != width_ || height != height_) {
        width_ = width;
        height_ = height;
        if (xwindow_ != 0) XResizeWindow(x_->display, xwindow_, width, height);
        rebuildBackBuffer();
    } else if (moved) {
        rebuildBackBuffer();
    }
}

double PluginWindow::fitScale(uint32_t width, uint32_t height) const {
    return std::clamp(std::min(static_cast<double>(height) / parts_.spec.height,
                               static_cast<double>(width) / designWidth()),
                      plugincore::kMinScale, plugincore::kMaxScale);
}

bool PluginWindow::setScale(double factor) {
    if (!(factor >= plugincore::kMinScale && factor <= plugincore::kMaxScale)) return false;
    // A zoom the user picked wins over the host's scale.
    if (zoomChoice_ > 0 && std::fabs(factor - zoomChoice_) > 1e-9) return false;
    applySize(roundPixels(designWidth() * factor), roundPixels(parts_.spec.height * factor),
              factor);
    return xwindow_ != 0 && syncOk();
}

void PluginWindow::chooseZoom(double zoom) {
    std::string ignored; // an unwritable preference file only forgets the choice
    saveEditorPref("zoom", zoom > 0 ? std::to_string(int(std::lround(zoom * 100))) : "host",
                   ignored);
    zoomChoice_ = zoom;
    if (zoom <= 0) return;
    const uint32_t width = roundPixels(designWidth() * zoom);
    const uint32_t height = roundPixels(parts_.spec.height * zoom);
    delegate_.guiRequestResize(width, height);
    applySize(width, height, zoom);
}

// Any size the host gives is taken: the largest scale that fits, centred.
bool PluginWindow::resize(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) return false;
    applySize(width, height, fitScale(width, height));
    return xwindow_ != 0 && syncOk();
}

void PluginWindow::show() {
    if (xwindow_ == 0) return;
    XMapWindow(x_->display, xwindow_);
    XFlush(x_->display);
    frame_.addAll();
}

void PluginWindow::hide() {
    if (xwindow_ == 0) return;
    endGestures();
    XUnmapWindow(x_->display, xwindow_);
    XFlush(x_->display);
}

void PluginWindow::endGestures() {
    parts_.panel.release(curves_);
    parts_.panel.closeMenus();
    parts_.rack.endGestures();
    parts_.rack.closeTextEntry();
    releaseKeyboard();
    closePressStep();
}

void PluginWindow::closePressStep() {
    if (!pressStepOpen_) return;
    pressStepOpen_ = false;
    curves_.curveUndoEnd();
}

// ---- editing keys ----

bool PluginWindow::editKey(unsigned long keysym, bool control, bool shift) {
    const bool z = keysym == XK_z || keysym == XK_Z, y = keysym == XK_y || keysym == XK_Y;
    if (control && (z || y)) {
        // Not in the middle of a drag: its step is not finished yet.
        if (parts_.panel.dragging()) return false;
        const bool redo = y || shift;
        const std::string label = curves_.curveUndoLabel(redo);
        if (!(redo ? curves_.curveRedo() : curves_.curveUndo())) return false;
        parts_.panel.showHint((redo ? "redone: " : "undone: ") + label);
        return true;
    }
    if (control && (keysym == XK_c || keysym == XK_C)) {
        copyCurves();
        return true;
    }
    if (control && (keysym == XK_v || keysym == XK_V)) {
        pasteCurves();
        return true;
    }
    return parts_.panel.key(keysym, control, shift, curves_);
}

// ---- copy and paste ----
// Curves travel as the lines a preset file holds them in, "curve flt 1 =
// ...", on the CLIPBOARD selection, so they paste into another instance,
// another host or a text editor; a copy is also kept in the process, so it
// outlives the editor that made it.

namespace {

std::string& processClipboard() {
    static std::string text;
    return text;
}

struct ClipCurve {
    int band; // -1 when the text named none
    Curve curve;
};

// Preset curve lines, or one bare line of points. False, with the reason,
// for anything else.
bool readClipboard(const std::string& text, std::vector<ClipCurve>& out, std::string& err) {
    out.clear();
    size_t at = 0;
    for (int line = 1; at < text.size(); ++line) {
        const size_t end = std::min(text.find('\n', at), text.size());
        std::string_view row = plugincore::trim(std::string_view(text).substr(at, end - at));
        at = end + 1;
        if (row.empty() || row.front() == '#') continue;
        ClipCurve clip{-1, Curve()};
        if (row.starts_with("curve ")) {
            const size_t equals = row.find('=');
            const std::string_view head =
                plugincore::trim(row.substr(0, std::min(equals, row.size())));
            if (equals == std::string_view::npos || head.size() < 3 || head.back() < '0' ||
                head.back() > '2') {
                err = "line " + std::to_string(line) + " is not a curve line";
                return false;
            }
            clip.band = head.back() - '0';
            row = plugincore::trim(row.substr(equals + 1));
        }
        if (!clip.curve.parse(std::string(row))) {
            err = "line " + std::to_string(line) + " is not a curve";
            return false;
        }
        out.push_back(clip);
    }
    if (out.empty()) err = "the clipboard holds no curve";
    return !out.empty();
}

} // namespace

void PluginWindow::copyCurves() {
    const int m = curves_.curveModule();
    const bool all = curves_.curveEditAllBands();
    std::string text;
    for (int band = 0; band < kBandCount; ++band)
        if (all || band == curves_.curveBand())
            text += std::string("curve ") + moduleKey(m) + " " + std::to_string(band) + " = " +
                    curves_.curveAt(m, band).format() + "\n";
    processClipboard() = text;
    XSetSelectionOwner(x_->display, x_->clipboard, xwindow_, CurrentTime);
    XFlush(x_->display);
    parts_.panel.showHint(std::string("copied ") + moduleName(m) + " " +
                          (all ? "ALL BANDS" : kBandNames[curves_.curveBand()]));
}

void PluginWindow::pasteCurves() {
    const Window owner = XGetSelectionOwner(x_->display, x_->clipboard);
    if (owner == None || owner == xwindow_) return pasteText(processClipboard());
    XConvertSelection(x_->display, x_->clipboard, x_->utf8, x_->pasteProperty, xwindow_,
                      CurrentTime);
    XFlush(x_->display);
}

void PluginWindow::receiveClipboard(unsigned long property) {
    if (property == None)
        return parts_.panel.showHint("nothing pasted: the clipboard holds no text");
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    // Far more than 21 curves of 64 points.
    constexpr long kMostWords = 1 << 18;
    XGetWindowProperty(x_->display, xwindow_, property, 0, kMostWords, True, AnyPropertyType, &type,
                       &format, &count, &left, &data);
    const std::string text = data != nullptr && format == 8
                                 ? std::string(reinterpret_cast<const char*>(data), count)
                                 : std::string();
    if (data != nullptr) XFree(data);
    curves_.curveUndoBegin("paste curve", false);
    pasteText(text);
    curves_.curveUndoEnd();
}

void PluginWindow::pasteText(const std::string& text) {
    std::vector<ClipCurve> clips;
    std::string err;
    if (!readClipboard(text, clips, err)) return parts_.panel.showHint("nothing pasted: " + err);
    const int m = curves_.curveModule();
    const bool all = curves_.curveEditAllBands();
    for (int band = 0; band < kBandCount; ++band) {
        if (!all && band != curves_.curveBand()) continue;
        // The copied band of the same number when the text has one, else its first curve.
        const ClipCurve* source = &clips.front();
        for (const ClipCurve& clip : clips)
            if (clip.band == band) source = &clip;
        curves_.curveReplace(m, band, source->curve);
    }
    parts_.panel.showHint(std::string("pasted into ") + moduleName(m) + " " +
                          (all ? "ALL BANDS" : kBandNames[curves_.curveBand()]));
}

void PluginWindow::serveClipboard(void* raw) {
    const XSelectionRequestEvent& request = *static_cast<XSelectionRequestEvent*>(raw);
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = request.display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    // Old clients name no property: the target's name serves.
    const Atom property = request.property != None ? request.property : request.target;
    reply.property = None;
    if (request.selection == x_->clipboard && request.target == x_->targets) {
        const Atom offered[] = {x_->targets, x_->utf8, XA_STRING};
        XChangeProperty(x_->display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offered), 3);
        reply.property = property;
    } else if (request.selection == x_->clipboard &&
               (request.target == x_->utf8 || request.target == XA_STRING)) {
        // Curve text is ASCII, so it is Latin-1 as well.
        const std::string& text = processClipboard();
        XChangeProperty(x_->display, request.requestor, property, request.target, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
        reply.property = property;
    }
    XSendEvent(x_->display, request.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
    XFlush(x_->display);
}

int PluginWindow::connectionFd() const {
    return x_->display != nullptr ? ConnectionNumber(x_->display) : -1;
}

// ---- keyboard ----
// Never a grab: keys reach the editor while the pointer is over it (X sends
// them to the window under the pointer inside the focused one), and the
// focus is borrowed only while an entry opened by a click is open, then given
// back to the window that had it, so the host keeps its shortcuts and fields.

bool PluginWindow::takeKeyboard() {
    if (xwindow_ == 0) return false;
    if (focusHeld_) return true;
    delegate_.guiKeyboardTaken();
    Window before = 0;
    XGetInputFocus(x_->display, &before, &focusRevert_);
    focusBefore_ = before;
    // An unviewable window cannot take it: the trap counts the error.
    const int errors = xErrors_;
    XSetInputFocus(x_->display, xwindow_, RevertToParent, CurrentTime);
    XSync(x_->display, False);
    focusHeld_ = xErrors_ == errors;
    return focusHeld_;
}

bool PluginWindow::hasFocus() const {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(x_->display, &focus, &revert);
    return focus == xwindow_;
}

void PluginWindow::releaseKeyboard() {
    if (!focusHeld_) return;
    focusHeld_ = false;
    // Whoever took it meanwhile keeps it.
    if (xwindow_ != 0 && hasFocus())
        XSetInputFocus(x_->display, focusBefore_, focusRevert_, CurrentTime);
    XSync(x_->display, False);
}

// ---- the clock step ----

void PluginWindow::windowGone() {
    // The host destroyed our parent and with it our window.
    endGestures();
    freeSurfaces();
    xwindow_ = 0;
}

void PluginWindow::tick() {
    if (x_->display == nullptr) return;
    pumpEvents();
    if (xwindow_ == 0) return;
    if (parts_.follow()) staticValid_ = false;
    // Axis units follow the stage's parameters; the grid follows its menu.
    if (const uint64_t key = parts_.panel.staticKey(curves_); key != staticKey_) {
        staticKey_ = key;
        staticValid_ = false;
    }
    parts_.panel.moveDamageTo(frame_);
    parts_.rack.moveDamageTo(frame_);
    shown_.collect(frame_, parts_.rack, parts_.panel);
    damageScope();
    if (!frame_.empty()) paintFrame();
}

void PluginWindow::damageScope() {
    const ScopeData* scope = curves_.curveScope();
    if (scope == nullptr) return;
    const uint32_t updates = scope->updates.load(std::memory_order_acquire);
    if (updates == scopeSeen_) return;
    scopeSeen_ = updates;
    // The engine writes the columns from where it stood at the last frame up
    // to its playhead: a strip of the graph, unless it jumped back (a new
    // trigger) or far ahead.
    const float from = scopePlayhead_, to = scope->playhead;
    scopePlayhead_ = to;
    const float ahead = to - from + (to < from ? 1.0f : 0.0f);
    if (from < 0 || to < 0 || ahead > 0.25f) return frame_.add(parts_.panel.graphArea());
    const Rect g = parts_.panel.graphArea(), graph = parts_.panel.scopeRect();
    // A column and the trace segments and playhead line on either side of it.
    const double margin = 3 * graph.width / kScopeColumns;
    const double x0 = parts_.panel.xOf(from) - margin, x1 = parts_.panel.xOf(to) + margin;
    if (from <= to) {
        frame_.add({x0, g.y, x1 - x0, g.height});
    } else { // across the cycle's end
        frame_.add({x0, g.y, g.x + g.width - x0, g.height});
        frame_.add({g.x, g.y, x1 - g.x, g.height});
    }
}

void PluginWindow::paintFrame() {
    if (backCr_ == nullptr) return;
    const EditorView view = parts_.view();
    // Areas are pixels from the design's corner; a new back buffer or static
    // layer also gives the margin of a size off the aspect.
    const bool whole = !staticValid_ || !backValid_;
    if (!staticValid_) {
        cairo_t* cr = cairo_create(staticSurface_);
        const plugincore::Rgb& fill = parts_.spec.palette.backgroundBottom;
        cairo_set_source_rgb(cr, fill.r, fill.g, fill.b);
        cairo_paint(cr);
        paintEditorStatic(cr, scale_, view);
        cairo_destroy(cr);
        staticValid_ = true;
    }
    const int width = static_cast<int>(width_), height = static_cast<int>(height_);
    const std::vector<PixelRect> areas =
        whole ? std::vector{PixelRect{-originX_, -originY_, width, height}}
              : damagedPixels(frame_, scale_, width - originX_, height - originY_);
    frame_.clear();
    for (const PixelRect& area : areas)
        paintArea(backCr_, staticSurface_, scale_, view, area);
    // One bad string or a lost surface must not stop painting for good.
    if (cairo_status(backCr_) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(backCr_);
        backCr_ = cairo_create(backSurface_);
        frame_.addAll();
    }
    cairo_surface_flush(backSurface_);
    backValid_ = true;
    ++frames_;
    if (paintLog_.size() > 4096) paintLog_.erase(paintLog_.begin(), paintLog_.begin() + 2048);
    for (const PixelRect& area : areas) {
        paintLog_.push_back(area);
        present(area);
    }
    XFlush(x_->display);
}

void PluginWindow::present(const PixelRect& area) {
    const int x = originX_ + area.x, y = originY_ + area.y;
    XCopyArea(x_->display, x_->backPixmap, xwindow_, x_->gc, x, y,
              static_cast<unsigned>(area.width), static_cast<unsigned>(area.height), x, y);
}

// ---- the event pump ----

void PluginWindow::pumpEvents() {
    while (x_->display != nullptr && XPending(x_->display) > 0) {
        XEvent event;
        XNextEvent(x_->display, &event);
        // Only the newest of a run of motions matters.
        while (event.type == MotionNotify && XPending(x_->display) > 0) {
            XEvent next;
            XPeekEvent(x_->display, &next);
            if (next.type != MotionNotify) break;
            XNextEvent(x_->display, &event);
        }
        dispatch(&event);
    }
}

void PluginWindow::pointerPress(double x, double y, int button, uint32_t time, bool shift) {
    // Sideways wheel and extra buttons mean nothing here and must not act as clicks.
    if (button > 5) return;
    if (parts_.rack.pressModal(x, y, button, time, shift)) return;
    if (parts_.panel.menuOpen() && !parts_.panel.bounds.contains(x, y)) {
        parts_.panel.closeMenus();
        return;
    }
    if (parts_.panel.press(x, y, button, time, curves_, shift)) return;
    parts_.rack.pressRack(x, y, button, time, shift);
}

void PluginWindow::dispatch(void* raw) {
    XEvent& event = *static_cast<XEvent*>(raw);
    const Window window = xwindow_;
    switch (event.type) {
    case KeyPress: {
        char bytes[32];
        KeySym keysym = NoSymbol;
        XLookupString(&event.xkey, bytes, sizeof bytes - 1, &keysym, nullptr);
        // A key is one undo step of its own, or joins the drag it interrupts.
        curves_.curveUndoBegin("", false);
        if (!parts_.rack.key(keysym, keysymText(keysym), event.xkey.state & ShiftMask))
            editKey(keysym, event.xkey.state & ControlMask, event.xkey.state & ShiftMask);
        curves_.curveUndoEnd();
        break;
    }
    case ButtonPress: {
        const int button = static_cast<int>(event.xbutton.button);
        // A press opens the step its drag belongs to; a wheel notch is whole
        // at once, and quick notches on one control join.
        if (!pressStepOpen_) curves_.curveUndoBegin("", button >= 4);
        pressStepOpen_ = true;
        pointerPress((event.xbutton.x - originX_) / scale_, (event.xbutton.y - originY_) / scale_,
                     button, static_cast<uint32_t>(event.xbutton.time),
                     event.xbutton.state & ShiftMask);
        if (button >= 4) closePressStep();
        break;
    }
    case ButtonRelease:
        if (parts_.panel.dragging())
            parts_.panel.release(curves_, true);
        else
            parts_.rack.release(static_cast<int>(event.xbutton.button));
        closePressStep();
        break;
    case MotionNotify: {
        const double x = (event.xmotion.x - originX_) / scale_;
        const double y = (event.xmotion.y - originY_) / scale_;
        constexpr unsigned kButtons = Button1Mask | Button2Mask | Button3Mask;
        // A drag whose release never came (a grab broken elsewhere) ends here.
        if ((event.xmotion.state & kButtons) == 0 &&
            (parts_.panel.dragging() || parts_.rack.dragging())) {
            parts_.panel.release(curves_);
            parts_.rack.endGestures();
        }
        if ((event.xmotion.state & kButtons) == 0) closePressStep();
        if (parts_.panel.dragging() || parts_.panel.bounds.contains(x, y))
            parts_.panel.motion(x, y, curves_);
        parts_.rack.motion(x, y, event.xmotion.state & ShiftMask);
        break;
    }
    case LeaveNotify: parts_.rack.leave(); break;
    case FocusOut:
        // Only a loss to another window ends the entry: not our own hand-back
        // (the focus is no longer held), nor a grab elsewhere that leaves the
        // focus with us.
        if (focusHeld_ && event.xfocus.detail != NotifyInferior && !hasFocus()) {
            parts_.rack.leaveEntry();
            releaseKeyboard();
        }
        break;
    case Expose:
        if (backValid_) {
            present({event.xexpose.x - originX_, event.xexpose.y - originY_, event.xexpose.width,
                     event.xexpose.height});
            XFlush(x_->display);
        } else
            frame_.addAll();
        break;
    case ConfigureNotify:
        // A host may size our window directly: follow it.
        if (event.xconfigure.window == window &&
            (static_cast<uint32_t>(event.xconfigure.width) != width_ ||
             static_cast<uint32_t>(event.xconfigure.height) != height_)) {
            // Already that size on the server: only our side follows.
            width_ = static_cast<uint32_t>(event.xconfigure.width);
            height_ = static_cast<uint32_t>(event.xconfigure.height);
            originX_ = -1; // rebuilt below at the new size
            applySize(width_, height_, fitScale(width_, height_));
        }
        break;
    case MappingNotify:
        // The keyboard layout changed: keys must read as the new layout.
        XRefreshKeyboardMapping(&event.xmapping);
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window) windowGone();
        break;
    case ClientMessage:
        if (window != 0 && static_cast<Atom>(event.xclient.data.l[0]) == x_->deleteAtom) {
            endGestures();
            XUnmapWindow(x_->display, window);
            XFlush(x_->display);
        }
        break;
    case SelectionRequest: serveClipboard(&event.xselectionrequest); break;
    case SelectionNotify:
        if (event.xselection.selection == x_->clipboard)
            receiveClipboard(event.xselection.property);
        break;
    default: break;
    }
}

} // namespace norvale
