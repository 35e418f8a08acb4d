// The editor's frame costs without an X server: painting into an image
// surface the size of the window, at scale 1 and 2; the scope-only repaint;
// and the work of an idle tick (is anything different from the last frame?).
#include <benchmark/benchmark.h>

#include <cmath>

#include "gui/plugin_window.h"
#include "plugin/norvale_plugin.h"

namespace norvale {
namespace {

// A plug-in with a drawn curve and a busy scope, and the editor's parts.
struct Editor {
    NorvalePlugin plugin{nullptr};
    NoKeyboard keyboard;
    EditorParts parts{plugin, plugin, keyboard};
    FrameWatch watch{plugin, plugin, parts.spec.paramDescCount};

    Editor() {
        for (int m : {kVol, kFlt, kDrv})
            plugin.curveChainAdd(m);
        plugin.curveSelectModule(kVol);
        parts.panel.applyShape(8, 0.0, plugin); // SINE: 17 soft points
        ScopeData& scope = plugin.engine.scope();
        for (int c = 0; c < kScopeColumns; ++c) {
            const float v = 0.5f + 0.4f * std::sin(c * 0.05f);
            scope.beforeMin[c] = -v, scope.beforeMax[c] = v;
            scope.afterMin[c] = -0.8f * v, scope.afterMax[c] = 0.8f * v;
            scope.trace[c] = v;
        }
        scope.playhead = 0.4f;
        parts.follow();
    }
    EditorView view() { return parts.view(); }
};

struct Surface {
    explicit Surface(double scale)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(1432 * scale),
                                             static_cast<int>(864 * scale))),
          cr(cairo_create(surface)) {}
    ~Surface() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    cairo_surface_t* surface;
    cairo_t* cr;
};

void FullPaint(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0));
    Editor editor;
    Surface target(scale);
    for (auto _ : state) {
        paintEditor(target.cr, scale, editor.view());
        cairo_surface_flush(target.surface);
    }
    state.SetLabel("scale " + std::to_string(state.range(0)));
}
BENCHMARK(FullPaint)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void ScopeRepaint(benchmark::State& state) {
    Editor editor;
    Surface target(2);
    for (auto _ : state) {
        paintCurveArea(target.cr, 2, editor.view(), editor.parts.panel.scopeRect());
        cairo_surface_flush(target.surface);
    }
    state.SetLabel("scale 2");
}
BENCHMARK(ScopeRepaint)->Unit(benchmark::kMillisecond);

// ---- the rack ----

// Every control of the largest layout (GLOBAL, TRIGGER and FILTER).
void RackFullPaint(benchmark::State& state) {
    Editor editor;
    editor.parts.rack.buildLayout(kFlt);
    Surface target(2);
    for (auto _ : state) {
        cairo_save(target.cr);
        cairo_scale(target.cr, 2, 2);
        editor.parts.rack.paintBackground(target.cr);
        editor.parts.rack.paintPanels(target.cr);
        editor.parts.rack.paintOverlays(target.cr);
        cairo_restore(target.cr);
        cairo_surface_flush(target.surface);
    }
    state.SetLabel("scale 2, " + std::to_string(editor.parts.rack.cells().size()) + " controls");
}
BENCHMARK(RackFullPaint)->Unit(benchmark::kMillisecond);

// A knob moved by automation: only its rectangle is painted again.
void KnobRepaint(benchmark::State& state) {
    Editor editor;
    Surface target(2);
    paintEditor(target.cr, 2, editor.view());
    double value = 0.25;
    for (auto _ : state) {
        value = 1 - value;
        editor.plugin.values[kParamMix].store(value);
        cairo_save(target.cr);
        cairo_scale(target.cr, 2, 2);
        editor.parts.rack.paintControlArea(target.cr, kParamMix);
        cairo_restore(target.cr);
        cairo_surface_flush(target.surface);
    }
    state.SetLabel("scale 2");
}
BENCHMARK(KnobRepaint)->Unit(benchmark::kMicrosecond);

void IdleTick(benchmark::State& state) {
    Editor editor;
    editor.watch.remember();
    for (auto _ : state) {
        editor.parts.panel.sync(editor.plugin);
        bool repaint = editor.parts.panel.takeDirty() | editor.parts.rack.takeDirty();
        repaint |= editor.watch.changed();
        benchmark::DoNotOptimize(repaint);
    }
}
BENCHMARK(IdleTick)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace norvale
