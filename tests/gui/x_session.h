// The editor under a virtual X server (xvfb-run starts the test program): a host
// clocking it, the plug-in in-process with its editor embedded in a host window,
// XTest input, and pixels read back with XGetImage.
#pragma once

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <clap/ext/gui.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/timer-support.h>

#include "gui/plugin_window.h"
#include "plugin/descriptor.h"
#include "presets/preset_format.h"
#include "tests/plugin/fake_host.h"

namespace norvale::guitest {

// Curves, chain, every parameter, SNAP and STEP: all an edit can change, as
// text (what undo must give back exactly).
inline std::string soundOf(const NorvalePlugin& p) {
    std::string all = formatCurveLines(p.curveSet);
    for (uint32_t id = 0; id < kParamCount; ++id)
        all += " " + std::to_string(p.paramValue(id));
    return all + std::to_string(p.curveSnap()) + std::to_string(p.curveStepMode());
}

// The plug-in with VOLUME in its chain, and its editor in a host window on a
// connection of the test's own.
class Session {
public:
    explicit Session(bool timers = true, bool fds = false) : host(timers, fds) {
        p.instance.activate();
        object().curveChainAdd(kVol);
        XMapWindow(dpy, parent);
        XSync(dpy, False);
    }
    template <class Extension>
    const Extension* ext(const char* id) const {
        return static_cast<const Extension*>(plugin->get_extension(plugin, id));
    }
    bool open(double scale = 1.0) {
        const clap_window_t window{CLAP_WINDOW_API_X11, {.x11 = parent}};
        const bool ok = gui->create(plugin, CLAP_WINDOW_API_X11, false) &&
                        gui->set_scale(plugin, scale) && gui->set_parent(plugin, &window) &&
                        gui->show(plugin);
        settle();
        return ok;
    }
    NorvalePlugin& object() const { return *NorvalePlugin::from(plugin); }
    void tick() const {
        if (editorWindow(object()) != nullptr) window().tick();
    }
    PluginWindow& window() const { return *editorWindow(object()); }

    // Lets the server deliver what was sent, then ticks the window.
    void settle(int ticks = 3) {
        for (int i = 0; i < ticks; ++i) {
            XSync(dpy, False);
            usleep(3000);
            tick();
        }
    }

    // Input in design units of the editor, wherever its host window lies.
    std::pair<int, int> pixelOf(double x, double y) const {
        const auto [left, top] = window().origin();
        return {left + static_cast<int>(x * window().scale()),
                top + static_cast<int>(y * window().scale())};
    }
    // ticks 0: queued only, to reach the editor with what follows in one batch.
    void move(double x, double y, int ticks = 1) {
        const auto [px, py] = pixelOf(x, y);
        int rootX, rootY;
        Window child;
        XTranslateCoordinates(dpy, window().windowId(), DefaultRootWindow(dpy), px, py, &rootX,
                              &rootY, &child);
        XTestFakeMotionEvent(dpy, 0, rootX, rootY, CurrentTime);
        settle(ticks);
    }
    void button(int b, bool down, int ticks = 1) {
        XTestFakeButtonEvent(dpy, static_cast<unsigned>(b), down, CurrentTime);
        settle(ticks);
    }
    void move(const plugincore::Rect& r) { move(r.x + r.width / 2, r.y + r.height / 2); }
    void click(double x, double y, int b = 1) { click(plugincore::Rect{x, y, 0, 0}, b); }
    void drag(double x0, double y0, double x1, double y1) {
        move(x0, y0), button(1, true), move(x1, y1), button(1, false);
    }
    void click(const plugincore::Rect& r, int b = 1) { move(r), button(b, true), button(b, false); }
    // Types one keysym through the highest keycode, mapped to it for the moment.
    void type(KeySym keysym) {
        int low, high;
        XDisplayKeycodes(dpy, &low, &high);
        KeySym both[2] = {keysym, keysym};
        XChangeKeyboardMapping(dpy, high, 2, both, 1);
        settle(2);
        XTestFakeKeyEvent(dpy, static_cast<unsigned>(high), True, CurrentTime);
        XTestFakeKeyEvent(dpy, static_cast<unsigned>(high), False, CurrentTime);
        settle(2);
    }

    uint32_t pixel(double x, double y) { // as 0xRRGGBB
        const auto [px, py] = pixelOf(x, y);
        XImage* image = XGetImage(dpy, window().windowId(), px, py, 1, 1, AllPlanes, ZPixmap);
        const auto p = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xffffff;
        XDestroyImage(image);
        return p;
    }
    // Gesture begins and ends the host has been sent so far.
    struct Gestures {
        int begins, ends;
        bool operator==(const Gestures&) const = default;
    };
    Gestures drainGestures() {
        claphost::InputEvents in;
        claphost::OutputEvents out;
        ext<clap_plugin_params>(CLAP_EXT_PARAMS)->flush(plugin, in.list(), out.outList());
        for (uint32_t i = 0; i < out.size(); ++i) {
            begins_ += out.header(i).type == CLAP_EVENT_PARAM_GESTURE_BEGIN;
            ends_ += out.header(i).type == CLAP_EVENT_PARAM_GESTURE_END;
        }
        return {begins_, ends_};
    }

    // Closed last, and with it the host window: the plug-in goes first.
    struct Connection {
        Display* dpy = XOpenDisplay(nullptr);
        ~Connection() { XCloseDisplay(dpy); }
    } connection;
    test::FakeHost host;
    test::TestPlugin p{host};
    const clap_plugin* plugin = p.plugin;
    const clap_plugin_gui* gui = ext<clap_plugin_gui>(CLAP_EXT_GUI);
    Display* dpy = connection.dpy;
    Window parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 2900, 1800, 0, 0, 0);

private:
    int begins_ = 0, ends_ = 0;
};

} // namespace norvale::guitest
