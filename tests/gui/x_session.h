// The editor under a virtual X server (xvfb-run starts the test program): a host
// clocking it, the plug-in in-process with its editor embedded in a host window,
// XTest input, pixels read back with XGetImage, and a PNG dump for failures.
#pragma once

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <clap/ext/gui.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/timer-support.h>

#include "gui/plugin_window.h"
#include "plugin/descriptor.h"
#include "tests/plugin/fake_host.h"

namespace norvale::guitest {

// Offers "clap.timer-support" and/or "clap.posix-fd-support", nothing else.
struct GuiHost {
    GuiHost(bool timers = true, bool fds = false) : offerTimers(timers), offerFds(fds) {}
    GuiHost(const GuiHost& other) : GuiHost(other.offerTimers, other.offerFds) {}
    bool offerTimers, offerFds;
    std::vector<clap_id> timers;
    std::vector<int> fds;
    clap_host_t clap{CLAP_VERSION, this,       "guihost", "Norvale tests", "",
                     "1",          &extension, &nothing,  &nothing,        &nothing};

    static void nothing(const clap_host_t*) {}
    static GuiHost& self(const clap_host_t* h) { return *static_cast<GuiHost*>(h->host_data); }
    static const void* extension(const clap_host_t* h, const char* id) {
        static const clap_host_timer_support_t kTimers = {
            [](const clap_host_t* h, uint32_t, clap_id* t) {
                return self(h).timers.push_back(*t = 7), true;
            },
            [](const clap_host_t* h, clap_id t) { return std::erase(self(h).timers, t) > 0; }};
        static const clap_host_posix_fd_support_t kFds = {
            [](const clap_host_t* h, int fd, uint32_t) { return self(h).fds.push_back(fd), true; },
            nullptr, [](const clap_host_t* h, int fd) { return std::erase(self(h).fds, fd) > 0; }};
        if (self(h).offerTimers && std::string(id) == CLAP_EXT_TIMER_SUPPORT) return &kTimers;
        if (self(h).offerFds && std::string(id) == CLAP_EXT_POSIX_FD_SUPPORT) return &kFds;
        return nullptr;
    }
};

// The plug-in with VOLUME in its chain, and its editor in a host window on a
// connection of the test's own.
class Session {
public:
    explicit Session(const GuiHost& offers = {}) : host(offers) {
        clap_entry.init("");
        auto& factory = *static_cast<const clap_plugin_factory*>(
            clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin = factory.create_plugin(&factory, &host.clap, kPluginId);
        plugin->init(plugin);
        plugin->activate(plugin, 48000.0, 1, 1024);
        object().curveChainAdd(kVol);
        gui = ext<clap_plugin_gui>(CLAP_EXT_GUI);
        dpy = XOpenDisplay(nullptr);
        parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 2900, 1800, 0, 0, 0);
        XMapWindow(dpy, parent);
        XSync(dpy, False);
    }
    ~Session() {
        plugin->destroy(plugin);
        clap_entry.deinit();
        XCloseDisplay(dpy); // and with it the host window
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

    // Input in design units of the editor.
    void move(double x, double y) {
        const double s = window().scale();
        XTestFakeMotionEvent(dpy, 0, static_cast<int>(x * s), static_cast<int>(y * s), CurrentTime);
        settle(1);
    }
    void button(int b, bool down) {
        XTestFakeButtonEvent(dpy, static_cast<unsigned>(b), down, CurrentTime);
        settle(1);
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
        const double s = window().scale();
        XImage* image = XGetImage(dpy, window().windowId(), static_cast<int>(x * s),
                                  static_cast<int>(y * s), 1, 1, AllPlanes, ZPixmap);
        const auto p = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xffffff;
        XDestroyImage(image);
        return p;
    }
    void savePng(const char* path) {
        uint32_t w, h;
        window().size(w, h);
        XImage* image = XGetImage(dpy, window().windowId(), 0, 0, w, h, AllPlanes, ZPixmap);
        cairo_surface_t* png = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(image->data), CAIRO_FORMAT_RGB24, static_cast<int>(w),
            static_cast<int>(h), image->bytes_per_line);
        cairo_surface_write_to_png(png, path);
        cairo_surface_destroy(png);
        XDestroyImage(image);
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

    GuiHost host;
    const clap_plugin* plugin;
    const clap_plugin_gui* gui;
    Display* dpy;
    Window parent;

private:
    int begins_ = 0, ends_ = 0;
};

} // namespace norvale::guitest
