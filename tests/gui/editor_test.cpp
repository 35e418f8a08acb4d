// The editor window through the real plug-in under a virtual X server:
// embedding and teardown, the clock, gestures, input that must not destroy
// drawings, drawing that must reach the sound, typed text, sizes, pixels and
// the idle frame count.
#include <gtest/gtest.h>

#include <dirent.h>

#include "dsp/curve_set.h"
#include "gui/text_edit.h"
#include "tests/gui/x_session.h"

namespace norvale::guitest {
namespace {

using plugincore::Rect;

double cx(const Rect& r) {
    return r.x + r.width / 2;
}
double cy(const Rect& r) {
    return r.y + r.height / 2;
}

int openFds() {
    int n = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr)
        ++n;
    closedir(dir);
    return n;
}

int rootChildren(Display* dpy) {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n);
    if (children != nullptr) XFree(children);
    return static_cast<int>(n);
}

// ---- embedding, teardown and the clock ----

TEST(EditorWindow, IsAChildOfTheHostWindowAtTheSizeItReports) {
    GuiHost host;
    Session s(host);
    ASSERT_TRUE(s.open());
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(s.dpy, s.window().windowId(), &root, &parent, &children, &n);
    if (children != nullptr) XFree(children);
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(s.gui->get_size(s.plugin, &w, &h));
    XWindowAttributes a;
    XGetWindowAttributes(s.dpy, s.window().windowId(), &a);
    EXPECT_EQ(parent, s.parent);
    EXPECT_EQ(static_cast<uint32_t>(a.width), w);
    EXPECT_EQ(static_cast<uint32_t>(a.height), h);
    EXPECT_EQ(a.map_state, IsViewable);
}

TEST(EditorWindow, OutlivesItsParentQuietly) {
    for (bool tickBetween : {true, false}) {
        testing::internal::CaptureStderr();
        {
            GuiHost host;
            Session s(host);
            ASSERT_TRUE(s.open());
            XDestroyWindow(s.dpy, s.parent);
            s.parent = 0;
            XSync(s.dpy, False);
            if (tickBetween) s.settle();
            uint32_t w, h;
            s.gui->get_size(s.plugin, &w, &h);
            s.gui->set_scale(s.plugin, 2.0);
            s.gui->hide(s.plugin);
            s.gui->destroy(s.plugin);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << tickBetween;
    }
}

TEST(EditorWindow, HundredOpenCloseCyclesLeaveNothingBehind) {
    GuiHost host;
    Session s(host);
    ASSERT_TRUE(s.open());
    s.gui->destroy(s.plugin);
    const int fds = openFds(), windows = rootChildren(s.dpy);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(s.open());
        s.gui->destroy(s.plugin);
    }
    EXPECT_EQ(openFds(), fds);
    EXPECT_EQ(rootChildren(s.dpy), windows);
    EXPECT_TRUE(host.timers.empty());
}

TEST(EditorClock, RunsOnWhatTheHostOffers) {
    struct Case {
        bool timers, fds;
        bool supported;
        size_t timersHeld, fdsHeld;
    };
    for (const Case c : {Case{true, false, true, 1, 0}, Case{false, true, true, 0, 2},
                         Case{true, true, true, 1, 0}, Case{false, false, false, 0, 0}}) {
        GuiHost host;
        host.offerTimers = c.timers;
        host.offerFds = c.fds;
        Session s(host);
        EXPECT_EQ(s.gui->is_api_supported(s.plugin, CLAP_WINDOW_API_X11, false), c.supported);
        EXPECT_EQ(s.gui->create(s.plugin, CLAP_WINDOW_API_X11, false), c.supported);
        EXPECT_EQ(host.timers.size(), c.timersHeld);
        EXPECT_EQ(host.fds.size(), c.fdsHeld);
        if (c.fdsHeld > 0) {
            // The timer descriptor fires within a tick and paints the first frame.
            usleep(40000);
            auto* fd = static_cast<const clap_plugin_posix_fd_support*>(
                s.plugin->get_extension(s.plugin, CLAP_EXT_POSIX_FD_SUPPORT));
            for (int f : host.fds)
                fd->on_fd(s.plugin, f, CLAP_POSIX_FD_READ);
            EXPECT_GT(s.window().fullPaints(), 0u);
        }
        s.gui->destroy(s.plugin);
        EXPECT_TRUE(host.timers.empty() && host.fds.empty());
    }
    GuiHost host;
    Session s(host);
    for (auto [api, floating] : {std::pair<const char*, bool>{nullptr, false},
                                 {CLAP_WINDOW_API_X11, true},
                                 {CLAP_WINDOW_API_WIN32, false}})
        EXPECT_FALSE(s.gui->is_api_supported(s.plugin, api, floating) ||
                     s.gui->create(s.plugin, api, floating));
}

// ---- gestures ----

TEST(EditorGestures, EveryBeginHasOneEnd) {
    enum End { kHide, kDestroy, kLostRelease, kWindowManagerClose };
    for (bool knob : {false, true})
        for (End end : {kHide, kDestroy, kLostRelease, kWindowManagerClose}) {
            GuiHost host;
            Session s(host);
            s.object().guiSetParam(kParamVolTrigger, 1); // MIDI, once: the End marker shows
            s.object().guiSetParam(kParamVolLoop, 0);
            s.object().curveChainAdd(kVol);
            ASSERT_TRUE(s.open());
            CurvePanel& panel = s.window().curvePanel();
            const Rect graph = panel.graph();
            if (knob)
                s.move(cx(s.window().rack().controlRect(kParamMix)),
                       cy(s.window().rack().controlRect(kParamMix)));
            else
                s.move(panel.xOf(s.object().curveEnd(kVol)), cy(graph));
            s.button(1, true);
            ASSERT_EQ(s.drainGestures().begins, 1) << knob << end;
            XEvent event{};
            if (end == kHide) s.gui->hide(s.plugin);
            if (end == kDestroy) s.gui->destroy(s.plugin);
            if (end == kLostRelease) { // a motion without a button held
                event.type = MotionNotify;
                event.xmotion.window = s.window().windowId();
                event.xmotion.x = event.xmotion.y = 300;
            }
            if (end == kWindowManagerClose) {
                event.type = ClientMessage;
                event.xclient.window = s.window().windowId();
                event.xclient.message_type = XInternAtom(s.dpy, "WM_PROTOCOLS", False);
                event.xclient.format = 32;
                event.xclient.data.l[0] =
                    static_cast<long>(XInternAtom(s.dpy, "WM_DELETE_WINDOW", False));
            }
            if (event.type != 0) {
                XSendEvent(s.dpy, s.window().windowId(), False, 0, &event);
                s.settle();
            }
            const Session::Gestures g = s.drainGestures();
            EXPECT_EQ(g.ends, g.begins) << knob << end;
            s.button(1, false);
            EXPECT_EQ(s.drainGestures().ends, g.begins) << knob << end;
        }
}

// ---- input that must not destroy drawings ----

std::string soundOf(const NorvalePlugin& p) {
    std::string all = formatChain(p.curveSet);
    for (const auto& module : p.curveSet.curves)
        for (const Curve& c : module)
            all += "|" + c.format();
    for (uint32_t id = 0; id < kParamCount; ++id)
        all += " " + std::to_string(p.paramValue(id));
    return all;
}

TEST(EditorInput, TheWheelOverTabsAndButtonsChangesNothing) {
    GuiHost host;
    Session s(host);
    for (int m : {kVol, kFlt, kDrv})
        s.object().curveChainAdd(m);
    ASSERT_TRUE(s.open());
    CurvePanel& panel = s.window().curvePanel();
    std::vector<Rect> targets = {panel.addTab(3), panel.snapButton(), panel.stepButton(),
                                 panel.shapeButton()};
    for (int i = 0; i < 3; ++i) {
        const Rect tab = panel.effectTab(i);
        for (double x : {tab.x + 4, cx(tab), tab.x + tab.width - 4})
            targets.push_back({x, tab.y, 1, tab.height});
    }
    for (int j = 0; j < 4; ++j)
        targets.push_back(panel.bandTab(j));
    const std::string before = soundOf(s.object());
    const bool snap = s.object().curveSnap(), step = s.object().curveStepMode();
    for (const Rect& r : targets)
        for (int wheel : {4, 5, 6, 7})
            s.click(cx(r), cy(r), wheel);
    for (int item = 0; item < kShapeCount; ++item) {
        s.click(cx(panel.shapeButton()), cy(panel.shapeButton()));
        s.click(cx(panel.shapeItem(item)), cy(panel.shapeItem(item)), 4 + item % 4);
    }
    EXPECT_EQ(soundOf(s.object()), before);
    EXPECT_EQ(s.object().curveSnap(), snap);
    EXPECT_EQ(s.object().curveStepMode(), step);
}

TEST(EditorInput, APointDraggedAcrossItsNeighbourEndsUnderThePointer) {
    GuiHost host;
    Session s(host);
    NorvalePlugin& p = s.object();
    p.curveChainAdd(kVol);
    p.curveSelectBand(1);
    p.curveToggleSnap(); // off: the point lands exactly under the pointer
    p.curveSetFlat(kVol, 1, 0.5f);
    p.curveAddPoint(kVol, 1, 0.25f, 0.2f, 0);
    p.curveAddPoint(kVol, 1, 0.5f, 0.8f, 0);
    ASSERT_TRUE(s.open());
    CurvePanel& panel = s.window().curvePanel();
    s.move(panel.xOf(0.25), panel.yOf(0.2));
    s.button(1, true);
    s.move(panel.xOf(0.75), panel.yOf(0.3));
    s.move(panel.xOf(0.375), panel.yOf(0.3));
    s.button(1, false);
    const Curve& c = p.curveAt(kVol, 1);
    ASSERT_EQ(c.count, 4);
    EXPECT_NEAR(c.points[1].x, 0.375, 0.002);
    EXPECT_NEAR(c.points[1].y, 0.3, 0.005);
    EXPECT_EQ(c.points[2].x, 0.5f);
    EXPECT_EQ(c.points[2].y, 0.8f);
}

// ---- drawing reaches the sound ----

double renderedLevel(Session& s) {
    claphost::InputEvents in;
    claphost::OutputEvents out;
    std::vector<float> l(1024), r(1024), ol(1024), orr(1024);
    float* inputs[2] = {l.data(), r.data()};
    float* outputs[2] = {ol.data(), orr.data()};
    clap_audio_buffer inBuffers[2] = {{inputs, nullptr, 2, 0, 0}, {inputs, nullptr, 2, 0, 0}};
    clap_audio_buffer outBuffer = {outputs, nullptr, 2, 0, 0};
    clap_process process = {-1, 1024, nullptr, inBuffers, &outBuffer, 2, 1, in.list(), out.list()};
    double sum = 0;
    for (int block = 0; block < 94; ++block) {
        for (size_t i = 0; i < l.size(); ++i)
            l[i] = r[i] = 0.5f * std::sin(0.13f * static_cast<float>(block * 1024 + i));
        s.plugin->process(s.plugin, &process);
        for (float v : ol)
            sum += v * v;
    }
    return std::sqrt(sum / (94 * 1024));
}

TEST(EditorDrawing, ADragOnTheGraphChangesTheCurveAndTheSound) {
    GuiHost host;
    Session s(host);
    s.object().curveChainAdd(kVol);
    ASSERT_TRUE(s.open());
    const double before = renderedLevel(s);
    const Curve flat = s.object().curveAt(kVol, s.object().curveBand());
    const CurvePanel& panel = s.window().curvePanel();
    s.drag(panel.xOf(0.3), panel.yOf(0.9), panel.xOf(0.5), panel.yOf(0.0));
    const Curve& drawn = s.object().curveAt(kVol, s.object().curveBand());
    EXPECT_NE(drawn.format(), flat.format());
    EXPECT_LT(drawn.valueAt(0.5f), 0.05f);
    EXPECT_LT(renderedLevel(s), 0.9 * before);
}

// ---- text ----

TEST(EditorText, NonAsciiTypingStaysValidAndPaintingGoesOn) {
    GuiHost host;
    Session s(host);
    ASSERT_TRUE(s.open());
    PresetBar& bar = s.window().rack().presetBar();
    s.click(cx(bar.zoneRect(kZoneSave)), cy(bar.zoneRect(kZoneSave)));
    ASSERT_TRUE(bar.saveOpen());
    const std::string start = bar.saveName();
    for (KeySym key : {KeySym{0xe9}, KeySym{0x1004e2d}, KeySym{0x101f3b5}}) {
        const uint64_t paints = s.window().fullPaints();
        s.type(key);
        EXPECT_GT(s.window().fullPaints(), paints);
    }
    EXPECT_EQ(bar.saveName(), start + "\xc3\xa9\xe4\xb8\xad\xf0\x9f\x8e\xb5");
    EXPECT_EQ(plugincore::validUtf8(bar.saveName()), bar.saveName());
}

// ---- sizes ----

TEST(EditorSize, AdjustKeepsAspectAndLimitsAndSetSizeAnswersWhatTook) {
    GuiHost host;
    Session s(host);
    ASSERT_TRUE(s.open());
    struct Case {
        uint32_t w, h, fitW, fitH;
    };
    for (const Case c : {Case{100, 100, 716, 432}, Case{2864, 1728, 2864, 1728},
                         Case{3000, 1000, 1657, 1000}, Case{9000, 9000, 5728, 3456}}) {
        uint32_t w = c.w, h = c.h;
        ASSERT_TRUE(s.gui->adjust_size(s.plugin, &w, &h));
        EXPECT_EQ(w, c.fitW);
        EXPECT_EQ(h, c.fitH);
        const bool fits = w == c.w && h == c.h;
        EXPECT_EQ(s.gui->set_size(s.plugin, c.w, c.h), fits) << c.w << "x" << c.h;
        s.gui->set_size(s.plugin, w, h);
        XSync(s.dpy, False);
        XWindowAttributes a;
        XGetWindowAttributes(s.dpy, s.window().windowId(), &a);
        uint32_t gw, gh;
        s.gui->get_size(s.plugin, &gw, &gh);
        EXPECT_EQ(gw, std::min(w, 2900u) == w ? w : gw);
        EXPECT_EQ(static_cast<uint32_t>(a.width), gw);
        EXPECT_EQ(static_cast<uint32_t>(a.height), gh);
    }
    EXPECT_FALSE(s.gui->set_scale(s.plugin, 0.4));
    EXPECT_FALSE(s.gui->set_scale(s.plugin, 5.0));
}

TEST(EditorSize, ClicksAtScaleTwoHitWhatHalfTheCoordinatesHitAtOne) {
    for (double scale : {1.0, 2.0}) {
        GuiHost host;
        Session s(host);
        s.object().curveChainAdd(kVol);
        ASSERT_TRUE(s.open(scale));
        CurvePanel& panel = s.window().curvePanel();
        const bool snap = s.object().curveSnap();
        s.click(cx(panel.snapButton()), cy(panel.snapButton()));
        s.click(cx(panel.bandTab(3)), cy(panel.bandTab(3)));
        EXPECT_NE(s.object().curveSnap(), snap) << scale;
        EXPECT_EQ(s.object().curveBand(), 2) << scale;
        EXPECT_FALSE(s.object().curveEditAllBands()) << scale;
    }
}

// ---- pixels and idle ----

TEST(EditorPixels, ProbesMatchTheGeometry) {
    for (double scale : {1.0, 2.0}) {
        GuiHost host;
        Session s(host);
        NorvalePlugin& p = s.object();
        p.curveChainAdd(kVol);
        p.curveSelectBand(1);
        p.curveSetFlat(kVol, 1, 0.5f);
        ASSERT_TRUE(s.open(scale));
        const CurvePanel& panel = s.window().curvePanel();
        const plugincore::Palette& colours = kWindowSpec.palette;
        const Rect b = panel.bounds;
        struct Probe {
            double x, y;
            uint32_t expected;
        };
        for (const Probe& probe :
             {Probe{b.x + 20, b.y + b.height - 8, rgb(colours.panelFill)},
              Probe{panel.xOf(0.3), panel.yOf(0.5), rgb(colours.accent)},
              Probe{panel.xOf(0.7), panel.yOf(0.5), rgb(colours.accent)},
              Probe{cx(panel.snapButton()) - 20, panel.snapButton().y + 2,
                    rgb({colours.panelFill.r * 0.78 + colours.accent.r * 0.22,
                         colours.panelFill.g * 0.78 + colours.accent.g * 0.22,
                         colours.panelFill.b * 0.78 + colours.accent.b * 0.22})}}) {
            const uint32_t seen = s.pixel(probe.x, probe.y);
            EXPECT_LE(colourDistance(seen, probe.expected), 4)
                << std::hex << seen << " at " << probe.x << "," << probe.y << " scale " << scale;
            if (colourDistance(seen, probe.expected) > 4) s.savePng("editor_pixels_failure.png");
        }
    }
}

TEST(EditorIdle, NothingIsPaintedWhileNothingChanges) {
    GuiHost host;
    Session s(host);
    ASSERT_TRUE(s.open());
    const uint64_t full = s.window().fullPaints(), scope = s.window().scopePaints();
    EXPECT_GT(full, 0u);
    for (int tick = 0; tick < 60; ++tick)
        s.tick(); // two seconds of ticks, no audio running
    EXPECT_EQ(s.window().fullPaints(), full);
    EXPECT_EQ(s.window().scopePaints(), scope);
    s.object().guiSetParam(kParamMix, 0.25); // as host automation would
    s.tick();
    EXPECT_EQ(s.window().fullPaints(), full + 1);
}

} // namespace
} // namespace norvale::guitest
