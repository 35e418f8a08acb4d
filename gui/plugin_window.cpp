#include "gui/plugin_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "plugin/params.h"

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

// A keysym as UTF-8: Latin-1 keysyms are their code points, and keysyms
// 0x1000000 + c carry code point c; keys without a character give "".
std::string keysymText(KeySym keysym) {
    uint32_t cp = 0;
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
        cp = static_cast<uint32_t>(keysym);
    else if (keysym >= 0x1000100 && keysym <= 0x110ffff)
        cp = static_cast<uint32_t>(keysym - 0x1000000);
    else if (keysym == XK_KP_Space)
        cp = ' ';
    else if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        cp = '0' + static_cast<uint32_t>(keysym - XK_KP_0);
    else if (keysym == XK_KP_Decimal)
        cp = '.';
    else if (keysym == XK_KP_Subtract)
        cp = '-';
    else if (keysym == XK_KP_Add)
        cp = '+';
    if (cp == 0 || (cp >= 0xd800 && cp <= 0xdfff)) return {};
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
    return out;
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
    GC gc = nullptr;
    Pixmap backPixmap = 0;
};

// ---- painting (no X) ----

void paintEditor(cairo_t* cr, double scale, const EditorView& view) {
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    view.rack.paintBackground(cr);
    view.panel.draw(cr, view.palette, view.curves);
    view.rack.paintPanels(cr);
    view.rack.paintOverlays(cr);
    cairo_restore(cr);
}

void paintCurveArea(cairo_t* cr, double scale, const EditorView& view, Rect area) {
    cairo_save(cr);
    // Whole pixels, so nothing outside the area is half-painted.
    const double x0 = std::floor(area.x * scale), y0 = std::floor(area.y * scale);
    cairo_rectangle(cr, x0, y0, std::ceil((area.x + area.width) * scale) - x0,
                    std::ceil((area.y + area.height) * scale) - y0);
    cairo_clip(cr);
    cairo_scale(cr, scale, scale);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    // The graph is opaque; the rack's panels lie below the curve panel, but
    // its overlays (browser, menu, save prompt) may cover it.
    view.panel.drawGraph(cr, view.palette, view.curves);
    view.rack.paintOverlays(cr);
    cairo_restore(cr);
}

// ---- what the frame showed ----

uint64_t FrameWatch::fingerprint() const {
    uint64_t key = 1469598103934665603ull;
    auto mix = [&](uint64_t v) { key = (key ^ v) * 1099511628211ull; };
    auto mixFloat = [&](float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        mix(bits);
    };
    for (int m = 0; m < kModuleCount; ++m)
        for (int b = 0; b < kBandCount; ++b) {
            const Curve& c = curves_.curveAt(m, b);
            mix(static_cast<uint64_t>(c.count));
            for (int i = 0; i < c.count && i < kMaxCurvePoints; ++i) {
                mixFloat(c.points[i].x);
                mixFloat(c.points[i].y);
                mixFloat(c.points[i].bend);
                mix(c.points[i].weight);
            }
        }
    int chain[kModuleCount];
    const int n = curves_.curveChain(chain);
    for (int i = 0; i < n; ++i)
        mix(static_cast<uint64_t>(chain[i]));
    mix(static_cast<uint64_t>(n));
    mix(static_cast<uint64_t>(curves_.curveModule() * 8 + curves_.curveBand()));
    // Parameters that show in the curve panel too, not only on their controls.
    for (int module = 0; module < kModuleCount; ++module)
        mix(static_cast<uint64_t>(curves_.curveModuleEnabled(module)));
    for (int band = 0; band < kBandCount; ++band)
        mix(static_cast<uint64_t>(curves_.curveBandEnabled(band)));
    const int m = curves_.curveModule();
    mix(static_cast<uint64_t>(curves_.curveTriggerMode(m)) << 1 |
        static_cast<uint64_t>(curves_.curveTriggerLoop(m)));
    mixFloat(static_cast<float>(curves_.curveEnd(m)));
    mix(static_cast<uint64_t>(curves_.curveEditAllBands()) |
        static_cast<uint64_t>(curves_.curveSnap()) << 1 |
        static_cast<uint64_t>(curves_.curveStepMode()) << 2 |
        static_cast<uint64_t>(delegate_.guiPresetEdited()) << 3);
    mix(static_cast<uint64_t>(delegate_.guiCurrentPreset() + 1));
    mix(delegate_.guiPresets().size());
    return key;
}

FrameWatch::FrameWatch(const plugincore::GuiDelegate& delegate, const CurveAccess& curves,
                       uint32_t paramCount)
    : delegate_(delegate), curves_(curves), values_(paramCount, -1e9) {}

bool FrameWatch::changed() const {
    for (uint32_t id = 0; id < values_.size(); ++id)
        if (std::fabs(delegate_.guiParamValue(id) - values_[id]) > 1e-9) return true;
    return fingerprint() != key_;
}

bool FrameWatch::onlyValuesChanged(std::vector<uint32_t>& ids) const {
    ids.clear();
    for (uint32_t id = 0; id < values_.size(); ++id)
        if (std::fabs(delegate_.guiParamValue(id) - values_[id]) > 1e-9) ids.push_back(id);
    return fingerprint() == key_;
}

void FrameWatch::remember() {
    for (uint32_t id = 0; id < values_.size(); ++id)
        values_[id] = delegate_.guiParamValue(id);
    key_ = fingerprint();
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
      height_(roundPixels(spec.height * scale_)), shown_(delegate, curves, spec.paramDescCount) {}

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
    const double zoom =
        zoomForScreen(parts_.spec.width + 32, parts_.spec.height, screenWidth, screenHeight);
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
    backCr_ = nullptr;
    backSurface_ = nullptr;
    if (x_->backPixmap != 0) XFreePixmap(x_->display, x_->backPixmap);
    x_->backPixmap = 0;
}

void PluginWindow::rebuildBackBuffer() {
    freeSurfaces();
    if (xwindow_ == 0) return;
    x_->backPixmap = XCreatePixmap(x_->display, xwindow_, width_, height_, x_->depth);
    backSurface_ =
        cairo_xlib_surface_create(x_->display, x_->backPixmap, x_->visual, width_, height_);
    backCr_ = cairo_create(backSurface_);
    dirty_ = true;
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
    const double s = std::clamp(std::min(static_cast<double>(height) / parts_.spec.height,
                                         static_cast<double>(width) / (parts_.spec.width + 32)),
                                plugincore::kMinScale, plugincore::kMaxScale);
    width = roundPixels((parts_.spec.width + 32) * s);
    height = roundPixels(parts_.spec.height * s);
}

void PluginWindow::applySize(uint32_t width, uint32_t height, double scale) {
    scale_ = scale;
    dirty_ = true;
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    if (xwindow_ == 0) return;
    XResizeWindow(x_->display, xwindow_, width, height);
    rebuildBackBuffer();
}

bool PluginWindow::setScale(double factor) {
    if (!(factor >= plugincore::kMinScale && factor <= plugincore::kMaxScale)) return false;
    applySize(roundPixels((parts_.spec.width + 32) * factor),
              roundPixels(parts_.spec.height * factor), factor);
    return xwindow_ != 0 && syncOk();
}

bool PluginWindow::resize(uint32_t width, uint32_t height) {
    uint32_t w = width, h = height;
    fitSize(w, h);
    // A size off the aspect or the limits is refused, not bent.
    if (w != width || h != height) return false;
    const double s = std::min(static_cast<double>(height) / parts_.spec.height,
                              static_cast<double>(width) / (parts_.spec.width + 32));
    applySize(width, height, std::clamp(s, plugincore::kMinScale, plugincore::kMaxScale));
    return xwindow_ != 0 && syncOk();
}

void PluginWindow::show() {
    if (xwindow_ == 0) return;
    XMapWindow(x_->display, xwindow_);
    XFlush(x_->display);
    dirty_ = true;
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
    dirty_ = true;
}

int PluginWindow::connectionFd() const {
    return x_->display != nullptr ? ConnectionNumber(x_->display) : -1;
}

// ---- keyboard ----

bool PluginWindow::takeKeyboard() {
    if (xwindow_ == 0) return false;
    if (keyboardGrabbed_) return true;
    delegate_.guiKeyboardTaken();
    // Errors (an unviewable window, a host holding the focus) are counted by
    // the trap and simply leave us without the grab.
    XSetInputFocus(x_->display, xwindow_, RevertToParent, CurrentTime);
    keyboardGrabbed_ = XGrabKeyboard(x_->display, xwindow_, True, GrabModeAsync, GrabModeAsync,
                                     CurrentTime) == GrabSuccess;
    XSync(x_->display, False);
    return keyboardGrabbed_;
}

void PluginWindow::releaseKeyboard() {
    if (!keyboardGrabbed_) return;
    keyboardGrabbed_ = false;
    XUngrabKeyboard(x_->display, CurrentTime);
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
    if (parts_.follow()) dirty_ = true;
    if (parts_.panel.takeDirty()) dirty_ = true;
    if (parts_.rack.takeDirty()) dirty_ = true;
    if (dirty_ || (shown_.changed() && !paintControls())) {
        paintFull();
        return;
    }
    const ScopeData* scope = curves_.curveScope();
    if (scope != nullptr) {
        const uint32_t updates = scope->updates.load(std::memory_order_acquire);
        if (updates != scopeSeen_) {
            scopeSeen_ = updates;
            paintScope();
        }
    }
}

void PluginWindow::paintFull() {
    if (backCr_ == nullptr) return;
    dirty_ = false;
    shown_.remember();
    if (const ScopeData* scope = curves_.curveScope())
        scopeSeen_ = scope->updates.load(std::memory_order_acquire);
    const plugincore::Rgb& fill = parts_.spec.palette.backgroundBottom;
    // A host-chosen size off the aspect shows the background beyond the design.
    cairo_set_source_rgb(backCr_, fill.r, fill.g, fill.b);
    cairo_paint(backCr_);
    paintEditor(backCr_, scale_, parts_.view());
    ++fullPaints_;
    present(0, 0, static_cast<int>(width_), static_cast<int>(height_));
}

bool PluginWindow::paintControls() {
    // Host automation moves values alone; a control's repaint would cover
    // an overlay lying over it, and an open menu shows the value too.
    const PresetBar& bar = parts_.rack.presetBar();
    if (backCr_ == nullptr || parts_.rack.menuParam() >= 0 || bar.browserOpen() || bar.saveOpen() ||
        !shown_.onlyValuesChanged(movedParams_))
        return false;
    for (uint32_t id : movedParams_)
        if (parts_.rack.controlRect(id).width > 0 && parts_.rack.controlRect(id).height > 0) {
            cairo_save(backCr_);
            cairo_scale(backCr_, scale_, scale_);
            cairo_set_line_join(backCr_, CAIRO_LINE_JOIN_ROUND);
            parts_.rack.paintControlArea(backCr_, id);
            cairo_restore(backCr_);
        }
    shown_.remember();
    ++fullPaints_;
    for (uint32_t id : movedParams_)
        if (parts_.rack.controlRect(id).width > 0 && parts_.rack.controlRect(id).height > 0)
            presentArea(parts_.rack.controlRect(id));
    return true;
}

void PluginWindow::paintScope() {
    if (backCr_ == nullptr) return;
    const Rect area = parts_.panel.scopeRect();
    paintCurveArea(backCr_, scale_, parts_.view(), area);
    ++scopePaints_;
    presentArea(area);
}

void PluginWindow::presentArea(Rect area) {
    const int x0 = static_cast<int>(std::floor(area.x * scale_));
    const int y0 = static_cast<int>(std::floor(area.y * scale_));
    present(x0, y0, static_cast<int>(std::ceil((area.x + area.width) * scale_)) - x0,
            static_cast<int>(std::ceil((area.y + area.height) * scale_)) - y0);
}

void PluginWindow::present(int x, int y, int width, int height) {
    // One bad string or a lost surface must not stop painting for good.
    if (cairo_status(backCr_) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(backCr_);
        backCr_ = cairo_create(backSurface_);
        dirty_ = true;
    }
    cairo_surface_flush(backSurface_);
    XCopyArea(x_->display, x_->backPixmap, xwindow_, x_->gc, x, y, width, height, x, y);
    XFlush(x_->display);
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
    dirty_ = true;
    if (parts_.rack.pressModal(x, y, button, time, shift)) return;
    if (parts_.panel.menuOpen() && !parts_.panel.bounds.contains(x, y)) {
        parts_.panel.closeMenus();
        return;
    }
    if (parts_.panel.press(x, y, button, time, curves_)) return;
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
        if (parts_.rack.key(keysym, keysymText(keysym))) dirty_ = true;
        break;
    }
    case ButtonPress:
        pointerPress(event.xbutton.x / scale_, event.xbutton.y / scale_,
                     static_cast<int>(event.xbutton.button),
                     static_cast<uint32_t>(event.xbutton.time), event.xbutton.state & ShiftMask);
        break;
    case ButtonRelease:
        if (parts_.panel.dragging())
            parts_.panel.release(curves_);
        else if (parts_.rack.release(static_cast<int>(event.xbutton.button)))
            dirty_ = true;
        break;
    case MotionNotify: {
        const double x = event.xmotion.x / scale_, y = event.xmotion.y / scale_;
        constexpr unsigned kButtons = Button1Mask | Button2Mask | Button3Mask;
        // A drag whose release never came (a grab broken elsewhere) ends here.
        if ((event.xmotion.state & kButtons) == 0 &&
            (parts_.panel.dragging() || parts_.rack.dragging())) {
            parts_.panel.release(curves_);
            parts_.rack.endGestures();
        }
        if (parts_.panel.dragging() || parts_.panel.bounds.contains(x, y))
            parts_.panel.motion(x, y, curves_);
        if (parts_.rack.motion(x, y, event.xmotion.state & ShiftMask)) dirty_ = true;
        break;
    }
    case LeaveNotify: parts_.rack.leave(); break;
    case FocusOut:
        // Our own grab moves the focus too, and focus that only followed the
        // pointer was never ours; only a real loss ends text entry.
        if (event.xfocus.mode == NotifyNormal && event.xfocus.detail != NotifyPointer &&
            event.xfocus.detail != NotifyInferior && keyboardGrabbed_) {
            parts_.rack.closeTextEntry();
            releaseKeyboard();
            dirty_ = true;
        }
        break;
    case Expose:
        if (backCr_ != nullptr && !dirty_)
            present(event.xexpose.x, event.xexpose.y, event.xexpose.width, event.xexpose.height);
        else
            dirty_ = true;
        break;
    case ConfigureNotify:
        // A host may size our window directly: follow it.
        if (event.xconfigure.window == window &&
            (static_cast<uint32_t>(event.xconfigure.width) != width_ ||
             static_cast<uint32_t>(event.xconfigure.height) != height_)) {
            width_ = static_cast<uint32_t>(event.xconfigure.width);
            height_ = static_cast<uint32_t>(event.xconfigure.height);
            scale_ = std::clamp(std::min(static_cast<double>(height_) / parts_.spec.height,
                                         static_cast<double>(width_) / (parts_.spec.width + 32)),
                                plugincore::kMinScale, plugincore::kMaxScale);
            rebuildBackBuffer();
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
    default: break;
    }
}

} // namespace norvale
