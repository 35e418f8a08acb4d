// The editor window through the real plug-in under a virtual X server.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>

#include "dsp/curve_set.h"
#include "gui/text_edit.h"
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

TEST(EditorClock, RunsOnWhatTheHostOffers) {
    for (auto [timers, fds] :
         {std::pair{true, false}, {false, true}, {true, true}, {false, false}}) {
        Session s(timers, fds);
        const bool supported = timers || fds;
        EXPECT_EQ(s.gui->is_api_supported(s.plugin, CLAP_WINDOW_API_X11, false), supported);
        EXPECT_EQ(s.gui->create(s.plugin, CLAP_WINDOW_API_X11, false), supported);
        EXPECT_EQ(s.host.timers.size(), timers ? 1u : 0u); // timers first, else timer and X fds
        EXPECT_EQ(s.host.fds.size(), !timers && fds ? 2u : 0u);
        usleep(40000); // the timer descriptor fires within a tick
        for (clap_id id : s.host.timers)
            s.ext<clap_plugin_timer_support>(CLAP_EXT_TIMER_SUPPORT)->on_timer(s.plugin, id);
        for (int f : s.host.fds)
            s.ext<clap_plugin_posix_fd_support>(CLAP_EXT_POSIX_FD_SUPPORT)->on_fd(s.plugin, f, 1);
        EXPECT_EQ(supported ? s.window().frames() : 1u, 1u); // the first frame
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

std::string soundOf(const NorvalePlugin& p) {
    std::string all = formatChain(p.curveSet);
    for (const auto& module : p.curveSet.curves)
        for (const Curve& c : module)
            all += "|" + c.format();
    for (uint32_t id = 0; id < kParamCount; ++id)
        all += " " + std::to_string(p.paramValue(id));
    return all + std::to_string(p.curveSnap()) + std::to_string(p.curveStepMode());
}

TEST(EditorInput, TheWheelOverTabsAndButtonsChangesNothing) {
    Session s;
    for (int m : {kVol, kFlt, kDrv})
        s.object().curveChainAdd(m);
    ASSERT_TRUE(s.open());
    const CurvePanel& panel = s.window().curvePanel();
    const std::string before = soundOf(s.object());
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

double renderedLevel(Session& s) { // RMS of a second of a sine
    claphost::AudioBlock block(48000);
    block.fillInput([](uint32_t i, int) { return 0.5f * std::sin(0.13f * static_cast<float>(i)); });
    block.run(s.plugin);
    return claphost::rms(block.outL, 0, 48000);
}

TEST(EditorDrawing, ADragOnTheGraphChangesTheCurveAndTheSound) {
    Session s;
    ASSERT_TRUE(s.open());
    const double before = renderedLevel(s);
    const CurvePanel& panel = s.window().curvePanel();
    s.drag(panel.xOf(0.3), panel.yOf(0.9), panel.xOf(0.5), panel.yOf(0.0));
    EXPECT_LT(s.object().curveAt(kVol, s.object().curveBand()).valueAt(0.5f), 0.05f);
    EXPECT_LT(renderedLevel(s), 0.9 * before);
}

TEST(EditorText, NonAsciiTypingStaysValidAndPaintingGoesOn) {
    Session s;
    ASSERT_TRUE(s.open());
    PresetBar& bar = s.window().rack().presetBar();
    s.click(bar.zoneRect(kZoneSave));
    for (KeySym key : {KeySym{0xe9}, KeySym{0x1004e2d}, KeySym{0x101f3b5}}) {
        const uint64_t paints = s.window().frames();
        s.type(key);
        EXPECT_GT(s.window().frames(), paints);
    }
    EXPECT_TRUE(bar.saveName().ends_with("\xc3\xa9\xe4\xb8\xad\xf0\x9f\x8e\xb5")); // é中🎵
    EXPECT_EQ(plugincore::validUtf8(bar.saveName()), bar.saveName());
}

TEST(EditorSize, AChildOfTheHostWindowAtTheSizeItAnswers) {
    Session s;
    ASSERT_TRUE(s.open());
    XWindowAttributes a;
    EXPECT_EQ(treeOf(s.dpy, s.window().windowId()).first, s.parent);
    XGetWindowAttributes(s.dpy, s.window().windowId(), &a);
    EXPECT_EQ(a.map_state, IsViewable);
    for (auto [askW, askH, fitW, fitH] : {std::array<uint32_t, 4>{100, 100, 716, 432},
                                          {2864, 1728, 2864, 1728},
                                          {3000, 1000, 1657, 1000},
                                          {9000, 9000, 5728, 3456}}) {
        uint32_t w = askW, h = askH;
        ASSERT_TRUE(s.gui->adjust_size(s.plugin, &w, &h));
        EXPECT_EQ(std::pair(w, h), std::pair(fitW, fitH));
        EXPECT_EQ(s.gui->set_size(s.plugin, askW, askH), w == askW && h == askH);
        EXPECT_TRUE(s.gui->set_size(s.plugin, w, h));
        s.gui->get_size(s.plugin, &w, &h);
        EXPECT_EQ(std::pair(w, h), std::pair(fitW, fitH));
        XGetWindowAttributes(s.dpy, s.window().windowId(), &a);
        EXPECT_EQ(std::pair(a.width, a.height), std::pair(int(w), int(h)));
    }
    for (double bad : {0.4, 5.0})
        EXPECT_FALSE(s.gui->set_scale(s.plugin, bad));
    // A host that sizes our window itself is followed.
    XResizeWindow(s.dpy, s.window().windowId(), 2148, 1296);
    s.settle();
    EXPECT_EQ(s.window().scale(), 1.5);
}

// Pixels from the geometry; scale 2 clicks hit half-coordinate targets; idle paints nothing.
TEST(EditorFrame, ProbesClicksAndIdleAtEveryScale) {
    for (double scale : {1.0, 2.0}) {
        Session s;
        s.object().curveSelectBand(1);
        s.object().curveSetFlat(kVol, 1, 0.5f);
        ASSERT_TRUE(s.open(scale));
        const CurvePanel& panel = s.window().curvePanel();
        const plugincore::Palette& c = kWindowSpec.palette;
        const Rect b = panel.bounds, snap = panel.snapButton();
        const plugincore::Rgb tint{c.panelFill.r * 0.78 + c.accent.r * 0.22,
                                   c.panelFill.g * 0.78 + c.accent.g * 0.22,
                                   c.panelFill.b * 0.78 + c.accent.b * 0.22};
        for (auto [x, y, want] : {std::tuple{b.x + 20, b.y + b.height - 8, c.panelFill},
                                  {panel.xOf(0.3), panel.yOf(0.5), c.accent},
                                  {snap.x + 4, snap.y + 2, tint}}) {
            const uint32_t seen = s.pixel(x, y);
            EXPECT_NEAR(seen >> 16 & 255, want.r * 255, 4) << x << "," << y << " at " << scale;
            EXPECT_NEAR(seen >> 8 & 255, want.g * 255, 4) << x << "," << y << " at " << scale;
            EXPECT_NEAR(seen & 255, want.b * 255, 4) << x << "," << y << " at " << scale;
        }
        const bool snapOn = s.object().curveSnap();
        s.click(snap);
        s.click(panel.bandTab(3));
        EXPECT_NE(s.object().curveSnap(), snapOn) << scale;
        EXPECT_EQ(s.object().curveBand(), 2) << scale;
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
