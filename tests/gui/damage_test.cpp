// Damage-only repaints through the real window: what a change leaves on screen
// equals a whole repaint of the same view, and a change repaints only what
// it changed.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <cmath>
#include <functional>

#include "gui/paint_helpers.h"
#include "tests/gui/x_session.h"

namespace norvale::guitest {
namespace {

using plugincore::Rect;

Rect centre(const Rect& r) {
    return {r.x + r.width / 2, r.y + r.height / 2, 0, 0};
}

std::string windowPixels(Session& s) {
    uint32_t w, h;
    s.window().size(w, h);
    XImage* image = XGetImage(s.dpy, s.window().windowId(), 0, 0, w, h, AllPlanes, ZPixmap);
    std::string pixels(image->data, size_t(image->bytes_per_line) * h);
    XDestroyImage(image);
    // Only the colour counts: the fourth byte of a pixel of depth 24 is padding.
    for (size_t i = 3; i < pixels.size(); i += 4)
        pixels[i] = 0;
    return pixels;
}

void dragKnob(Session& s, uint32_t id, int steps) {
    const Rect c = s.window().rack().controlRect(id);
    s.move(c.x + c.width / 2, c.y + 46);
    s.button(1, true);
    for (int i = 1; i <= steps; ++i)
        s.move(c.x + c.width / 2, c.y + 46 - 3 * i);
    s.button(1, false);
}

void sweepGlobalRow(Session& s) {
    const Rect first = s.window().rack().controlRect(kParamMix);
    for (double x = first.x - 20; x < first.x + 8 * first.width; x += 9)
        s.move(x, first.y + 40);
}

struct Change {
    const char* name;
    std::function<void(Session&)> act;
};

const Change kChanges[] = {
    {"knob drag", [](Session& s) { dragKnob(s, kParamMix, 12); }},
    {"point drag",
     [](Session& s) {
         const CurvePanel& p = s.window().curvePanel();
         s.move(p.xOf(0.3), p.yOf(0.6));
         s.button(1, true);
         for (double t = 0.3; t < 0.7; t += 0.05)
             s.move(p.xOf(t), p.yOf(1.3 - t));
         s.button(1, false);
     }},
    {"hover", sweepGlobalRow},
    {"menu open",
     [](Session& s) { s.click(centre(s.window().rack().controlRect(kParamVolRate))); }},
    {"menu closed",
     [](Session& s) {
         s.click(centre(s.window().rack().controlRect(kParamVolRate)));
         s.move(centre(s.window().rack().menuItemRect(2)));
         s.click(700, 40); // outside: closes it and does nothing else
         EXPECT_LT(s.window().rack().menuParam(), 0);
     }},
    {"typed value",
     [](Session& s) {
         s.click(centre(s.window().rack().valueBoxRect(kParamMix)));
         for (KeySym key : {XK_4, XK_2, XK_BackSpace, XK_7})
             s.type(key);
     }},
    {"scope",
     [](Session& s) {
         claphost::AudioBlock block(800);
         block.fillInput([](uint32_t i, int) { return 0.5f * std::sin(0.01f * float(i)); });
         const uint32_t seen = s.object().curveScope()->updates;
         for (int i = 0; i < 12; ++i)
             block.run(s.plugin), s.settle(1);
         EXPECT_NE(s.object().curveScope()->updates, seen);
     }},
    {"browser hover", // the hint line describes the entry
     [](Session& s) {
         s.click(centre(s.window().rack().presetBar().zoneRect(kZoneBrowser)));
         s.move(centre(s.window().rack().presetBar().browserEntryRect(2)));
     }},
    {"menus, the last left open",
     [](Session& s) {
         const CurvePanel& panel = s.window().curvePanel();
         for (Rect r : {s.window().rack().zoomButtonRect(), panel.gridButton(), panel.shapeButton(),
                        panel.addTab(1)})
             s.click(centre(r)), s.type(XK_Escape);
         s.click(centre(s.window().rack().controlRect(kParamMix)), 3);
     }},
    {"preset load",
     [](Session& s) { s.click(centre(s.window().rack().presetBar().zoneRect(kZoneNext))); }},
};

// Nothing stale is left on screen: after each kind of change the window
// shows exactly what a repaint of the whole window shows. And whatever
// part or menu a change shows, no text is smaller than 9 pixels at 100 %.
TEST(EditorDamage, EveryChangeLeavesWhatAWholeRepaintShows) {
    for (double scale : {1.0, 2.0})
        for (const Change& change : kChanges) {
            Session s;
            plugincore::smallestTextDrawn() = HUGE_VAL;
            ASSERT_TRUE(s.open(scale));
            change.act(s);
            s.settle();
            const std::string shown = windowPixels(s);
            s.window().damageAll();
            s.tick();
            EXPECT_TRUE(windowPixels(s) == shown) << change.name << " at scale " << scale;
            EXPECT_GE(plugincore::smallestTextDrawn() / scale, 9.0) << change.name;
        }
}

// Every painted area lies inside one of the given rectangles (grown by the
// antialiasing margin the window adds).
bool paintedOnlyInside(Session& s, const std::vector<Rect>& allowed) {
    for (const PixelRect& p : s.window().paintLog()) {
        bool inside = false;
        for (const Rect& r : allowed) {
            const PixelRect a =
                toPixels({r.x - 2, r.y - 2, r.width + 4, r.height + 4}, s.window().scale());
            inside |= p.x >= a.x && p.y >= a.y && p.x + p.width <= a.x + a.width &&
                      p.y + p.height <= a.y + a.height;
        }
        if (!inside) return false;
    }
    return !s.window().paintLog().empty();
}

TEST(EditorDamage, AKnobDragAndAHoverSweepRepaintOnlyWhatTheyTouch) {
    for (double scale : {1.0, 2.0}) {
        Session s;
        ASSERT_TRUE(s.open(scale));
        const Rack& rack = s.window().rack();
        s.window().clearPaintLog();
        const uint64_t frames = s.window().frames();
        dragKnob(s, kParamInput, 20);
        EXPECT_GE(s.window().frames() - frames, 20u) << scale;
        // Pressed on the knob, so its hover and the hint line count too.
        EXPECT_TRUE(paintedOnlyInside(s, {rack.controlRect(kParamInput), rack.hintRect()}))
            << scale;

        s.window().clearPaintLog();
        sweepGlobalRow(s);
        // Neighbours' areas join into one: the row of the eight controls passed over.
        Rect row = rack.cellRects()[0];
        for (size_t i = 1; i < 8; ++i)
            row = plugincore::unite(row, rack.cellRects()[i]);
        EXPECT_TRUE(paintedOnlyInside(s, {row, rack.hintRect()})) << scale;
    }
}

} // namespace
} // namespace norvale::guitest
