// The CLAP plug-in object: owns the parameter values, the curves, the engine
// and the way gestures leave for the host.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <clap/events.h>
#include <clap/ext/params.h>
#include <clap/ext/preset-load.h>
#include <clap/plugin.h>
#include <clap/process.h>
#include <clap/stream.h>

#include "dsp/curve_set.h"
#include "dsp/engine.h"
#include "plugin/curve_access.h"
#include "plugin/gui_delegate.h"
#include "plugin/note_filter.h"
#include "plugin/out_queue.h"
#include "plugin/params.h"
#include "presets/gui_preset.h"

namespace norvale {

// The open editor: window and clock (gui_extension.cpp).
struct Editor;
class PluginWindow;

// Values cross threads as whole doubles; a lock inside the atomic would reach
// the audio thread.
static_assert(std::atomic<double>::is_always_lock_free);

// The editor reaches the plug-in only through its two bases.
class NorvalePlugin : public plugincore::GuiDelegate, public CurveAccess {
public:
    explicit NorvalePlugin(const clap_host* host);
    NorvalePlugin(const NorvalePlugin&) = delete;
    NorvalePlugin& operator=(const NorvalePlugin&) = delete;

    // The object behind a record handed out by clapPlugin(); null for null.
    static NorvalePlugin* from(const clap_plugin* plugin);
    const clap_plugin* clapPlugin() const { return &clap; }

    // Lifecycle (main thread).
    void activate(double rate);
    void reset();
    // Engine tail in samples, within 0..2 000 000 000.
    uint32_t tailSamples() const;

    // Audio side.
    clap_process_status process(const clap_process* block);
    void paramsFlush(const clap_input_events* in, const clap_output_events* out);
    void syncEngine();
    // Real quantity of a parameter (Hz, ms, dB, index); 0 for unknown ids.
    double realValue(uint32_t id) const;
    void updateScopeTarget();

    // Queues a gesture or value for the host and asks it for a flush. False
    // when the id or kind is unknown or the ring is full.
    bool pushOut(uint32_t paramId, double value, uint8_t kind);

    // State stream.
    bool stateSave(const clap_ostream* stream) const;
    // A failed load changes nothing.
    bool stateLoad(const clap_istream* stream);

    double paramValue(uint32_t id) const {
        return id < kParamCount ? values[id].load(std::memory_order_relaxed) : 0.0;
    }

    // Preset library (main thread, or the editor's thread).
    void ensurePresetList();
    // Kind 0: a file at location; kind 1: the built-in named by loadKey. A
    // failed load changes nothing and is reported to the host.
    bool presetLoadFromLocation(uint32_t kind, const char* location, const char* loadKey);
    void reportPresetError(uint32_t kind, const char* location, const char* loadKey,
                           const std::string& message) const;

    // plugincore::GuiDelegate
    double guiParamValue(uint32_t id) const override { return paramValue(id); }
    void guiBeginEdit(uint32_t id) override;
    void guiSetParam(uint32_t id, double value) override;
    void guiEndEdit(uint32_t id) override;
    void guiOutputPeaks(float& left, float& right) const override;
    int guiVoiceCount() const override { return 0; }
    int guiVoiceLimit() const override { return 0; }
    const std::vector<plugincore::GuiPreset>& guiPresets() const override { return presets; }
    int guiCurrentPreset() const override { return currentPreset; }
    bool guiPresetEdited() const override { return presetEdited.load(std::memory_order_acquire); }
    void guiLoadPreset(int index) override;
    std::string guiSuggestedPresetName() const override;
    bool guiSavePreset(const std::string& name, std::string& err) override;

    // CurveAccess
    int curveModule() const override { return selModule.load(std::memory_order_relaxed); }
    int curveBand() const override { return selBand.load(std::memory_order_relaxed); }
    void curveSelectModule(int module) override;
    void curveSelectBand(int band) override;
    bool curveEditAllBands() const override { return editAllBands.load(std::memory_order_relaxed); }
    void curveSetEditAllBands(bool on) override;
    const Curve& curveAt(int module, int band) const override;
    bool curveModuleEnabled(int module) const override;
    bool curveBandEnabled(int band) const override;
    void curveEnableModule(int module) override { ensureStageForEdit(module); }
    int curveAddPoint(int module, int band, float x, float y, int weight) override;
    void curveMovePoint(int module, int band, int point, float x, float y) override;
    void curveRemovePoint(int module, int band, int point) override;
    void curveSetWeight(int module, int band, int point, int weight, bool allPoints) override;
    void curveSetFlat(int module, int band, float value) override;
    void curveSetBend(int module, int band, int point, float bend) override;
    void curveSetStep(int module, int band, int cell, int cells, float value) override;
    void curveFillSteps(int module, int band, int cells) override;
    bool curveSnap() const override { return snap.load(std::memory_order_relaxed); }
    void curveToggleSnap() override;
    bool curveStepMode() const override { return stepMode.load(std::memory_order_relaxed); }
    void curveSetStepMode(bool on) override { stepMode.store(on, std::memory_order_relaxed); }
    int curveChain(int out[kModuleCount]) const override;
    void curveChainAdd(int module) override;
    void curveChainRemove(int module) override;
    void curveChainMove(int module, int position) override;
    void curveToggleModule(int module) override;
    const ScopeData* curveScope() const override { return &engine.scope(); }
    int curveTriggerMode(int module) const override;
    bool curveTriggerLoop(int module) const override;
    float curveEnd(int module) const override;
    void curveBeginEnd(int module) override;
    void curveSetEnd(int module, float value) override;
    void curveFinishEnd(int module) override;

    // Switches module and edited band(s) on, so drawing is heard at once.
    void ensureStageForEdit(int module);

    // Handed to the host; plugin_data points back at this object.
    clap_plugin clap;

    const clap_host* host;
    double sampleRate = 48000.0;
    // Each in its parameter's value space, indexed by parameter id.
    std::array<std::atomic<double>, kParamCount> values;
    std::atomic<bool> paramsDirty{true};
    CurveSet curveSet;
    std::atomic<int> selModule{0};
    std::atomic<int> selBand{1};
    std::atomic<bool> editAllBands{true};
    std::atomic<bool> stepMode{false};
    std::atomic<bool> scopeVisible{false};
    std::atomic<bool> snap{true};
    Engine engine;
    OutQueue outQueue;
    std::atomic<bool> presetEdited{false};
    int currentPreset = -1;
    bool presetListReady = false;
    std::vector<plugincore::GuiPreset> presets;
    // Only while the editor is open; main thread.
    Editor* editor = nullptr;

private:
    void readInputEvents(const clap_input_events* in, TriggerList* triggers);
    void applyParamValue(const clap_event_param_value& event);
    void drainOut(const clap_output_events* out);
    const clap_host_params* hostParams() const;
    const void* hostExtension(const char* id) const;
    // "clap.preset-load/2", or else its draft id; null when neither.
    const clap_host_preset_load* hostPresetLoad() const;

    // Editing helpers for the editor's interfaces.
    template <class Edit>
    void editCurves(int module, std::optional<int> point, bool switchOn, Edit&& edit);
    void finishCurveEdit();
    void materialiseChain();
    bool moduleSwitchOn(int module) const;
    void setModuleSwitch(int module, bool on);
};

// Stops the editor's clock and closes its window; nothing when none is open.
void destroyEditor(NorvalePlugin& self);
// The open editor's window, or null.
PluginWindow* editorWindow(const NorvalePlugin& self);

} // namespace norvale
