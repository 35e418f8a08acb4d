// The constant description of an editor window, in design units: a product
// fills one WindowSpec (title, palette, panel table, parameter table) and the
// window, the rack and the curve panel draw and hit-test from it.
#pragma once

#include <algorithm>
#include <cstdint>

#include "plugin/param_desc.h"
#include "plugin/product.h"

namespace plugincore {

// No text of an editor is smaller than this, in design units (pixels at 100 %).
inline constexpr double kSmallestText = 9;

struct Rect {
    double x, y, width, height;
    // Half-open: a point on the right or bottom edge lies outside.
    bool contains(double px, double py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
};

// One control of a panel: its parameter and grid place.
struct Cell {
    uint32_t paramId;
    int column, row, span;
};

struct PanelSpec {
    const char* title;
    uint32_t columns, cellRows;
    const uint32_t* paramIds;
    uint32_t paramIdCount;
};

struct Rgb {
    double r, g, b;
};

struct Palette {
    Rgb backgroundTop, backgroundBottom, panelFill, panelLine, controlFill, trackColour, accent,
        textBright, textDim, textFaint;
};

struct WindowSpec {
    const char* titleHead;
    const char* titleTail;
    const char* subtitle;
    const char* version;
    Palette palette;
    const PanelSpec* panels;
    uint32_t panelCount;
    const uint32_t* rowStart;
    const uint32_t* rowCount;
    uint32_t rows;
    int width, height; // content width (design width is width + 32) and design height
    const ParamDesc* paramDescs;
    uint32_t paramDescCount;
};

} // namespace plugincore

namespace norvale {

// The rack's tables (gui/rack.cpp).
extern const plugincore::PanelSpec kPanelSpecs[9];
extern const uint32_t kRowStart[8];
extern const uint32_t kRowCount[8];

// paramDescs stays empty here; createGui fills it with the parameter table.
inline constexpr plugincore::WindowSpec kWindowSpec{"Nor",
                                                    "vale",
                                                    "MULTIBAND DRAWING RACK",
                                                    kVersion,
                                                    {{0.055, 0.073, 0.081},
                                                     {0.03, 0.04, 0.046},
                                                     {0.076, 0.095, 0.104},
                                                     {0.153, 0.204, 0.22},
                                                     {0.045, 0.058, 0.065},
                                                     {0.196, 0.247, 0.263},
                                                     {0.216, 0.839, 0.878},
                                                     {0.925, 0.949, 0.957},
                                                     {0.596, 0.667, 0.69},
                                                     {0.404, 0.463, 0.482}},
                                                    kPanelSpecs,
                                                    9,
                                                    kRowStart,
                                                    kRowCount,
                                                    8,
                                                    1400,
                                                    800,
                                                    nullptr,
                                                    0};

// The zooms the editor offers, smallest first.
inline constexpr double kZoomSteps[] = {0.75, 0.9, 1.0, 1.25, 1.5, 2.0};

// Room a window needs beyond its own pixels: a title bar, and a share of the
// screen left to desktop panels and the host's own frame around the editor.
inline constexpr int kTitleBarRoom = 40;
inline constexpr double kScreenShare = 0.9;

// The largest zoom step at which a window of the design size, with its title
// bar, fits a screen of that many pixels; the smallest step when none does.
inline constexpr double zoomForScreen(int designWidth, int designHeight, int screenWidth,
                                      int screenHeight) {
    double zoom = kZoomSteps[0];
    for (double step : kZoomSteps)
        if (designWidth * step <= screenWidth * kScreenShare &&
            designHeight * step + kTitleBarRoom <= screenHeight * kScreenShare)
            zoom = std::max(zoom, step);
    return zoom;
}

} // namespace norvale
