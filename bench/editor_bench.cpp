// The editor's frame costs without an X server: painting into an image
// surface the size of the window, at scale 1 and 2, from nothing and over
// the static layer the window keeps; a repaint of the graph
// for the scope, whole and for one frame's strip of it; a knob's repaint;
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
    CurvePanel& panel = parts.panel;
    Rack& rack = parts.rack;
    FrameWatch watch{plugin, plugin, parts.spec.paramDescCount};

    Editor() {
        for (int m : {kVol, kFlt, kDrv})
            plugin.curveChainAdd(m);
        plugin.curveSelectModule(kVol);
        panel.applyShape(8, 0.0, plugin); // SINE: 17 soft points
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
                                             static_cast<int>(800 * scale))),
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

// The frame's static layer, then repaints of one area over it.
struct Frame {
    explicit Frame(Editor& editor, double scale) : scale(scale), layer(scale), back(scale) {
        paintEditorStatic(layer.cr, scale, editor.view());
        cairo_surface_flush(layer.surface);
        paintEditor(back.cr, scale, editor.view());
    }
    void repaint(Editor& editor, const plugincore::Rect& area) {
        paintArea(back.cr, layer.surface, scale, editor.view(), toPixels(area, scale));
        cairo_surface_flush(back.surface);
    }
    double scale;
    Surface layer, back;
};

// Arg 0: the whole graph; arg 1: the strip one frame of a 1/4 cycle at 120
// BPM writes (about 32 of the 480 columns).
void ScopeRepaint(benchmark::State& state) {
    Editor editor;
    Frame frame(editor, 2);
    plugincore::Rect area = editor.panel.graphArea();
    if (state.range(0) == 1) area.width = area.width * 40 / kScopeColumns;
    for (auto _ : state)
        frame.repaint(editor, area);
    state.SetLabel(state.range(0) == 1 ? "scale 2, one frame's strip" : "scale 2, whole graph");
}
BENCHMARK(ScopeRepaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The whole window over the static layer the window keeps (a preset load).
void FullRepaint(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0));
    Editor editor;
    Frame frame(editor, scale);
    for (auto _ : state)
        frame.repaint(editor, {0, 0, 1432, 800});
    state.SetLabel("scale " + std::to_string(state.range(0)));
}
BENCHMARK(FullRepaint)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// ---- the rack ----

// Every control of the largest layout (GLOBAL, TRIGGER and FILTER).
void RackFullPaint(benchmark::State& state) {
    Editor editor;
    editor.rack.buildLayout(kFlt);
    Surface target(2);
    for (auto _ : state) {
        cairo_save(target.cr);
        cairo_scale(target.cr, 2, 2);
        editor.rack.paintBackground(target.cr);
        editor.rack.paintStatic(target.cr);
        editor.rack.paintPanels(target.cr);
        editor.rack.paintOverlays(target.cr);
        cairo_restore(target.cr);
        cairo_surface_flush(target.surface);
    }
    state.SetLabel("scale 2, " + std::to_string(editor.rack.cells().size()) + " controls");
}
BENCHMARK(RackFullPaint)->Unit(benchmark::kMillisecond);

// A knob moved by a drag or automation: only its rectangle is painted again.
void KnobRepaint(benchmark::State& state) {
    Editor editor;
    Frame frame(editor, 2);
    double value = 0.25;
    for (auto _ : state) {
        value = 1 - value;
        editor.plugin.values[kParamMix].store(value);
        frame.repaint(editor, editor.rack.controlRect(kParamMix));
    }
    state.SetLabel("scale 2");
}
BENCHMARK(KnobRepaint)->Unit(benchmark::kMicrosecond);

void IdleTick(benchmark::State& state) {
    Editor editor;
    plugincore::Damage damage;
    editor.watch.collect(damage, editor.rack, editor.panel);
    for (auto _ : state) {
        damage.clear();
        editor.panel.sync(editor.plugin);
        editor.panel.moveDamageTo(damage);
        editor.rack.moveDamageTo(damage);
        editor.watch.collect(damage, editor.rack, editor.panel);
        benchmark::DoNotOptimize(damage.empty());
    }
}
BENCHMARK(IdleTick)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace norvale
