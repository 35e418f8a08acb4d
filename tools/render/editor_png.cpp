#include "render/editor_png.h"

#include <cairo.h>
#include <fmt/format.h>

#include <clap/factory/preset-discovery.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "gui/plugin_window.h"
#include "plugin/norvale_plugin.h"
#include "render/clap_host.h"
#include "render/options.h"
#include "render/preset_commands.h"

namespace norvale::render {
namespace {

// The plug-in's own list, in the shape --preset chooses from when rendering.
std::vector<PresetEntry> presetEntries(const std::vector<plugincore::GuiPreset>& presets) {
    std::vector<PresetEntry> entries;
    for (const plugincore::GuiPreset& p : presets) {
        const bool builtIn = !p.loadKey.empty();
        entries.push_back({p.name, p.folder,
                           builtIn ? uint32_t(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN)
                                   : uint32_t(CLAP_PRESET_DISCOVERY_LOCATION_FILE),
                           p.path, p.loadKey});
    }
    return entries;
}

void applySound(NorvalePlugin& plugin, HostServices& host, const RenderOptions& options) {
    plugin.ensurePresetList();
    if (!options.preset.empty()) {
        const PresetChoice choice =
            namesPresetFile(options.preset)
                ? PresetChoice{CLAP_PRESET_DISCOVERY_LOCATION_FILE, options.preset, ""}
                : choosePreset(options.preset, presetEntries(plugin.presets));
        const bool isFile = choice.kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE;
        host.takePresetError();
        if (!plugin.presetLoadFromLocation(choice.kind, isFile ? choice.location.c_str() : nullptr,
                                           isFile ? nullptr : choice.loadKey.c_str())) {
            std::string reason = host.takePresetError();
            throw RenderError(fmt::format("the plug-in could not load preset '{}': {}",
                                          options.preset,
                                          reason.empty() ? "no reason given" : reason));
        }
    }
    for (const ParamSetting& setting : options.settings) {
        double value = 0;
        if (setting.id >= kParamCount ||
            !plugincore::paramTextToValue(kParams[setting.id], setting.text.c_str(), value))
            throw UsageError(fmt::format("--set {}: the plug-in does not accept '{}'", setting.key,
                                         setting.text));
        plugin.values[setting.id].store(value);
    }
}

} // namespace

std::string writeEditorPng(const RenderOptions& options) {
    HostServices host;
    // The object frees itself, as when a host destroys it.
    const auto destroy = [](NorvalePlugin* p) { p->destroy(); };
    std::unique_ptr<NorvalePlugin, decltype(destroy)> plugin(new NorvalePlugin(host.host()),
                                                             destroy);
    applySound(*plugin, host, options);

    NoKeyboard keyboard;
    EditorParts editor(*plugin, *plugin, keyboard);
    editor.follow(); // as the window's first tick
    // As a user would: the pointer rests on the point, then a click opens the menu.
    CurvePanel& panel = editor.panel;
    const Curve& curve = plugin->curveAt(plugin->curveModule(), plugin->curveBand());
    if (options.editorHoverPoint >= 0 && options.editorHoverPoint < curve.count) {
        const CurvePoint& point = curve.points[options.editorHoverPoint];
        // Just inside the graph's edge for a point on it: the graph holds the pointer.
        const plugincore::Rect g = panel.graph();
        panel.motion(std::min(panel.xOf(point.x), g.x + g.width - 1),
                     std::min(panel.yOf(point.y), g.y + g.height - 1), *plugin);
    }
    if (options.editorMenu == "curve") {
        // A right-click on the graph away from the curve, left of the middle.
        for (const double value : {0.85, 0.15, 0.5, 0.3, 0.7}) {
            const double x = panel.xOf(0.3), y = panel.yOf(value);
            if (panel.pointAt(x, y, curve) < 0 && panel.segmentAt(x, y, curve) < 0) {
                panel.press(x, y, 3, 0, *plugin);
                break;
            }
        }
        if (!panel.menuOpen())
            throw RenderError(
                "--open-menu curve: the curve leaves no room to right-click beside it");
    } else if (!options.editorMenu.empty()) {
        const plugincore::Rect button =
            options.editorMenu == "grid" ? panel.gridButton() : panel.shapeButton();
        panel.press(button.x + button.width / 2, button.y + button.height / 2, 1, 0, *plugin);
    }

    const double scale = options.editorScale;
    const int width = int((editor.spec.width + 32) * scale + 0.5),
              height = int(editor.spec.height * scale + 0.5);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    paintEditor(cr, scale, editor.view());
    cairo_destroy(cr);
    const cairo_status_t written = cairo_surface_write_to_png(surface, options.editorPng.c_str());
    cairo_surface_destroy(surface);
    if (written != CAIRO_STATUS_SUCCESS)
        throw RenderError(fmt::format("cannot write '{}': {}", options.editorPng,
                                      cairo_status_to_string(written)));
    return fmt::format("editor {}x{} written to {}", width, height, options.editorPng);
}

} // namespace norvale::render
