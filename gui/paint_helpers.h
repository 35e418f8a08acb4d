// The one set of cairo helpers of the editor (curve panel, rack, preset bar):
// colours from the palette, rounded rectangles, text placed by its ink with
// font faces made once, and the test that lets a painter skip what lies
// outside the area being repainted.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "gui/window_spec.h"

namespace plugincore {

inline void setColour(cairo_t* cr, const Rgb& c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

inline void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    constexpr double kQuarter = 1.5707963267948966;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kQuarter, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kQuarter);
    cairo_arc(cr, x + r, y + h - r, r, kQuarter, 2 * kQuarter);
    cairo_arc(cr, x + r, y + r, r, 2 * kQuarter, 3 * kQuarter);
    cairo_close_path(cr);
}

inline void roundedRect(cairo_t* cr, const Rect& r, double radius) {
    roundedRect(cr, r.x, r.y, r.width, r.height, radius);
}

// Filled first, then outlined with a line of width 1.
inline void roundedBox(cairo_t* cr, const Rect& r, double radius, const Rgb& fill, const Rgb& line,
                       double lineAlpha = 1.0) {
    roundedRect(cr, r, radius);
    setColour(cr, fill);
    cairo_fill_preserve(cr);
    setColour(cr, line, lineAlpha);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

inline void setFont(cairo_t* cr, double size, bool bold) {
    // Made once for the process: selecting a face by name asks fontconfig
    // on every call, which used to be the rack's biggest text cost.
    static cairo_font_face_t* const faces[2] = {
        cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL),
        cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD)};
    cairo_set_font_face(cr, faces[bold ? 1 : 0]);
    cairo_set_font_size(cr, std::max(size, kSmallestText));
}

enum class Align { Left, Centre, Right };

// The height of the smallest text drawText has put on a surface, in its
// pixels (font size and transformation together), since it was last reset.
inline double& smallestTextDrawn() {
    static double smallest = HUGE_VAL;
    return smallest;
}

// Text must be valid UTF-8 (see validUtf8). Centre and Right place the ink,
// not the advance, at x.
inline void drawText(cairo_t* cr, const char* text, double x, double y, Align align) {
    cairo_matrix_t size;
    cairo_scaled_font_get_scale_matrix(cairo_get_scaled_font(cr), &size);
    smallestTextDrawn() = std::min(smallestTextDrawn(), std::hypot(size.xy, size.yy));
    if (align != Align::Left) {
        cairo_text_extents_t ink;
        cairo_text_extents(cr, text, &ink);
        const double inkEnd = align == Align::Centre ? ink.width / 2 : ink.width;
        x -= ink.x_bearing + inkEnd;
    }
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
}

// One row of a list (a menu or the browser): a tint behind the hovered and
// the current row, then the row's text colour and font set for the caller.
inline void beginListRow(cairo_t* cr, const Palette& pal, const Rect& tint, double fontSize,
                         bool hovered, bool current) {
    if (hovered || current) {
        roundedRect(cr, tint, 3);
        setColour(cr, pal.accent, hovered ? 0.2 : 0.1);
        cairo_fill(cr);
    }
    setFont(cr, fontSize, current);
    setColour(cr, current ? pal.accent : pal.textBright, hovered ? 1.0 : 0.85);
}

// False when nothing of r (user space) can show through the current clip: a
// partial repaint skips building and stroking what it would throw away.
inline bool inClip(cairo_t* cr, const Rect& r) {
    double x0, y0, x1, y1;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    return r.x < x1 && x0 < r.x + r.width && r.y < y1 && y0 < r.y + r.height;
}

inline double inkWidth(cairo_t* cr, const char* text) {
    cairo_text_extents_t ink;
    cairo_text_extents(cr, text, &ink);
    return ink.width;
}

// The text as it fits into width with the current font: whole, or cut at a
// character boundary and ended with an ellipsis. Text must be valid UTF-8.
inline std::string fitText(cairo_t* cr, const std::string& text, double width) {
    if (inkWidth(cr, text.c_str()) <= width) return text;
    std::string cut = text;
    while (!cut.empty()) {
        // The last character: its continuation bytes, then its first byte.
        while ((static_cast<unsigned char>(cut.back()) & 0xc0) == 0x80 && cut.size() > 1)
            cut.pop_back();
        cut.pop_back();
        while (!cut.empty() && cut.back() == ' ')
            cut.pop_back();
        const std::string shown = cut + "\u2026";
        if (inkWidth(cr, shown.c_str()) <= width) return shown;
    }
    return "\u2026";
}

// Sets the largest size from size down to smallest at which text fits into
// width, and returns the text, ellipsised when even the smallest is too wide.
inline std::string fitTextShrinking(cairo_t* cr, const std::string& text, double width, double size,
                                    double smallest, bool bold) {
    for (double s = size; s > smallest; s -= 0.5) {
        setFont(cr, s, bold);
        if (inkWidth(cr, text.c_str()) <= width) return text;
    }
    setFont(cr, smallest, bold);
    return fitText(cr, text, width);
}

} // namespace plugincore
