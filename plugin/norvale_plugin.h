// The CLAP plug-in object: owns the parameter values, the curves, the engine
// and the way gestures leave for the host.
//
// Who owns what
// - Main thread: creation, activate, state, presets, get_extension, the
//   editor's CLAP calls, destroy; it edits curveSet, presets and the preset
//   fields, and writes values.
// - Audio thread: process and reset; it alone touches modulation, engine
//   processing and the reading end of outQueue.
// - The editor: also the main thread, ticked by the host's timer or by the
//   descriptors the host watches (the plug-in starts no thread). It writes
//   values, the selection atomics and the writing end of outQueue, and edits
//   curveSet.
// - Crossing threads: values (whole doubles), paramsDirty and presetEdited
//   (atomics), outQueue (one producer, one consumer), curves through
//   Engine::publishCurves, the scope and its target through ScopeData's
//   atomics. Nothing else crosses, and nothing locks.
//
// How a block flows through process
// 1. Host events at the first sample, in list order: values and modulation
//    are stored, note-ons that pass the trigger-note filter become trigger
//    offsets.
// 2. Gestures and values queued by the editor go out to the host.
// 3. The main input is copied onto the output (silence when it is missing,
//    a mono input on both sides); the engine works in place from here on.
// 4. The block runs in stretches that end where a later parameter event
//    lies: before each, syncEngine rebuilds the engine's parameters if a
//    value changed; the engine runs the stretch with the sidechain, the
//    transport and the triggers, denormals flushed to zero; then the events
//    up to the next stretch are read as in 1.
// 5. A tail the values changed is reported to the host.
#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <clap/events.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/context-menu.h>
#include <clap/ext/gui.h>
#include <clap/ext/note-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/preset-load.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin.h>
#include <clap/process.h>
#include <clap/stream.h>

#include "dsp/curve_set.h"
#include "dsp/engine.h"
#include "plugin/curve_access.h"
#include "plugin/gui_delegate.h"
#include "plugin/params.h"
#include "plugin/undo_history.h"
#include "presets/preset_data.h"

namespace norvale {

// The open editor: window and clock (gui_extension.cpp).
struct Editor;
struct StateRecord;
class PluginWindow;

// Values cross threads as whole doubles; a lock inside the atomic would reach
// the audio thread.
static_assert(std::atomic<double>::is_always_lock_free);

// ---- editor-to-host ring ----

inline constexpr uint8_t kOutGestureBegin = 0;
inline constexpr uint8_t kOutValue = 1;
inline constexpr uint8_t kOutGestureEnd = 2;

struct OutEvent {
    uint32_t paramId = 0;
    double value = 0.0;
    uint8_t kind = kOutValue;
};

// Gestures and values on their way from the editor to the host. One producer
// (the editor, on the main thread), one consumer (process or the parameter flush);
// neither side ever waits.
class OutQueue {
public:
    static constexpr uint32_t kCapacity = 512;

    // False when kCapacity entries are still pending: the entry is dropped.
    bool push(const OutEvent& event) noexcept {
        const uint32_t write = outWrite.load(std::memory_order_relaxed);
        if (write - outRead.load(std::memory_order_acquire) >= kCapacity) return false;
        entries[write % kCapacity] = event;
        outWrite.store(write + 1, std::memory_order_release);
        return true;
    }

    // Hands every entry published so far to deliver, oldest first, and frees
    // them whatever deliver does with them.
    template <class Deliver>
    void drain(Deliver&& deliver) noexcept {
        const uint32_t write = outWrite.load(std::memory_order_acquire);
        for (uint32_t read = outRead.load(std::memory_order_relaxed); read != write; ++read)
            deliver(entries[read % kCapacity]);
        outRead.store(write, std::memory_order_release);
    }

private:
    // Free-running counters: unsigned wrap-around keeps the difference right.
    static_assert((kCapacity & (kCapacity - 1)) == 0);
    std::array<OutEvent, kCapacity> entries{};
    std::atomic<uint32_t> outWrite{0};
    std::atomic<uint32_t> outRead{0};
};

// ---- the plug-in object ----

// The editor reaches the plug-in only through its two bases.
class NorvalePlugin : public plugincore::GuiDelegate, public CurveAccess {
public:
    explicit NorvalePlugin(const clap_host* host);
    NorvalePlugin(const NorvalePlugin&) = delete;
    NorvalePlugin& operator=(const NorvalePlugin&) = delete;

    // The object behind a record handed out by clapPlugin(); null for null.
    static NorvalePlugin* from(const clap_plugin* plugin) {
        return plugin != nullptr ? static_cast<NorvalePlugin*>(plugin->plugin_data) : nullptr;
    }
    const clap_plugin* clapPlugin() const { return &clap; }

    // clap_plugin (plugin.cpp, process.cpp). Each is named after its CLAP call.
    bool init() { return true; }
    void destroy();
    bool activate(double rate, uint32_t minFrames, uint32_t maxFrames);
    void deactivate() {}
    bool startProcessing() { return true; }
    void stopProcessing() {}
    void reset();
    clap_process_status process(const clap_process* block);
    const void* getExtension(const char* id);
    void onMainThread() {}

    // Small extensions (plugin.cpp).
    uint32_t audioPortsCount(bool isInput) const { return isInput ? 2 : 1; }
    bool audioPortsGet(uint32_t index, bool isInput, clap_audio_port_info* info) const;
    uint32_t notePortsCount(bool isInput) const { return isInput ? 1 : 0; }
    bool notePortsGet(uint32_t index, bool isInput, clap_note_port_info* info) const;
    // The time stage's tail in samples for the values as set (any thread),
    // within 0..2 000 000 000.
    uint32_t tailGet() const;

    // "clap.params" (plugin.cpp; the flush in process.cpp).
    uint32_t paramsCount() const { return kParamCount; }
    bool paramsGetInfo(uint32_t index, clap_param_info* info) const;
    bool paramsGetValue(clap_id id, double* out) const;
    bool paramsValueToText(clap_id id, double value, char* buffer, uint32_t capacity) const;
    bool paramsTextToValue(clap_id id, const char* text, double* out) const;
    void paramsFlush(const clap_input_events* in, const clap_output_events* out);

    // Audio side (process.cpp).
    void syncEngine();
    // What the engine hears: the value plus the host's modulation, clamped to
    // the row's range. Audio thread only; ids 0..82.
    double effectiveValue(uint32_t id) const;
    // Real quantity (Hz, ms, dB, index) of effectiveValue; 0 for unknown ids.
    double realValue(uint32_t id) const;
    // Main thread: hands the editor's selection and visibility to the
    // engine's scope capture.
    void updateScopeTarget();

    // Queues a gesture or value for the host and asks it for a flush. False
    // when the ring is full.
    bool pushOut(uint32_t paramId, double value, uint8_t kind);

    // "clap.state" (state.cpp).
    bool stateSave(const clap_ostream* stream) const;
    // A failed load changes nothing; a load clears the undo history, since
    // the host keeps its own.
    bool stateLoad(const clap_istream* stream);
    // The whole sound as the state stream carries it, and back.
    std::vector<uint8_t> stateBytes() const;
    bool loadStateBytes(std::span<const uint8_t> bytes);

    // ---- undo history (undo.cpp; main thread) ----
    // Edits between undoBegin and undoEnd make one step; nested pairs join
    // the outer one. A burst step is widened by the next burst step on the
    // same parameters within half a second (wheel notches).
    void undoBegin(const char* label, bool burst = false);
    void undoEnd();
    // Puts back what the open step changed so far; it leaves no trace.
    void undoCancel();
    // Takes the newest step back, or (redoing) makes the next undone one again.
    bool undoOrRedo(bool redoing);
    void clearUndo();
    // The sound and the curve view as they are, for a caller that gathers a
    // step itself: take one before a whole-sound change (A/B switching),
    // then pushUndoStep records the change to the sound as it is now, every
    // parameter that differs included. Nothing when nothing changed.
    UndoSnapshot undoSnapshot() const;
    void pushUndoStep(const std::string& label, const UndoSnapshot& before);

    // The plain value, as the host and the state see it; 0 for unknown ids.
    double paramValue(uint32_t id) const {
        return id < kParamCount ? values[id].load(std::memory_order_relaxed) : 0.0;
    }

    // Preset library and "clap.preset-load" (preset_library.cpp; main thread).
    void ensurePresetList();
    // Kind 0: a file at location; kind 1: the built-in named by loadKey. A
    // failed load changes nothing and is reported to the host.
    bool presetLoadFromLocation(uint32_t kind, const char* location, const char* loadKey);
    // The host's own load: as above, and the undo history is cleared.
    bool presetLoadFromHost(uint32_t kind, const char* location, const char* loadKey);
    void reportPresetError(uint32_t kind, const char* location, const char* loadKey,
                           const std::string& message) const;

    // "clap.gui", "clap.timer-support" and "clap.posix-fd-support"
    // (gui_extension.cpp; main thread). Only an embedded X11 window; create
    // fails when the host offers neither timers nor descriptors to tick it with.
    bool guiIsApiSupported(const char* api, bool floating) const;
    bool guiGetPreferredApi(const char** api, bool* floating) const;
    bool guiCreate(const char* api, bool floating);
    // Stops the editor's clock and closes its window; nothing when none is open.
    void guiDestroy();
    bool guiSetScale(double scale);
    bool guiGetSize(uint32_t* width, uint32_t* height);
    bool guiCanResize() const { return true; }
    bool guiGetResizeHints(clap_gui_resize_hints* hints);
    bool guiAdjustSize(uint32_t* width, uint32_t* height);
    bool guiSetSize(uint32_t width, uint32_t height);
    bool guiSetParent(const clap_window* parent);
    bool guiSetTransient(const clap_window* other);
    void guiSuggestTitle(const char* title);
    bool guiShow() { return guiShowOrHide(true); }
    bool guiHide() { return guiShowOrHide(false); }
    void guiOnTimer(clap_id timerId);
    void posixFdOnFd(int fd, clap_posix_fd_flags_t flags);

    // plugincore::GuiDelegate (editor_interfaces.cpp)
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
    bool guiSavePreset(const std::string& name, const std::string& description,
                       std::string& err) override;
    SaveCheck guiCheckSaveName(const std::string& name, std::string& message) const override;
    bool guiRenamePreset(int index, const std::string& name, const std::string& description,
                         std::string& err) override;
    bool guiDeletePreset(int index, std::string& err) override;
    // A/B compare (state.cpp): two sounds kept while the instance lives.
    int guiCompareSlot() const override { return compareActive; }
    void guiCompareSwitch() override;
    void guiCompareCopy() override;
    bool guiRequestResize(uint32_t width, uint32_t height) override; // gui_extension.cpp
    std::vector<plugincore::HostMenuItem> guiHostMenu(uint32_t paramId) override;
    bool guiHostMenuPerform(uint32_t paramId, uint32_t actionId) override;

    // CurveAccess (editor_interfaces.cpp). Module and band numbers are
    // brought into range here, where they enter.
    int curveModule() const override { return selModule.load(std::memory_order_relaxed); }
    int curveBand() const override { return selBand.load(std::memory_order_relaxed); }
    void curveSelectModule(int module) override;
    void curveSelectBand(int band) override;
    bool curveEditAllBands() const override { return editAllBands.load(std::memory_order_relaxed); }
    void curveSetEditAllBands(bool on) override;
    const Curve& curveAt(int module, int band) const override;
    bool curveModuleEnabled(int module) const override;
    bool curveBandEnabled(int band) const override;
    void curveEnableModule(int module) override;
    int curveAddPoint(int module, int band, float x, float y, int weight) override;
    void curveMovePoint(int module, int band, int point, float x, float y) override;
    void curveRemovePoint(int module, int band, int point) override;
    void curveSetWeight(int module, int band, int point, int weight, bool allPoints) override;
    void curveSetFlat(int module, int band, float value) override;
    void curveSetBend(int module, int band, int point, float bend) override;
    void curveSetStep(int module, int band, int cell, int cells, float value) override;
    void curveFillSteps(int module, int band, int cells) override;
    void curveReplace(int module, int band, const Curve& curve) override;
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
    double curveParamValue(uint32_t id) const override { return paramValue(id); }
    void curveBeginEnd(int module) override;
    void curveSetEnd(int module, float value) override;
    void curveFinishEnd(int module) override;
    void curveUndoBegin(const char* label, bool burst) override { undoBegin(label, burst); }
    void curveUndoEnd() override { undoEnd(); }
    void curveUndoCancel() override { undoCancel(); }
    bool curveUndo() override { return undoOrRedo(false); }
    bool curveRedo() override { return undoOrRedo(true); }
    std::string curveUndoLabel(bool redoing) const override;

    // Handed to the host; plugin_data points back at this object.
    clap_plugin clap;

    // -- set at creation, read by every thread --
    const clap_host* host;
    // -- main thread (activate) --
    double sampleRate = 48000.0;
    // -- written by host events, the editor and loads; read by all --
    // Each in its parameter's value space, indexed by parameter id.
    std::array<std::atomic<double>, kParamCount> values;
    std::atomic<bool> paramsDirty{true};
    // -- the tail the host last heard of: set by activate, then audio thread only --
    uint32_t reportedTail = 0;
    // -- audio thread only: the host's modulation amounts, in value space --
    std::array<double, kParamCount> modulation{};
    // -- main thread (the editor too); reaches the audio thread via publishCurves --
    CurveSet curveSet;
    // -- editor selection, read by the audio thread through the scope target --
    std::atomic<int> selModule{0};
    std::atomic<int> selBand{1};
    std::atomic<bool> editAllBands{true};
    std::atomic<bool> stepMode{false};
    std::atomic<bool> scopeVisible{false};
    std::atomic<bool> snap{true};
    // -- prepared on the main thread, run on the audio thread --
    Engine engine;
    // -- editor writes, process or flush reads --
    OutQueue outQueue;
    // -- presets (main thread), presetEdited set by every writer --
    std::atomic<bool> presetEdited{false};
    int currentPreset = -1;
    bool presetListReady = false;
    std::vector<plugincore::GuiPreset> presets;
    // -- A/B compare (main thread): the sound of the slot not shown, and the
    // preset and edited mark that went with it; an empty sound is unused --
    struct CompareSlot {
        std::vector<uint8_t> sound;
        bool edited = false;
        int preset = -1;
    };
    std::array<CompareSlot, 2> compareSlots;
    int compareActive = 0;
    // Only while the editor is open; main thread.
    Editor* editor = nullptr;
    // -- main thread: the editor's undo history and the step being gathered --
    UndoHistory undoHistory;
    OpenUndoStep openStep;

private:
    // process.cpp
    uint32_t readInputEvents(const clap_input_events* in, uint32_t next, uint32_t at,
                             uint32_t* triggers, uint32_t* triggerCount);
    void setParam(uint32_t id, double value);
    void drainOut(const clap_output_events* out);

    // state.cpp. The caller has read and checked everything first; here every
    // value is stored once (the audio thread never sees a half-applied
    // sound), the curves are published and the host asked to rescan.
    void applySound(const std::array<double, kParamCount>& values, const CurveSet& curves);

    // gui_extension.cpp
    bool guiShowOrHide(bool visible);

    // undo.cpp. An edit captures the sound before it once per step;
    // undoTouch names a parameter the editor set, so it can belong to it.
    std::unique_ptr<StateRecord> soundRecord() const;
    void undoCapture();
    void undoTouch(uint32_t id);
    void recordStep(const std::string& label, const UndoSnapshot& before,
                    const std::bitset<kParamCount>& touched, bool burst);
    void restoreSnapshot(const UndoSnapshot& snapshot, const std::vector<uint32_t>& params,
                         bool curves);
    friend class UndoScope;

    // plugin.cpp and preset_library.cpp
    const void* hostExtension(const char* id) const;
    const clap_host_params* hostParams() const;
    // "clap.context-menu/1", or else its draft id; null when neither.
    const clap_host_context_menu* hostContextMenu() const;
    // Builds the list afresh, keeping the current preset when it is still listed.
    void rebuildPresetList();
    // "clap.preset-load/2", or else its draft id; null when neither.
    const clap_host_preset_load* hostPresetLoad() const;

    // editor_interfaces.cpp; these take valid module and band numbers.
    template <class Edit>
    void editCurves(const char* label, int module, std::optional<int> point, bool switchOn,
                    Edit&& edit);
    void ensureStageForEdit(int module);
    void finishCurveEdit();
    void materialiseChain();
    bool moduleSwitchOn(int module) const;
    void setModuleSwitch(int module, bool on);
};

// One editor operation: its edits join the open undo step, or make one of
// their own when none is open.
class UndoScope {
public:
    UndoScope(NorvalePlugin& plugin, const char* label) : plugin_(plugin) {
        plugin_.undoBegin(label);
        plugin_.undoCapture();
    }
    ~UndoScope() { plugin_.undoEnd(); }
    UndoScope(const UndoScope&) = delete;
    UndoScope& operator=(const UndoScope&) = delete;
    void touch(uint32_t id) { plugin_.undoTouch(id); }

private:
    NorvalePlugin& plugin_;
};

// The open editor's window, or null.
PluginWindow* editorWindow(const NorvalePlugin& self);

} // namespace norvale
