#include "presets/state_codec.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace norvale {

namespace {

constexpr char kMagic[4] = {'N', 'O', 'R', 'V'};
constexpr char kPresetTag[4] = {'P', 'S', 'E', 'T'};
// Bounds on what a stream may ask for, so a hostile one cannot make us
// allocate or spin without end.
constexpr uint32_t kMaxStoredParams = 4096;
constexpr uint32_t kMaxCurveText = 65536;
constexpr uint32_t kMaxChainText = 256;
constexpr uint32_t kMaxPresetName = 1024;
constexpr int kCurveRecords = kModuleCount * kBandCount;
constexpr int kVersion1CurveRecords = 4 * kBandCount; // vol, flt, drv, tim

// ---- writing ----

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void putF64(std::vector<uint8_t>& out, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 0; shift < 64; shift += 8)
        out.push_back(static_cast<uint8_t>(bits >> shift));
}

void putText(std::vector<uint8_t>& out, std::string_view text) {
    putU32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

// ---- reading ----

// Every take fills its field completely or reports false.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool raw(void* out, size_t size) {
        if (size > bytes_.size() - at_) return false;
        if (size > 0) std::memcpy(out, bytes_.data() + at_, size);
        at_ += size;
        return true;
    }
    bool u32(uint32_t& value) {
        uint8_t b[4];
        if (!raw(b, sizeof b)) return false;
        value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    bool f64(double& value) {
        uint8_t b[8];
        if (!raw(b, sizeof b)) return false;
        uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | b[i];
        std::memcpy(&value, &bits, sizeof value);
        return true;
    }
    bool text(std::string_view& out, uint32_t length) {
        if (length > bytes_.size() - at_) return false;
        out = {reinterpret_cast<const char*>(bytes_.data() + at_), length};
        at_ += length;
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

} // namespace

std::vector<uint8_t> encodeState(const StateRecord& state) {
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    putU32(out, kStateVersion);
    putU32(out, kParamCount);
    for (const plugincore::ParamDesc& desc : kParams) {
        putU32(out, desc.id);
        putF64(out, state.values[desc.id]);
    }
    for (int module = 0; module < kModuleCount; ++module)
        for (int band = 0; band < kBandCount; ++band)
            putText(out, state.curves.curves[module][band].format());
    out.push_back(static_cast<uint8_t>(state.module));
    out.push_back(static_cast<uint8_t>(state.band));
    out.push_back(state.snap ? 1 : 0);
    out.push_back(state.editAllBands ? 1 : 0);
    out.push_back(state.stepMode ? 1 : 0);
    putText(out, formatChain(state.curves));
    out.insert(out.end(), kPresetTag, kPresetTag + sizeof kPresetTag);
    putText(out, state.presetName);
    out.push_back(state.presetEdited ? 1 : 0);
    return out;
}

bool decodeState(std::span<const uint8_t> bytes, StateRecord& out) {
    Reader in(bytes);
    char magic[4];
    uint32_t version = 0;
    uint32_t count = 0;
    if (!in.raw(magic, sizeof magic) || !in.u32(version) || !in.u32(count)) return false;
    if (std::memcmp(magic, kMagic, sizeof magic) != 0 || version > kStateVersion ||
        count > kMaxStoredParams)
        return false;
    for (const plugincore::ParamDesc& desc : kParams)
        out.values[desc.id] = desc.defaultValue;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t id = 0;
        double value = 0.0;
        if (!in.u32(id) || !in.f64(value)) return false;
        // Parameters of a later version are skipped.
        if (id < kParamCount) out.values[id] = plugincore::paramClamp(kParams[id], value);
    }
    resetCurves(out.curves);
    out.hasSelection = out.hasSnap = out.hasToggles = out.hasPreset = false;
    const int records = version == 1 ? kVersion1CurveRecords : kCurveRecords;
    std::string_view text;
    for (int i = 0; i < records; ++i) {
        uint32_t length = 0;
        if (!in.u32(length)) return true;
        if (length > kMaxCurveText) return false;
        if (!in.text(text, length)) return true;
        // A curve that does not parse stays flat.
        out.curves.curves[i / kBandCount][i % kBandCount].parse(text);
    }
    int8_t selection[2];
    if (!in.raw(selection, sizeof selection)) return true;
    out.hasSelection = true;
    out.module = std::clamp<int>(selection[0], 0, kModuleCount - 1);
    out.band = std::clamp<int>(selection[1], 0, kBandCount - 1);
    uint8_t flag = 0;
    if (!in.raw(&flag, 1)) return true;
    out.hasSnap = true;
    out.snap = flag != 0;
    if (version < 2) return true;
    uint8_t toggles[2];
    if (!in.raw(toggles, sizeof toggles)) return true;
    out.hasToggles = true;
    out.editAllBands = toggles[0] != 0;
    out.stepMode = toggles[1] != 0;
    if (version < 3) return true;
    uint32_t length = 0;
    if (!in.u32(length) || length > kMaxChainText || !in.text(text, length)) return true;
    // An unknown word keeps the modules read before it.
    parseChain(text, out.curves);
    // The preset record counts only when it arrived whole.
    char tag[4];
    uint8_t edited = 0;
    if (!in.raw(tag, sizeof tag) || std::memcmp(tag, kPresetTag, sizeof tag) != 0 ||
        !in.u32(length) || length > kMaxPresetName || !in.text(text, length) || !in.raw(&edited, 1))
        return true;
    out.hasPreset = true;
    out.presetName.assign(text);
    out.presetEdited = edited != 0;
    return true;
}

} // namespace norvale
