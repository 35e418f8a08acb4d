// "clap.state": the stream of presets/state_codec, read whole from the host,
// and the one function both state and preset loads apply a sound through.
#include <memory>
#include <span>
#include <vector>

#include "plugin/norvale_plugin.h"
#include "presets/state_codec.h"

namespace norvale {

namespace {

// Far above the largest stream a plug-in writes (21 curves of at most
// 65536 bytes and 4096 parameters); reading stops there.
constexpr size_t kMaxStateBytes = size_t{4} << 20;

// ---- host streams ----

// Reads until the stream ends, fails or passes kMaxStateBytes; the decoder
// treats a stream cut short like one that ended there.
std::vector<uint8_t> readStream(const clap_istream& stream) {
    std::vector<uint8_t> bytes;
    if (stream.read == nullptr) return bytes;
    uint8_t chunk[4096];
    while (bytes.size() < kMaxStateBytes) {
        const int64_t got = stream.read(&stream, chunk, sizeof chunk);
        if (got <= 0 || static_cast<uint64_t>(got) > sizeof chunk) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

// Repeats partial writes; false on a write error.
bool writeStream(const clap_ostream& stream, const std::vector<uint8_t>& bytes) {
    if (stream.write == nullptr) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const uint64_t remaining = bytes.size() - done;
        const int64_t written = stream.write(&stream, bytes.data() + done, remaining);
        // A stream claiming more than it was given is as broken as one that fails.
        if (written <= 0 || static_cast<uint64_t>(written) > remaining) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

} // namespace

// ---- save and load ----

bool NorvalePlugin::stateSave(const clap_ostream* stream) const {
    return stream != nullptr && writeStream(*stream, stateBytes());
}

bool NorvalePlugin::stateLoad(const clap_istream* stream) {
    return stream != nullptr && loadStateBytes(readStream(*stream));
}

std::vector<uint8_t> NorvalePlugin::stateBytes() const {
    auto state = std::make_unique<StateRecord>();
    for (uint32_t id = 0; id < kParamCount; ++id)
        state->values[id] = paramValue(id);
    state->curves = curveSet;
    state->module = selModule.load(std::memory_order_relaxed);
    state->band = selBand.load(std::memory_order_relaxed);
    state->snap = snap.load(std::memory_order_relaxed);
    state->editAllBands = editAllBands.load(std::memory_order_relaxed);
    state->stepMode = stepMode.load(std::memory_order_relaxed);
    if (currentPreset >= 0 && static_cast<size_t>(currentPreset) < presets.size())
        state->presetName = presets[currentPreset].name;
    state->presetEdited = presetEdited.load(std::memory_order_acquire);
    return encodeState(*state);
}

bool NorvalePlugin::loadStateBytes(std::span<const uint8_t> bytes) {
    // Staged off the stack: a curve set is some twenty kilobytes.
    auto state = std::make_unique<StateRecord>();
    if (!decodeState(bytes, *state)) return false;
    if (state->hasSelection) {
        selModule.store(state->module, std::memory_order_relaxed);
        selBand.store(state->band, std::memory_order_relaxed);
    }
    if (state->hasSnap) snap.store(state->snap, std::memory_order_relaxed);
    if (state->hasToggles) {
        editAllBands.store(state->editAllBands, std::memory_order_relaxed);
        stepMode.store(state->stepMode, std::memory_order_relaxed);
    }
    applySound(state->values, state->curves);
    // A song reopens showing the preset it was made with; a stream from before
    // the record leaves the preset shown as it was.
    if (state->hasPreset) {
        ensurePresetList();
        currentPreset = -1;
        if (!state->presetName.empty())
            for (size_t i = 0; i < presets.size() && currentPreset < 0; ++i)
                if (presets[i].name == state->presetName) currentPreset = static_cast<int>(i);
        presetEdited.store(state->presetEdited, std::memory_order_release);
    }
    return true;
}

// ---- A/B compare ----

void NorvalePlugin::guiCompareSwitch() {
    try {
        CompareSlot& shown = compareSlots[compareActive];
        shown = {stateBytes(), guiPresetEdited(), currentPreset};
        const int other = 1 - compareActive;
        // The first switch starts the other slot as a copy of this one.
        if (compareSlots[other].sound.empty()) compareSlots[other] = shown;
        const CompareSlot& next = compareSlots[other];
        if (!loadStateBytes(next.sound)) return;
        compareActive = other;
        currentPreset = next.preset < int(presets.size()) ? next.preset : -1;
        presetEdited.store(next.edited, std::memory_order_release);
    } catch (...) {
        // Out of memory: the sound stays as it is.
    }
}

void NorvalePlugin::guiCompareCopy() {
    try {
        compareSlots[1 - compareActive] = {stateBytes(), guiPresetEdited(), currentPreset};
    } catch (...) {}
}

// ---- applying a sound ----

void NorvalePlugin::applySound(const std::array<double, kParamCount>& newValues,
                               const CurveSet& curves) {
    for (uint32_t id = 0; id < kParamCount; ++id)
        values[id].store(newValues[id], std::memory_order_relaxed);
    curveSet = curves;
    engine.publishCurves(curveSet);
    paramsDirty.store(true, std::memory_order_release);
    updateScopeTarget();
    if (const clap_host_params* params = hostParams();
        params != nullptr && params->rescan != nullptr)
        params->rescan(host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
}

} // namespace norvale
