// --editor-png without an X server, checked against the rack's layout.
#include <cairo.h>

#include <cmath>

#include "gui/rack.h"
#include "plugin/norvale_plugin.h"
#include "render_harness.h"

namespace norvale::render::test {
namespace {

TEST_F(RenderTest, EditorPngHasTheScaledSizeAndThePalettesColoursWhereTheLayoutSays) {
    NorvalePlugin plugin(nullptr);
    NoKeyboard noKeys;
    Rack rack(plugin, kWindowSpec, noKeys);
    rack.buildLayout(kVol);
    const plugincore::Rect panel = rack.panelRects()[0].rect, mix = rack.controlRect(kParamMix);
    const plugincore::Palette& colour = kWindowSpec.palette;
    const std::tuple<double, double, plugincore::Rgb> probes[] = {
        {panel.x + 4, panel.y + panel.height - 4, colour.panelFill},
        {mix.x + mix.width / 2, mix.y + 46 - 21, colour.accent}, // the top of a full value arc
        {mix.x + mix.width / 2 - 10, mix.y + 46, colour.controlFill}};
    for (const double scale : {0.5, 1.0, 2.0}) {
        const ToolRun tool = run({"--editor-png", file("e.png"), "--scale", std::to_string(scale),
                                  "--preset", "kick_duck", "--set", "mix=100 %"},
                                 {{"DISPLAY", ""}});
        ASSERT_EQ(tool.exitCode, 0) << tool.err;
        cairo_surface_t* image = cairo_image_surface_create_from_png(file("e.png").c_str());
        EXPECT_EQ(cairo_image_surface_get_width(image), std::lround(1432 * scale));
        EXPECT_EQ(cairo_image_surface_get_height(image), std::lround(800 * scale));
        for (const auto& [x, y, rgb] : probes) {
            if (scale < 1) break; // lines of a pixel and a half blend into their surroundings
            const uint32_t seen = reinterpret_cast<const uint32_t*>(
                cairo_image_surface_get_data(image) +
                int(y * scale) * cairo_image_surface_get_stride(image))[int(x * scale)];
            for (const auto& [shift, want] : {std::pair{16, rgb.r}, {8, rgb.g}, {0, rgb.b}})
                EXPECT_NEAR((seen >> shift & 255) / 255.0, want, 3 / 255.0) << x << "," << y;
        }
        cairo_surface_destroy(image);
    }
}

} // namespace
} // namespace norvale::render::test
