// "clap.state": the whole sound and the curve editor's view as a small
// little-endian record ("NORV", version 3).
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "plugin/byte_stream.h"
#include "plugin/extensions.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

namespace {

constexpr char kMagic[4] = {'N', 'O', 'R', 'V'};
constexpr uint32_t kStateVersion = 3;
// Bounds on what a stream may ask for, so a hostile one cannot make us
// allocate or spin without end.
constexpr uint32_t kMaxStoredParams = 4096;
constexpr uint32_t kMaxCurveText = 65536;
constexpr uint32_t kMaxChainText = 256;
constexpr int kCurveRecords = kModuleCount * kBandCount;
constexpr int kVersion1CurveRecords = 4 * kBandCount;  // vol, flt, drv, tim

// A load is read completely into this and applied only if it succeeds, so a
// bad stream leaves the plug-in exactly as it was.
struct StagedState {
    std::array<double, kParamCount> values{};
    CurveSet curves;
    bool hasSelection = false;
    int module = 0;
    int band = 0;
    bool hasSnap = false;
    bool snap = false;
    bool hasToggles = false;
    bool editAllBands = false;
    bool stepMode = false;
};

// False on a hard failure. A stream that ends after the parameters is
// tolerated: whatever was read so far stands.
bool readState(StreamReader& in, StagedState& state) {
    char magic[4];
    uint32_t version = 0;
    uint32_t count = 0;
    if (!in.raw(magic, sizeof magic) || !in.u32(version) || !in.u32(count)) return false;
    if (std::memcmp(magic, kMagic, sizeof magic) != 0 || version > kStateVersion ||
        count > kMaxStoredParams)
        return false;

    for (uint32_t id = 0; id < kParamCount; ++id) state.values[id] = kParams[id].defaultValue;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t id = 0;
        double value = 0.0;
        if (!in.u32(id) || !in.f64(value)) return false;
        // Parameters of a later version are skipped.
        if (id < kParamCount) state.values[id] = plugincore::paramClamp(kParams[id], value);
    }

    resetCurves(state.curves);
    const int records = version == 1 ? kVersion1CurveRecords : kCurveRecords;
    std::string text;
    for (int i = 0; i < records; ++i) {
        uint32_t length = 0;
        if (!in.u32(length)) return true;
        if (length > kMaxCurveText) return false;
        if (!in.text(text, length)) return true;
        // A curve that does not parse stays flat.
        state.curves.curves[i / kBandCount][i % kBandCount].parse(text);
    }

    uint8_t selection[2];
    if (!in.raw(selection, sizeof selection)) return true;
    state.hasSelection = true;
    state.module = std::clamp<int>(static_cast<int8_t>(selection[0]), 0, kModuleCount - 1);
    state.band = std::clamp<int>(static_cast<int8_t>(selection[1]), 0, kBandCount - 1);
    uint8_t snap = 0;
    if (!in.u8(snap)) return true;
    state.hasSnap = true;
    state.snap = snap != 0;

    if (version < 2) return true;
    uint8_t toggles[2];
    if (!in.raw(toggles, sizeof toggles)) return true;
    state.hasToggles = true;
    state.editAllBands = toggles[0] != 0;
    state.stepMode = toggles[1] != 0;

    if (version < 3) return true;
    uint32_t length = 0;
    if (!in.u32(length) || length > kMaxChainText) return true;
    if (!in.text(text, length)) return true;
    // An unknown word keeps the modules read before it.
    parseChain(text, state.curves);
    return true;
}

bool stateSave(const clap_plugin* plugin, const clap_ostream* stream) {
    const NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self == nullptr) return false;
    try {
        return self->stateSave(stream);
    } catch (...) {
        return false;
    }
}

bool stateLoad(const clap_plugin* plugin, const clap_istream* stream) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self == nullptr) return false;
    try {
        return self->stateLoad(stream);
    } catch (...) {
        return false;
    }
}

}  // namespace

const clap_plugin_state kStateExt = {stateSave, stateLoad};

bool NorvalePlugin::stateSave(const clap_ostream* stream) const {
    if (stream == nullptr) return false;
    ByteWriter out;
    out.raw(std::string_view(kMagic, sizeof kMagic));
    out.u32(kStateVersion);
    out.u32(kParamCount);
    for (const plugincore::ParamDesc& desc : kParams) {
        out.u32(desc.id);
        out.f64(paramValue(desc.id));
    }
    for (int module = 0; module < kModuleCount; ++module) {
        for (int band = 0; band < kBandCount; ++band) {
            const std::string text = curveSet.curves[module][band].format();
            out.u32(static_cast<uint32_t>(text.size()));
            out.raw(text);
        }
    }
    out.u8(static_cast<uint8_t>(selModule.load(std::memory_order_relaxed)));
    out.u8(static_cast<uint8_t>(selBand.load(std::memory_order_relaxed)));
    out.u8(snap.load(std::memory_order_relaxed) ? 1 : 0);
    out.u8(editAllBands.load(std::memory_order_relaxed) ? 1 : 0);
    out.u8(stepMode.load(std::memory_order_relaxed) ? 1 : 0);
    const std::string chain = formatChain(curveSet);
    out.u32(static_cast<uint32_t>(chain.size()));
    out.raw(chain);
    return writeAll(*stream, out.data());
}

bool NorvalePlugin::stateLoad(const clap_istream* stream) {
    if (stream == nullptr) return false;
    auto state = std::make_unique<StagedState>();
    StreamReader in(*stream);
    if (!readState(in, *state)) return false;

    for (uint32_t id = 0; id < kParamCount; ++id)
        values[id].store(state->values[id], std::memory_order_relaxed);
    curveSet = state->curves;
    if (state->hasSelection) {
        selModule.store(state->module, std::memory_order_relaxed);
        selBand.store(state->band, std::memory_order_relaxed);
    }
    if (state->hasSnap) snap.store(state->snap, std::memory_order_relaxed);
    if (state->hasToggles) {
        editAllBands.store(state->editAllBands, std::memory_order_relaxed);
        stepMode.store(state->stepMode, std::memory_order_relaxed);
    }
    engine.publishCurves(curveSet);
    paramsDirty.store(true, std::memory_order_release);
    updateScopeTarget();
    if (const clap_host_params* params = hostParams(); params != nullptr && params->rescan)
        params->rescan(host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
    return true;
}

}  // namespace norvale
