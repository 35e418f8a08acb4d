// The editor window through the real plug-in under a virtual X server.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>

#include "tests/gui/x_session.h"

namespace norvale::guitest {
namespace {

using plugincore::Rect;

std::pair<Window, unsigned> treeOf(Display* dpy, Window window) {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(dpy, window, &root, &parent, &children, &n);
    XFree(children);
    return {parent, n};
}

bool looksLike(uint32_t pixel, const plugincore::Rgb& want) { // within 4 levels a channel
    const double channels[] = {want.b, want.g, want.r};
    for (int i = 0; i < 3; ++i)
        if (std::fabs(double(pixel >> 8 * i & 255) - channels[i] * 255) > 4) return false;
    return true;
}

// A hundred editors come and go without a trace; then the host destroys the
// parent first (hosts do): X calls on the dead window neither end the process
// nor print, before and after the editor has heard of it.
TEST(EditorWindow, ComesAndGoesWithoutATraceAndOutlivesItsParent) {
    testing::internal::CaptureStderr();
    Session s;
    auto fds = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto files = fds();
    const auto windows = treeOf(s.dpy, DefaultRootWindow(s.dpy)).second;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(s.open());
        s.gui->destroy(s.plugin);
    }
    EXPECT_EQ(fds(), files);
    EXPECT_EQ(treeOf(s.dpy, DefaultRootWindow(s.dpy)).second, windows);
    ASSERT_TRUE(s.open());
    XDestroyWindow(s.dpy, s.parent);
    s.parent = 0;
    s.gui->set_scale(s.plugin, 2.0);
    s.settle();
    s.gui->hide(s.plugin);
    s.gui->destroy(s.plugin);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Hosts ask is_api_supported once per plug-in type, some through a host that
// offers nothing: create alone decides. Watched descriptors answer input at
// once, without a timer.
TEST(EditorClock, RunsOnWhatTheHostOffers) {
    for (auto [timers, fds] :
         {std::pair{true, false}, {false, true}, {true, true}, {false, false}}) {
        Session s(timers, fds);
        const bool clocked = timers || fds;
        EXPECT_TRUE(s.gui->is_api_supported(s.plugin, CLAP_WINDOW_API_X11, false));
        EXPECT_EQ(s.gui->create(s.plugin, CLAP_WINDOW_API_X11, false), clocked);
        EXPECT_EQ(s.host.logs.size(), clocked ? 0u : 1u);
        EXPECT_EQ(s.host.timers.size(), timers ? 1u : 0u);    // timers first, else a timer fd
        EXPECT_EQ(s.host.fds.size(), fds ? 2u - timers : 0u); // and the X connection
        usleep(40000); // the timer descriptor fires within a tick
        for (int f : s.host.fds)
            s.ext<clap_plugin_posix_fd_support>(CLAP_EXT_POSIX_FD_SUPPORT)->on_fd(s.plugin, f, 1);
        EXPECT_EQ(clocked ? s.window().frames() : 0u, fds ? 1u : 0u); // the first frame
        for (clap_id id : s.host.timers)
            s.ext<clap_plugin_timer_support>(CLAP_EXT_TIMER_SUPPORT)->on_timer(s.plugin, id);
        EXPECT_EQ(clocked ? s.window().frames() : 1u, 1u);
        for (auto [api, floating] : {std::pair<const char*, bool>{nullptr, false},
                                     {CLAP_WINDOW_API_X11, true},
                                     {CLAP_WINDOW_API_WIN32, false}})
            EXPECT_FALSE(s.gui->is_api_supported(s.plugin, api, floating) ||
                         s.gui->create(s.plugin, api, floating));
        s.gui->destroy(s.plugin);
        EXPECT_TRUE(s.host.timers.empty() && s.host.fds.empty());
    }
}

TEST(EditorGestures, EveryBeginHasOneEnd) {
    enum End { kHide, kDestroy, kLostRelease, kWindowManagerClose };
    for (bool knob : {false, true})
        for (End how : {kHide, kDestroy, kLostRelease, kWindowManagerClose}) {
            Session s;
            s.object().guiSetParam(kParamVolTrigger, 1); // MIDI, once: the End marker shows
            s.object().guiSetParam(kParamVolLoop, 0);
            ASSERT_TRUE(s.open());
            const Rect mix = s.window().rack().controlRect(kParamMix);
            const Rect end = {s.window().curvePanel().xOf(1.0), 300, 0, 0};
            s.move(knob ? mix : end);
            s.button(1, true);
            ASSERT_EQ(s.drainGestures(), (Session::Gestures{1, 0})) << knob << how;
            XEvent event{};
            event.xany.window = s.window().windowId();
            if (how == kHide) s.gui->hide(s.plugin);
            if (how == kDestroy) s.gui->destroy(s.plugin);
            if (how == kLostRelease) event.type = MotionNotify; // with no button held
            if (how == kWindowManagerClose)
                event.xclient = {ClientMessage,
                                 0,
                                 0,
                                 s.dpy,
                                 event.xany.window,
                                 XInternAtom(s.dpy, "WM_PROTOCOLS", False),
                                 32,
                                 {.l = {(long)XInternAtom(s.dpy, "WM_DELETE_WINDOW", False)}}};
            if (event.type != 0) XSendEvent(s.dpy, event.xany.window, False, 0, &event);
            s.settle();
            EXPECT_EQ(s.drainGestures(), (Session::Gestures{1, 1})) << knob << how;
            s.button(1, false);
            EXPECT_EQ(s.drainGestures(), (Session::Gestures{1, 1})) << knob << how;
        }
}

TEST(EditorInput, TheWheelOverTabsAndRightClicksOnTheRackChangeNothing) {
    Session s;
    for (int m : {kVol, kFlt, kDrv})
        s.object().curveChainAdd(m);
    ASSERT_TRUE(s.open());
    const Rack& rack = s.window().rack();
    for (const plugincore::Cell& cell : rack.cells()) { // off their defaults
        const plugincore::ParamDesc& d = kParams[cell.paramId];
        s.object().guiSetParam(cell.paramId,
                               d.defaultValue == d.minValue ? d.maxValue : d.minValue);
    }
    const CurvePanel& panel = s.window().curvePanel();
    const std::string before = soundOf(s.object());
    for (const Rect& c : rack.cellRects()) // knob or menu body, and value box
        for (double y : {c.y + 40, c.y + 84})
            s.click({c.x + c.width / 2, y, 0, 0}, 3);
    // Along the row of effect tabs, add tab, band tabs, SNAP, STEP and SHAPE.
    for (double x = panel.effectTab(0).x + 2; x < panel.shapeButton().x + panel.shapeButton().width;
         x += 13)
        for (int wheel : {4, 5, 6, 7})
            s.click({x, panel.effectTab(0).y + 10, 0, 0}, wheel);
    for (int item = 0; item < kShapeCount; ++item) {
        s.click(panel.shapeButton());
        s.click(panel.shapeItem(item), 4 + item % 4);
    }
    EXPECT_EQ(soundOf(s.object()), before);
}

// Two quick nudges of a knob or a point stay two drags, and two presses apart
// are two clicks; two presses in place (a tremble allowed) are a double-click:
// the knob resets, the point goes.
TEST(EditorInput, OnlyTwoPressesInPlaceMakeADoubleClick) {
    for (bool knob : {true, false})
        for (auto [apart, nudge, twice] : {std::tuple{0.0, 0.0, true},
                                           {0.0, 3.0, true},
                                           {0.0, 12.0, false},
                                           {7.0, 0.0, false}}) {
            Session s;
            NorvalePlugin& p = s.object();
            p.curveToggleSnap(); // off: the point follows the pointer exactly
            p.curveAddPoint(kVol, p.curveBand(), 0.5f, 0.5f, 1);
            const int points = p.curveAt(kVol, p.curveBand()).count;
            p.guiSetParam(kParamMix, 0.5);
            ASSERT_TRUE(s.open());
            const Rect c = s.window().rack().controlRect(kParamMix);
            const CurvePanel& panel = s.window().curvePanel();
            const double x = knob ? c.x + c.width / 2 : panel.xOf(0.5);
            const double y = knob ? c.y + 40 : panel.yOf(0.5);
            // One tick between the presses: slow builds stay within the time.
            for (double at : {x, x + apart})
                s.move(at, y, 0), s.button(1, true, 0), s.move(at, y - nudge), s.move(at, y, 0),
                    s.button(1, false, 0);
            s.settle();
            if (knob)
                EXPECT_EQ(p.paramValue(kParamMix) == 1.0, twice) << apart << " " << nudge;
            else
                EXPECT_EQ(p.curveAt(kVol, p.curveBand()).count, points - twice) << nudge;
        }
}

TEST(EditorInput, APointDraggedAcrossItsNeighbourEndsUnderThePointer) {
    Session s;
    NorvalePlugin& p = s.object();
    p.curveSelectBand(1);
    p.curveToggleSnap(); // off: the point lands exactly under the pointer
    p.curveSetFlat(kVol, 1, 0.5f);
    p.curveAddPoint(kVol, 1, 0.25f, 0.2f, 0);
    p.curveAddPoint(kVol, 1, 0.5f, 0.8f, 0);
    ASSERT_TRUE(s.open());
    const CurvePanel& panel = s.window().curvePanel();
    s.move(panel.xOf(0.25), panel.yOf(0.2));
    s.button(1, true);
    s.move(panel.xOf(0.75), panel.yOf(0.3));
    s.move(panel.xOf(0.375), panel.yOf(0.3));
    s.button(1, false);
    const Curve& c = p.curveAt(kVol, 1);
    ASSERT_EQ(c.count, 4);
    EXPECT_NEAR(c.points[1].x, 0.375, 0.002);
    EXPECT_NEAR(c.points[1].y, 0.3, 0.005);
    EXPECT_EQ(std::pair(c.points[2].x, c.points[2].y), std::pair(0.5f, 0.8f));
}

// Every layout's keysyms through the real key path: Latin-1, Cyrillic,
// Greek, Polish (Latin-2), and the Unicode range up to an emoji.
TEST(EditorText, EveryLayoutTypesAndPaintingGoesOn) {
    Session s;
    ASSERT_TRUE(s.open());
    PresetBar& bar = s.window().rack().presetBar();
    s.click(bar.zoneRect(kZoneSave));
    const uint64_t paints = s.window().frames();
    for (KeySym key :
         std::initializer_list<KeySym>{0xe9, XK_Cyrillic_be, XK_Cyrillic_A, XK_Greek_alpha,
                                       XK_Greek_OMEGA, XK_lstroke, XK_zabovedot, 0x101f3b5})
        s.type(key);
    EXPECT_TRUE(bar.saveName().ends_with("éбАαΩłż🎵")) << bar.saveName();
    EXPECT_GE(s.window().frames(), paints + 8); // a frame for every key
}

// ---- the keyboard: the focus borrowed by an entry, never a grab ----

Window focusOf(Display* dpy) {
    Window focus;
    int revert;
    XGetInputFocus(dpy, &focus, &revert);
    return focus;
}

// A value entry takes the focus from the host on its click and gives it back;
// a valid typed value survives the end of the entry, however it comes; the
// click that ends it does nothing else; the next keys go to whoever took the
// focus: another client's window (the second host's, focused on its click as
// a window manager does), or a second instance's entry.
TEST(EditorKeyboard, AnEntryBorrowsTheFocusAndKeepsWhatWasTyped) {
    enum End { kEnter, kClickElsewhere, kOtherClient, kOtherEditor };
    for (auto [typed, end, kept] : {std::tuple{'5', kEnter, true},
                                    {'5', kClickElsewhere, true},
                                    {'5', kOtherClient, true},
                                    {'x', kClickElsewhere, false},
                                    {'x', kOtherClient, false},
                                    {'x', kOtherEditor, false}}) {
        Session s, b;
        XMoveWindow(b.dpy, b.parent, 0, 900);
        ASSERT_TRUE(s.open() && b.open());
        XSelectInput(b.dpy, b.parent, KeyPressMask);
        XSetInputFocus(s.dpy, s.parent, RevertToParent, CurrentTime);
        const bool snap = s.object().curveSnap();
        const Rect box = s.window().rack().valueBoxRect(kParamMix);
        s.click(box);
        EXPECT_EQ(focusOf(s.dpy), s.window().windowId());
        s.type(static_cast<KeySym>(typed));
        if (end == kEnter) s.type(XK_Return);
        if (end == kClickElsewhere) s.click(s.window().curvePanel().snapButton());
        if (end == kOtherClient) {
            XTestFakeMotionEvent(s.dpy, 0, 2000, 1500, CurrentTime);
            s.button(1, true), s.button(1, false);
            XSetInputFocus(b.dpy, b.parent, RevertToParent, CurrentTime);
            XSync(b.dpy, False), s.settle();
        }
        if (end == kOtherEditor) b.click(box), s.settle();
        EXPECT_EQ(focusOf(s.dpy), end == kOtherClient   ? b.parent
                                  : end == kOtherEditor ? b.window().windowId()
                                                        : s.parent)
            << end;
        EXPECT_EQ(s.window().rack().typingParam(), -1) << end;
        EXPECT_EQ(s.object().curveSnap(), snap) << end;
        for (KeySym key : {XK_7, XK_Return})
            s.type(key), b.settle();
        int keys = 0;
        for (XEvent e; XCheckTypedWindowEvent(b.dpy, b.parent, KeyPress, &e);)
            ++keys;
        EXPECT_EQ(keys, end == kOtherClient ? 2 : 0) << end;
        EXPECT_EQ(b.object().paramValue(kParamMix), end == kOtherEditor ? 0.07 : 1.0) << end;
        EXPECT_EQ(s.object().paramValue(kParamMix), kept ? 0.05 : 1.0) << typed << end;
        // The windows go now; without a window manager the focus would go with them.
        XSetInputFocus(s.dpy, PointerRoot, RevertToPointerRoot, CurrentTime);
        XSync(s.dpy, False);
    }
}

TEST(EditorSize, AChildOfTheHostWindowAtTheSizeItAnswers) {
    Session s;
    ASSERT_TRUE(s.open());
    XWindowAttributes a;
    EXPECT_EQ(treeOf(s.dpy, s.window().windowId()).first, s.parent);
    XGetWindowAttributes(s.dpy, s.window().windowId(), &a);
    EXPECT_EQ(a.map_state, IsViewable);
    for (auto [askW, askH, fitW, fitH] : {std::array<uint32_t, 4>{100, 100, 716, 400},
                                          {2864, 1600, 2864, 1600},
                                          {3000, 1000, 1790, 1000},
                                          {9000, 9000, 5728, 3200}}) {
        uint32_t w = askW, h = askH;
        ASSERT_TRUE(s.gui->adjust_size(s.plugin, &w, &h));
        EXPECT_EQ(std::pair(w, h), std::pair(fitW, fitH));
    }
    for (double bad : {0.4, 5.0})
        EXPECT_FALSE(s.gui->set_scale(s.plugin, bad));
    // A host that sizes our window itself is followed.
    XResizeWindow(s.dpy, s.window().windowId(), 2148, 1200);
    s.settle();
    EXPECT_EQ(s.window().scale(), 1.5);
}

// Pixels from the geometry and clicks at every size a host may set, off the
// aspect too (hosts that skip adjust_size exist): the largest scale that fits,
// centred on the background. Idle paints nothing.
TEST(EditorFrame, ProbesClicksAndIdleAtEverySize) {
    for (auto [w, h, left, top] : {std::array<uint32_t, 4>{1432, 800, 0, 0},
                                   {2864, 1600, 0, 0},
                                   {1000, 800, 0, 120},
                                   {3000, 1000, 605, 0}}) {
        Session s;
        s.object().curveSelectBand(1);
        s.object().curveSetFlat(kVol, 1, 0.5f);
        ASSERT_TRUE(s.open() && s.gui->set_size(s.plugin, w, h));
        s.settle();
        uint32_t gotW, gotH;
        XWindowAttributes a;
        s.gui->get_size(s.plugin, &gotW, &gotH);
        XGetWindowAttributes(s.dpy, s.window().windowId(), &a);
        EXPECT_EQ(std::tuple(gotW, gotH, a.width, a.height), std::tuple(w, h, int(w), int(h)));
        EXPECT_EQ(s.window().origin(), std::pair(int(left), int(top)));
        EXPECT_NEAR(s.window().scale(), std::min(w / 1432.0, h / 800.0), 1e-9);
        const CurvePanel& panel = s.window().curvePanel();
        const plugincore::Palette& c = kWindowSpec.palette;
        const Rect b = panel.bounds, snap = panel.snapButton();
        const plugincore::Rgb tint{c.panelFill.r * 0.78 + c.accent.r * 0.22,
                                   c.panelFill.g * 0.78 + c.accent.g * 0.22,
                                   c.panelFill.b * 0.78 + c.accent.b * 0.22};
        std::vector probes = {std::tuple{b.x + 20, b.y + b.height - 8, c.panelFill},
                              {panel.xOf(0.3), panel.yOf(0.5), c.accent},
                              {snap.x + 4, snap.y + 2, tint}};
        if (left + top > 0) // the margin
            probes.push_back({left > 0 ? -20.0 : 700, top > 0 ? -20.0 : 400, c.backgroundBottom});
        for (auto [x, y, want] : probes) {
            EXPECT_TRUE(looksLike(s.pixel(x, y), want)) << x << "," << y << " at " << w;
        }
        const bool snapOn = s.object().curveSnap();
        s.click(snap);
        s.click(panel.bandTab(3));
        EXPECT_NE(s.object().curveSnap(), snapOn) << w;
        EXPECT_EQ(s.object().curveBand(), 2) << w;
        // Idle: two seconds of ticks paint nothing; host automation paints once.
        const uint64_t full = s.window().frames();
        for (int tick = 0; tick < 60; ++tick)
            s.tick();
        EXPECT_EQ(s.window().frames(), full);
        s.object().guiSetParam(kParamMix, 0.25);
        s.tick();
        EXPECT_EQ(s.window().frames(), full + 1);
    }
}

} // namespace
} // namespace norvale::guitest
