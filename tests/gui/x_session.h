// Test support for the editor under a virtual X server (the test program runs
// under xvfb-run): a host that clocks the editor with timers or watched
// descriptors, the plug-in created in-process with its editor embedded in a
// host window, pointer and keys through XTest, pixels read back with
// XGetImage, and a PNG of what the window showed for looking at failures.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <unistd.h>

#include <clap/entry.h>
#include <clap/ext/gui.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/timer-support.h>
#include <clap/factory/plugin-factory.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gui/plugin_window.h"
#include "plugin/descriptor.h"
#include "plugin/norvale_plugin.h"
#include "tests/clap_test_host.h"

namespace norvale::guitest {

// Offers "clap.timer-support" and/or "clap.posix-fd-support" and nothing else.
struct GuiHost {
    bool offerTimers = true, offerFds = false;
    std::vector<clap_id> timers;
    std::vector<int> fds;
    clap_host_t clap{CLAP_VERSION,
                     this,
                     "guihost",
                     "Norvale tests",
                     "",
                     "1",
                     &extension,
                     [](const clap_host_t*) {},
                     [](const clap_host_t*) {},
                     [](const clap_host_t*) {}};

    static GuiHost& self(const clap_host_t* h) { return *static_cast<GuiHost*>(h->host_data); }
    static const void* extension(const clap_host_t* h, const char* id) {
        static const clap_host_timer_support_t kTimers = {
            [](const clap_host_t* h, uint32_t, clap_id* id) {
                self(h).timers.push_back(*id = 7);
                return true;
            },
            [](const clap_host_t* h, clap_id id) {
                std::erase(self(h).timers, id);
                return true;
            }};
        static const clap_host_posix_fd_support_t kFds = {
            [](const clap_host_t* h, int fd, clap_posix_fd_flags_t) {
                self(h).fds.push_back(fd);
                return true;
            },
            [](const clap_host_t*, int, clap_posix_fd_flags_t) { return true; },
            [](const clap_host_t* h, int fd) {
                std::erase(self(h).fds, fd);
                return true;
            }};
        if (self(h).offerTimers && std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimers;
        if (self(h).offerFds && std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &kFds;
        return nullptr;
    }
};

// The plug-in, its editor in a host window on a connection of the test's own.
class Session {
public:
    explicit Session(GuiHost& host) : host_(host) {
        auto& factory = *static_cast<const clap_plugin_factory*>(
            clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin = factory.create_plugin(&factory, &host.clap, kPluginId);
        plugin->init(plugin);
        plugin->activate(plugin, 48000.0, 1, 1024);
        gui = static_cast<const clap_plugin_gui*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
        dpy = XOpenDisplay(nullptr);
        parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 2900, 1800, 0, 0, 0);
        XMapWindow(dpy, parent);
        XSync(dpy, False);
    }
    ~Session() {
        plugin->destroy(plugin);
        if (parent != 0) XDestroyWindow(dpy, parent);
        XCloseDisplay(dpy);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool open(double scale = 1.0) {
        const clap_window_t window{CLAP_WINDOW_API_X11, {.x11 = parent}};
        if (!gui->create(plugin, CLAP_WINDOW_API_X11, false)) return false;
        const bool ok =
            gui->set_scale(plugin, scale) && gui->set_parent(plugin, &window) && gui->show(plugin);
        settle();
        return ok;
    }
    NorvalePlugin& object() const { return *NorvalePlugin::from(plugin); }
    PluginWindow& window() const { return *editorWindow(object()); }

    // Lets the server deliver what was sent, then ticks the way the host does.
    void settle(int ticks = 3) {
        for (int i = 0; i < ticks; ++i) {
            XSync(dpy, False);
            usleep(3000);
            tick();
        }
    }
    void tick() {
        if (editorWindow(object()) == nullptr) return;
        auto* timer = static_cast<const clap_plugin_timer_support*>(
            plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
        timer->on_timer(plugin, 7);
    }

    // ---- input, in design units of the editor ----
    void move(double x, double y) {
        const double s = window().scale();
        XTestFakeMotionEvent(dpy, 0, static_cast<int>(x * s), static_cast<int>(y * s), CurrentTime);
        settle(1);
    }
    void button(int b, bool down) {
        XTestFakeButtonEvent(dpy, static_cast<unsigned>(b), down, CurrentTime);
        settle(1);
    }
    void click(double x, double y, int b = 1) {
        move(x, y);
        button(b, true);
        button(b, false);
    }
    void drag(double x0, double y0, double x1, double y1) {
        move(x0, y0);
        button(1, true);
        move((x0 + x1) / 2, (y0 + y1) / 2);
        move(x1, y1);
        button(1, false);
    }
    // Types one keysym through a keycode the keyboard leaves empty.
    void type(KeySym keysym) {
        int low, high, per;
        XDisplayKeycodes(dpy, &low, &high);
        KeySym* map = XGetKeyboardMapping(dpy, static_cast<KeyCode>(low), high - low + 1, &per);
        int spare = high;
        for (int k = high; k >= low; --k)
            if (map[(k - low) * per] == NoSymbol) {
                spare = k;
                break;
            }
        XFree(map);
        KeySym both[2] = {keysym, keysym};
        XChangeKeyboardMapping(dpy, spare, 2, both, 1);
        settle(2);
        XTestFakeKeyEvent(dpy, static_cast<unsigned>(spare), True, CurrentTime);
        XTestFakeKeyEvent(dpy, static_cast<unsigned>(spare), False, CurrentTime);
        settle(2);
    }

    // ---- what the window shows ----
    uint32_t pixel(double x, double y) {
        const double s = window().scale();
        XImage* image = XGetImage(dpy, window().windowId(), static_cast<int>(x * s),
                                  static_cast<int>(y * s), 1, 1, AllPlanes, ZPixmap);
        const uint32_t p = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xffffff;
        XDestroyImage(image);
        return p;
    }
    void savePng(const std::string& path) {
        uint32_t w, h;
        window().size(w, h);
        XImage* image = XGetImage(dpy, window().windowId(), 0, 0, w, h, AllPlanes, ZPixmap);
        cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w),
                                                          static_cast<int>(h));
        auto* rows = cairo_image_surface_get_data(png);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                reinterpret_cast<uint32_t*>(rows + y * cairo_image_surface_get_stride(png))[x] =
                    static_cast<uint32_t>(
                        XGetPixel(image, static_cast<int>(x), static_cast<int>(y)));
        cairo_surface_mark_dirty(png);
        cairo_surface_write_to_png(png, path.c_str());
        cairo_surface_destroy(png);
        XDestroyImage(image);
    }

    // Gesture begins minus ends the host has seen so far, and how many begins.
    struct Gestures {
        int begins = 0, ends = 0;
    };
    Gestures drainGestures() {
        claphost::InputEvents in;
        claphost::OutputEvents out;
        auto* params =
            static_cast<const clap_plugin_params*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
        params->flush(plugin, in.list(), out.list());
        for (uint32_t i = 0; i < out.size(); ++i) {
            gestures_.begins += out.header(i).type == CLAP_EVENT_PARAM_GESTURE_BEGIN;
            gestures_.ends += out.header(i).type == CLAP_EVENT_PARAM_GESTURE_END;
        }
        return gestures_;
    }

    const clap_plugin* plugin;
    const clap_plugin_gui* gui;
    Display* dpy;
    Window parent;

private:
    GuiHost& host_;
    Gestures gestures_;
};

inline uint32_t rgb(const plugincore::Rgb& c) {
    auto channel = [](double v) { return static_cast<uint32_t>(std::lround(v * 255)); };
    return channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}
// Largest difference of the three channels.
inline int colourDistance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift : {0, 8, 16})
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 255) -
                                 static_cast<int>((b >> shift) & 255)));
    return d;
}

} // namespace norvale::guitest
