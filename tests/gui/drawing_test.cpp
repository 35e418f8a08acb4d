// Drawing as producers expect, through the real window: undo and redo of
// every kind of step, copy and paste over the X clipboard, the grid, and
// values in the stage's own units.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <numeric>
#include <random>

#include "gui/curve_transforms.h"
#include "tests/gui/x_session.h"
#include "tests/presets/test_files.h"

namespace norvale::guitest {
namespace {

using plugincore::Rect;

// Keys go to the window under the pointer, whatever focus an earlier editor
// took and lost.
void focusFollowsPointer(Session& s) {
    XSetInputFocus(s.dpy, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(s.dpy, False);
}

// A key with Control (and Shift) held, as XTest types it.
void chord(Session& s, KeySym key, bool shift = false) {
    const KeyCode control = XKeysymToKeycode(s.dpy, XK_Control_L);
    const KeyCode shiftKey = XKeysymToKeycode(s.dpy, XK_Shift_L);
    XTestFakeKeyEvent(s.dpy, control, True, CurrentTime);
    if (shift) XTestFakeKeyEvent(s.dpy, shiftKey, True, CurrentTime);
    s.type(key);
    if (shift) XTestFakeKeyEvent(s.dpy, shiftKey, False, CurrentTime);
    XTestFakeKeyEvent(s.dpy, control, False, CurrentTime);
    s.settle(1);
}

// Two hundred edits of every kind through the window, undone to the start and
// redone to the end, across a closed and reopened editor; one step each.
TEST(EditorUndo, ARandomWalkUndoneAndRedoneByteForByte) {
    presets_test::TempDir config;
    presets_test::ScopedEnv xdg("XDG_CONFIG_HOME", config.path());
    Session s;
    s.object().curveChainAdd(kFlt);
    s.object().clearUndo();
    ASSERT_TRUE(s.open());
    focusFollowsPointer(s);
    const CurvePanel& panel = s.window().curvePanel();
    const std::string start = soundOf(s.object());
    std::mt19937 random(18);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution(a, b)(random); };
    const uint32_t knobs[] = {kParamMix, kParamVolTrim, kParamOutput, kParamVolSmooth};
    int changes = 0, lastKnob = -1;
    for (int edit = 0; edit < 200; ++edit) {
        const std::string before = soundOf(s.object());
        const Curve& c = s.object().curveAt(s.object().curveModule(), s.object().curveBand());
        const int point = std::uniform_int_distribution(0, c.count - 1)(random);
        const double px = panel.xOf(c.points[point].x), py = panel.yOf(c.points[point].y);
        switch (std::uniform_int_distribution(0, 6)(random)) {
        case 0: s.click(panel.xOf(uniform(0.05, 0.95)), panel.yOf(uniform(0, 1))); break;
        case 1: s.drag(px, py, panel.xOf(uniform(0, 1)), panel.yOf(uniform(0, 1))); break;
        case 2: s.click(px, py, 3); break;
        case 3: { // a knob's wheel, never the same knob twice running (notches would join)
            int knob = std::uniform_int_distribution(0, 3)(random);
            knob = knob == lastKnob ? (knob + 1) % 4 : knob;
            lastKnob = knob;
            s.click(s.window().rack().controlRect(knobs[knob]), edit % 2 ? 4 : 5);
            break;
        }
        case 4: s.click(panel.bandTab(std::uniform_int_distribution(0, 3)(random))); break;
        case 5: s.click(panel.effectTab(edit % 2).x + 8, panel.effectTab(0).y + 10); break;
        default:
            s.click(panel.shapeButton());
            s.click(panel.shapeItem(std::uniform_int_distribution(1, kShapeCount - 1)(random)));
        }
        if (edit % 3 == 0) s.move(panel.xOf(0.5), panel.bounds.y + 2); // no double-clicks
        changes += soundOf(s.object()) != before;
    }
    const std::string end = soundOf(s.object());
    s.gui->destroy(s.plugin);
    ASSERT_TRUE(s.open()); // a new window: the history lives on in the plug-in
    s.move(s.window().curvePanel().xOf(0.5), s.window().curvePanel().bounds.y + 2);
    int undone = 0, redone = 0;
    for (; !s.object().curveUndoLabel(false).empty() && undone < 400; ++undone)
        chord(s, XK_z);
    EXPECT_EQ(soundOf(s.object()), start);
    for (; !s.object().curveUndoLabel(true).empty() && redone < 400; ++redone)
        chord(s, redone % 2 ? XK_y : XK_z, redone % 2 == 0);
    EXPECT_EQ(soundOf(s.object()), end);
    EXPECT_EQ(undone, changes);
    EXPECT_EQ(redone, changes);
    EXPECT_GT(changes, 120);
}

// The host hears an undone parameter as any edit; Escape puts a dragged
// curve back and leaves no step; a host state load clears the history.
TEST(EditorUndo, TellsTheHostCancelsADragAndEndsWithAStateLoad) {
    Session s;
    s.object().clearUndo();
    ASSERT_TRUE(s.open());
    focusFollowsPointer(s);
    const CurvePanel& panel = s.window().curvePanel();
    const double mix = s.object().paramValue(kParamMix);
    s.click(s.window().rack().controlRect(kParamMix), 5);
    s.drainGestures();
    chord(s, XK_z);
    claphost::InputEvents in;
    claphost::OutputEvents out;
    s.ext<clap_plugin_params>(CLAP_EXT_PARAMS)->flush(s.plugin, in.list(), out.outList());
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(std::tuple(out.header(0).type, out.header(2).type),
              std::tuple(CLAP_EVENT_PARAM_GESTURE_BEGIN, CLAP_EVENT_PARAM_GESTURE_END));
    const auto& value = out.as<clap_event_param_value>(1);
    EXPECT_EQ(std::pair(value.param_id, value.value), std::pair(uint32_t{kParamMix}, mix));

    const std::string before = soundOf(s.object());
    s.move(panel.xOf(0.3), panel.yOf(0.2));
    s.button(1, true);
    s.move(panel.xOf(0.6), panel.yOf(0.7));
    ASSERT_NE(soundOf(s.object()), before);
    s.type(XK_Escape);
    EXPECT_EQ(soundOf(s.object()), before);
    s.button(1, false);
    EXPECT_EQ(soundOf(s.object()), before);
    EXPECT_EQ(s.object().curveUndoLabel(false), "");
    EXPECT_EQ(s.object().curveUndoLabel(true), "change value");

    s.click(panel.xOf(0.4), panel.yOf(0.4));
    ASSERT_EQ(s.object().curveUndoLabel(false), "add point");
    claphost::MemoryOut saved;
    ASSERT_TRUE(s.ext<clap_plugin_state>(CLAP_EXT_STATE)->save(s.plugin, saved.stream()));
    claphost::MemoryIn load(saved.bytes);
    ASSERT_TRUE(s.ext<clap_plugin_state>(CLAP_EXT_STATE)->load(s.plugin, load.stream()));
    EXPECT_EQ(s.object().curveUndoLabel(false), "");
    chord(s, XK_z);
    EXPECT_NE(s.object().curveAt(kVol, s.object().curveBand()).count, 2);
}

void menuPaste(Session& s) {
    s.click(s.window().curvePanel().xOf(0.5), s.window().curvePanel().yOf(0.9), 3);
    s.click(s.window().curvePanel().curveMenuItem(kCurveMenuPaste, s.object()));
}

// Copied in one instance, pasted in another through the CLIPBOARD selection: the same
// curve text, one step. Text that is no curve, by key or from the menu, changes nothing.
TEST(EditorClipboard, CurvesTravelBetweenInstancesAsCurveText) {
    Session a, b;
    a.object().curveSelectBand(0);
    a.object().curveSetFlat(kVol, 0, 0.3f);
    a.object().curveAddPoint(kVol, 0, 0.4f, 0.9f, 2);
    b.object().curveSelectBand(2);
    b.object().clearUndo();
    ASSERT_TRUE(a.open() && b.open());
    focusFollowsPointer(a);
    const Atom clipboard = XInternAtom(a.dpy, "CLIPBOARD", False);
    // The host windows lie on top of each other: the one typed into comes up.
    XRaiseWindow(a.dpy, a.parent);
    a.move(a.window().curvePanel().graph());
    chord(a, XK_c);
    EXPECT_EQ(XGetSelectionOwner(a.dpy, clipboard), a.window().windowId());
    XRaiseWindow(b.dpy, b.parent);
    menuPaste(b);
    for (int i = 0; i < 20 && b.object().curveAt(kVol, 2).count == 2; ++i)
        a.settle(1), b.settle(1);
    EXPECT_EQ(b.object().curveAt(kVol, 2).format(), a.object().curveAt(kVol, 0).format());
    EXPECT_EQ(b.object().curveAt(kVol, 1).format(), Curve().format());
    EXPECT_EQ(b.object().curveUndoLabel(false), "paste curve");

    // The test's own connection offers text that is no curve.
    XSetSelectionOwner(b.dpy, clipboard, b.parent, CurrentTime);
    const std::string pasted = soundOf(b.object());
    for (const bool byKey : {true, false}) {
        byKey ? chord(b, XK_v) : menuPaste(b);
        XEvent event{};
        for (int i = 0; i < 20 && !XCheckTypedEvent(b.dpy, SelectionRequest, &event); ++i)
            b.settle(1);
        const XSelectionRequestEvent& r = event.xselectionrequest;
        XChangeProperty(b.dpy, r.requestor, r.property, r.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>("hello"), 5);
        XEvent reply{};
        reply.xselection = {SelectionNotify, 0,        1,          b.dpy, r.requestor,
                            r.selection,     r.target, r.property, r.time};
        XSendEvent(b.dpy, r.requestor, False, 0, &reply);
        b.settle();
        EXPECT_EQ(soundOf(b.object()), pasted);
        EXPECT_EQ(b.window().curvePanel().hint(), "nothing pasted: line 1 is not a curve");
    }
}

// A right-click cycles a point's corner, elsewhere opens the curve menu (which Escape
// or a click beside closes); the menu copies the band shown to the others in one step.
TEST(EditorCurveMenu, OpensOffThePointsAndCopiesTheBandShownAcross) {
    Session s;
    NorvalePlugin& p = s.object();
    p.curveSelectBand(1);
    p.curveAddPoint(kVol, 1, 0.25f, 0.9f, 0);
    ASSERT_TRUE(s.open());
    focusFollowsPointer(s);
    const CurvePanel& panel = s.window().curvePanel();
    s.click(panel.xOf(0.25), panel.yOf(0.9), 3);
    EXPECT_TRUE(p.curveAt(kVol, 1).points[1].weight == 1 && !panel.menuOpen());
    const std::string before = soundOf(p), mid = p.curveAt(kVol, 1).format();
    for (const bool escape : {true, false}) {
        s.click(panel.xOf(0.6), panel.yOf(0.1), 3);
        EXPECT_TRUE(panel.menuOpen() && panel.curveMenuItem(kCurveMenuFromLow, p).width == 0);
        escape ? s.type(XK_Escape) : s.click(panel.xOf(0.05), panel.yOf(0.5));
        EXPECT_FALSE(panel.menuOpen());
    }
    s.click(panel.xOf(0.6), panel.yOf(0.1), 3);
    s.click(panel.curveMenuItem(kCurveMenuFromLow + 1, p));
    EXPECT_EQ(std::pair(p.curveAt(kVol, 0).format(), p.curveAt(kVol, 2).format()),
              std::pair(mid, mid));
    chord(s, XK_z);
    EXPECT_EQ(soundOf(p), before);
}

// The bytes inside a tab, its rim left out, dx pixels to the right.
std::vector<uint8_t> tabPixels(Session& s, const Rect& tab, int dx = 0) {
    const double k = s.window().scale();
    XImage* image =
        XGetImage(s.dpy, s.window().windowId(), int(tab.x * k) + dx + 3, int(tab.y * k) + 3,
                  unsigned(tab.width * k - 6), unsigned(tab.height * k - 6), AllPlanes, ZPixmap);
    std::vector<uint8_t> bytes(image->data, image->data + image->bytes_per_line * image->height);
    XDestroyImage(image);
    return bytes;
}

// A dragged tab looks as at rest (within rounding) wherever it passes, at every zoom:
// no label beneath shows through. The others make room where it lands.
TEST(EditorTabs, ADraggedTabCoversWhatItPassesAndTheOthersMakeRoom) {
    auto alike = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        return std::equal(a.begin(), a.end(), b.begin(),
                          [](int x, int y) { return std::abs(x - y) <= 8; });
    };
    for (const double scale : {0.75, 1.0, 2.0}) {
        Session s;
        for (int module : {kFlt, kDrv, kTim})
            s.object().curveChainAdd(module);
        ASSERT_TRUE(s.open(scale));
        const Rect first = s.window().curvePanel().effectTab(0);
        const int grab = static_cast<int>((first.x + 46) * scale); // travel in whole pixels
        auto moveTo = [&](int pixel) { s.move((pixel + 0.5) / scale, first.y + 10, 3); };
        moveTo(grab), s.button(1, true), s.settle(); // pressed, so selected as it will be
        const auto atRest = tabPixels(s, first), drive = tabPixels(s, first, int(89 * scale) * 2);
        for (const double design : {25.0, 50.0, 130.0, 220.0}) {
            moveTo(grab + int(design * scale));
            EXPECT_TRUE(alike(tabPixels(s, first, int(design * scale)), atRest)) << scale;
        }
        EXPECT_TRUE(std::fmod(89 * scale, 1) > 0 || alike(tabPixels(s, first, 89 * scale), drive));
        s.button(1, false);
        EXPECT_EQ(formatChain(s.object().curveSet), "flt drv vol tim");
    }
}

// The grid's cells and snap positions, remembered for the next editor.
TEST(EditorGrid, StepAndSnapFollowTheGridChoiceAndItIsRemembered) {
    presets_test::TempDir config;
    presets_test::ScopedEnv xdg("XDG_CONFIG_HOME", config.path());
    Session s;
    ASSERT_TRUE(s.open());
    const CurvePanel& panel = s.window().curvePanel();
    const int band = s.object().curveBand();
    for (const auto& [name, cells, snapped] : {std::tuple{"1/8", 8, 0.375},
                                               {"1/12", 12, 0.4166},
                                               {"1/32", 32, 0.40625},
                                               {"off", 16, 0.41}}) {
        s.click(panel.gridButton());
        s.click(panel.gridItem(gridFromName(name)));
        s.click(panel.stepButton());
        EXPECT_EQ(s.object().curveAt(kVol, band).count, 2 * cells) << name;
        s.click(panel.stepButton());
        s.object().curveSetFlat(kVol, band, 0.5f);
        s.click(panel.xOf(0.41), panel.yOf(0.7));
        EXPECT_NEAR(s.object().curveAt(kVol, band).points[1].x, snapped, 0.002) << name;
    }
    s.gui->destroy(s.plugin);
    ASSERT_TRUE(s.open());
    EXPECT_STREQ(kGridNames[s.window().curvePanel().grid()], "off");
}

// Readouts and axes in the stage's unit, through the parameter texts.
TEST(EditorUnits, ValuesAndPositionsReadInTheStagesOwnUnits) {
    Session s;
    NorvalePlugin& p = s.object();
    p.guiSetParam(kParamFltCutoff, plugincore::realToParam(kParams[kParamFltCutoff], 4000));
    p.guiSetParam(kParamFltDepth, 4);
    p.guiSetParam(kParamTimRange, plugincore::realToParam(kParams[kParamTimRange], 400));
    p.guiSetParam(kParamDrvDrive, 0.5);
    p.guiSetParam(kParamWidRate, 6); // 2 Bars
    p.guiSetParam(kParamPanTrigger, 1);
    const auto value = curveValueText, position = curvePositionText;
    for (const auto& [unit, module, at, text] : {std::tuple{value, kFlt, 1.0, "4.00 kHz"},
                                                 {value, kFlt, 0.5, "1.00 kHz"},
                                                 {value, kFlt, 0.0, "250 Hz"},
                                                 {value, kVol, 0.5, "-12.04 dB"},
                                                 {value, kVol, 0.0, "-inf dB"},
                                                 {value, kTim, 0.25, "300 ms"},
                                                 {value, kTim, 1.0, "0 ms"},
                                                 {value, kDrv, 0.5, "25.0 %"},
                                                 {value, kPan, 0.2, "L 60.0 %"},
                                                 {value, kPan, 0.5, "C"},
                                                 {value, kWid, 0.75, "150.0 %"},
                                                 {position, kVol, 0.5, "0.5 beat"},
                                                 {position, kVol, 1.0, "1 beat"},
                                                 {position, kWid, 0.5, "1 bar"},
                                                 {position, kWid, 1.0, "2 bars"},
                                                 {position, kPan, 0.25, "0.25 cycle"},
                                                 {position, kVol, 0.0, "0"}})
        EXPECT_EQ(unit(p, module, at), text) << (unit == value) << " " << module << " " << at;
}

// Every transform of random curves, whole or of random selections, leaves a
// curve in order and in range; the ones that undo themselves do.
TEST(CurveTransforms, KeepPointsOrderedAndInRange) {
    std::mt19937 random(18);
    auto uniform = [&](float a, float b) { return std::uniform_real_distribution(a, b)(random); };
    for (int round = 0; round < 300; ++round) {
        Curve c;
        c.setFlat(uniform(0, 1));
        for (int k = std::uniform_int_distribution(0, 40)(random); k > 0; --k)
            c.addPoint(uniform(0, 1), uniform(0, 1), static_cast<uint8_t>(k % 3));
        c.setBend(0, uniform(-1, 1));
        const uint64_t mask = round % 2 ? 0 : std::uniform_int_distribution<uint64_t>()(random);
        const double step = uniform(-0.5, 0.5);
        const Curve results[] = {movePoints(c, mask, step, uniform(-1, 1)), invertPoints(c, mask),
                                 mirrorPoints(c, mask), shiftCurve(c, step),
                                 scalePoints(c, mask, uniform(0, 3), uniform(-1, 1))};
        for (const Curve& r : results) {
            ASSERT_TRUE(r.count >= 2 && r.count <= kMaxCurvePoints) << c.format();
            EXPECT_EQ(r.points[0].x, 0.0f) << c.format();
            EXPECT_EQ(r.points[r.count - 1].x, 1.0f) << c.format();
            for (int i = 0; i < r.count; ++i) {
                EXPECT_TRUE(r.points[i].y >= 0 && r.points[i].y <= 1) << c.format();
                if (i > 0) {
                    EXPECT_LE(r.points[i - 1].x, r.points[i].x) << c.format();
                }
            }
        }
        auto same = [](const Curve& a, const Curve& b) {
            for (float t = 0; t <= 1; t += 0.005f)
                if (std::fabs(a.valueAt(t) - b.valueAt(t)) > 1e-5f) return false;
            return a.count == b.count;
        };
        EXPECT_TRUE(same(invertPoints(invertPoints(c, mask), mask), c)) << c.format();
        if (mask == 0) { // a whole curve turns upside down, or runs backwards, bends and all
            const Curve inverted = invertPoints(c, 0), mirrored = mirrorPoints(c, 0);
            for (float t = 0; t <= 1; t += 0.01f) {
                EXPECT_NEAR(inverted.valueAt(t), 1 - c.valueAt(t), 1e-4) << c.format() << t;
                EXPECT_NEAR(mirrored.valueAt(t), c.valueAt(1 - t), 1e-4) << c.format() << t;
            }
        }
        // Straight segments survive being cut at the wrap exactly.
        Curve straight = c;
        for (int i = 0; i < c.count; ++i)
            straight.points[i].weight = 0, straight.points[i].bend = 0;
        const Curve back = shiftCurve(shiftCurve(straight, step), -step);
        for (float t = 0.01f; t < 1; t += 0.07f)
            EXPECT_NEAR(back.valueAt(t), straight.valueAt(t), 1e-4) << c.format() << " at " << t;
    }
}

// A Shift-drag selects; the arrows move the selection by the grid together,
// Delete removes it; Ctrl+A takes every point.
TEST(EditorSelection, SelectedPointsMoveAndGoTogether) {
    Session s;
    NorvalePlugin& p = s.object();
    p.curveSelectBand(1);
    p.curveSetFlat(kVol, 1, 0.5f);
    for (float x : {0.25f, 0.375f, 0.75f})
        p.curveAddPoint(kVol, 1, x, 0.5f, 0);
    ASSERT_TRUE(s.open());
    focusFollowsPointer(s);
    CurvePanel& panel = s.window().curvePanel();
    const KeyCode shift = XKeysymToKeycode(s.dpy, XK_Shift_L);
    s.move(panel.xOf(0.2), panel.yOf(0.9));
    XTestFakeKeyEvent(s.dpy, shift, True, CurrentTime);
    s.button(1, true);
    s.move(panel.xOf(0.5), panel.yOf(0.1));
    s.button(1, false);
    XTestFakeKeyEvent(s.dpy, shift, False, CurrentTime);
    EXPECT_EQ(panel.selectedPoints(p), 0b0110u);
    s.type(XK_Right);
    s.type(XK_Up);
    const Curve& c = p.curveAt(kVol, 1);
    EXPECT_EQ(c.format(), "0.0000 0.5000 0 0.000, 0.3125 0.5500 0 0.000, 0.4375 0.5500 0 0.000, "
                          "0.7500 0.5000 0 0.000, 1.0000 0.5000 0 0.000");
    s.type(XK_Delete);
    EXPECT_EQ(c.count, 3);
    chord(s, XK_a);
    EXPECT_EQ(panel.selectedPoints(p), 0b0111u);
}

} // namespace
} // namespace norvale::guitest
