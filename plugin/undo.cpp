// Undo and redo of the editor's actions. A step is gathered between the
// editor's begin and end (a press to its release, one key): the sound is
// captured at its first edit and again at its end, and the two snapshots go
// into the history. Undo and redo put a snapshot back the way a state load
// does, whole and once, and tell the host about every parameter they move.
#include <algorithm>
#include <memory>

#include "plugin/norvale_plugin.h"
#include "presets/preset_format.h"
#include "presets/state_codec.h"

namespace norvale {

namespace {

// Wheel notches closer than this make one step.
constexpr auto kBurstGap = std::chrono::milliseconds(500);

size_t stepBytes(const UndoStep& step) {
    return step.before.sound.size() + step.after.sound.size() + step.label.size() +
           step.params.size() * sizeof(uint32_t);
}

std::unique_ptr<StateRecord> decoded(const UndoSnapshot& snapshot) {
    auto record = std::make_unique<StateRecord>();
    // Our own encoder wrote it; a snapshot that did not decode would leave
    // the defaults, which is still a whole sound.
    decodeState(snapshot.sound, *record);
    return record;
}

} // namespace

// ---- the history ----

void UndoHistory::push(UndoStep step) {
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(done_), steps_.end());
    steps_.push_back(std::move(step));
    done_ = steps_.size();
    recount();
}

void UndoHistory::recount() {
    bytes_ = 0;
    for (const UndoStep& step : steps_)
        bytes_ += stepBytes(step);
    while (steps_.size() > 1 && (steps_.size() > kMaxSteps || bytes_ > kMaxBytes)) {
        bytes_ -= stepBytes(steps_.front());
        steps_.pop_front();
        done_ -= done_ > 0 ? 1 : 0;
    }
}

void UndoHistory::clear() {
    steps_.clear();
    done_ = 0;
    bytes_ = 0;
}

// ---- snapshots ----

std::unique_ptr<StateRecord> NorvalePlugin::soundRecord() const {
    auto record = std::make_unique<StateRecord>();
    for (uint32_t id = 0; id < kParamCount; ++id)
        record->values[id] = paramValue(id);
    record->curves = curveSet;
    return record;
}

UndoSnapshot NorvalePlugin::undoSnapshot() const {
    return {encodeState(*soundRecord()),
            {selModule.load(std::memory_order_relaxed), selBand.load(std::memory_order_relaxed),
             editAllBands.load(std::memory_order_relaxed), compareActive}};
}

// Puts the parameters named and, when asked, the curves and chain of a
// snapshot back, then shows its view.
void NorvalePlugin::restoreSnapshot(const UndoSnapshot& snapshot,
                                    const std::vector<uint32_t>& params, bool curves) {
    const std::unique_ptr<StateRecord> record = decoded(snapshot);
    bool told = true;
    for (const uint32_t id : params) {
        told = pushOut(id, 0.0, kOutGestureBegin) && told;
        values[id].store(record->values[id], std::memory_order_relaxed);
        told = pushOut(id, record->values[id], kOutValue) && told;
        told = pushOut(id, 0.0, kOutGestureEnd) && told;
    }
    if (curves) {
        curveSet = record->curves;
        engine.publishCurves(curveSet);
    }
    paramsDirty.store(true, std::memory_order_release);
    presetEdited.store(true, std::memory_order_release);
    selModule.store(snapshot.view.module, std::memory_order_relaxed);
    selBand.store(snapshot.view.band, std::memory_order_relaxed);
    editAllBands.store(snapshot.view.allBands, std::memory_order_relaxed);
    compareActive = snapshot.view.compareSlot;
    updateScopeTarget();
    // A host that let the ring fill up still learns the values.
    if (const clap_host_params* hostSide = hostParams();
        !told && hostSide != nullptr && hostSide->rescan != nullptr)
        hostSide->rescan(host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
}

// ---- gathering a step ----

void NorvalePlugin::undoBegin(const char* label, bool burst) {
    if (openStep.depth++ > 0) {
        if (openStep.label.empty() && label != nullptr) openStep.label = label;
        return;
    }
    openStep.captured = false;
    openStep.burst = burst;
    openStep.label = label != nullptr ? label : "";
    openStep.touched.reset();
}

void NorvalePlugin::undoCapture() {
    if (openStep.depth == 0 || openStep.captured) return;
    openStep.before = undoSnapshot();
    openStep.captured = true;
}

void NorvalePlugin::undoTouch(uint32_t id) {
    if (id < kParamCount) openStep.touched.set(id);
}

void NorvalePlugin::undoEnd() {
    if (openStep.depth == 0 || --openStep.depth > 0 || !openStep.captured) return;
    openStep.captured = false;
    recordStep(openStep.label, openStep.before, openStep.touched, openStep.burst);
}

void NorvalePlugin::undoCancel() {
    if (openStep.depth == 0 || !openStep.captured) return;
    const std::unique_ptr<StateRecord> now = soundRecord();
    const std::unique_ptr<StateRecord> before = decoded(openStep.before);
    std::vector<uint32_t> params;
    for (uint32_t id = 0; id < kParamCount; ++id)
        if (openStep.touched[id] && now->values[id] != before->values[id]) params.push_back(id);
    restoreSnapshot(openStep.before, params, true);
    // What the editor does after the cancel is a step of its own.
    openStep.captured = false;
    openStep.touched.reset();
}

void NorvalePlugin::pushUndoStep(const std::string& label, const UndoSnapshot& before) {
    recordStep(label, before, std::bitset<kParamCount>().set(), false);
}

void NorvalePlugin::recordStep(const std::string& label, const UndoSnapshot& before,
                               const std::bitset<kParamCount>& touched, bool burst) {
    UndoStep step;
    step.after = undoSnapshot();
    if (step.after.sound == before.sound) return;
    const std::unique_ptr<StateRecord> from = decoded(before);
    const std::unique_ptr<StateRecord> to = decoded(step.after);
    for (uint32_t id = 0; id < kParamCount; ++id)
        if (touched[id] && from->values[id] != to->values[id]) step.params.push_back(id);
    step.curvesChanged = formatCurveLines(from->curves) != formatCurveLines(to->curves);
    if (step.params.empty() && !step.curvesChanged) return; // host automation alone
    step.label = label;
    step.before = before;
    step.burst = burst;
    step.time = std::chrono::steady_clock::now();

    // A burst (wheel notches) on the same parameters widens the newest step.
    if (UndoStep* newest = undoHistory.newest();
        burst && newest != nullptr && newest->burst && !step.curvesChanged &&
        !newest->curvesChanged && newest->params == step.params &&
        newest->after.sound == before.sound && step.time - newest->time < kBurstGap) {
        newest->after = std::move(step.after);
        newest->time = step.time;
        undoHistory.recount();
        return;
    }
    undoHistory.push(std::move(step));
}

// ---- undo and redo ----

bool NorvalePlugin::undoOrRedo(bool redoing) {
    const UndoStep* step = redoing ? undoHistory.redoable() : undoHistory.undoable();
    if (step == nullptr || openStep.captured) return false;
    restoreSnapshot(redoing ? step->after : step->before, step->params, step->curvesChanged);
    if (redoing)
        undoHistory.stepForward();
    else
        undoHistory.stepBack();
    return true;
}

void NorvalePlugin::clearUndo() {
    undoHistory.clear();
    // An edit in progress starts afresh from the sound just loaded.
    openStep.captured = false;
    openStep.touched.reset();
}

std::string NorvalePlugin::curveUndoLabel(bool redoing) const {
    const UndoStep* step = redoing ? undoHistory.redoable() : undoHistory.undoable();
    return step == nullptr ? std::string() : step->label.empty() ? "edit" : step->label;
}

} // namespace norvale
