#include "test_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace claphost {

// ---------------------------------------------------------------- Module

Module::Module(const char* path) : path_(path) {
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = why ? why : "dlopen failed";
        return;
    }
    entry_ = static_cast<const clap_plugin_entry_t*>(dlsym(handle_, "clap_entry"));
    if (!entry_) {
        error_ = "no clap_entry symbol";
        return;
    }
    if (!entry_->init || !entry_->init(path)) {
        error_ = "clap_entry.init failed";
        return;
    }
    initialised_ = true;
}

Module::~Module() {
    if (initialised_ && entry_->deinit) entry_->deinit();
    if (handle_) dlclose(handle_);
}

const clap_plugin_factory_t* Module::factory() const {
    if (!ok()) return nullptr;
    return static_cast<const clap_plugin_factory_t*>(entry_->get_factory("clap.plugin-factory"));
}

const clap_plugin_descriptor_t* Module::descriptor() const {
    const clap_plugin_factory_t* f = factory();
    return f ? f->get_plugin_descriptor(f, 0) : nullptr;
}

// ---------------------------------------------------------------- audio

AudioBlock::AudioBlock(uint32_t n)
    : frames(n), inL(n, 0.0f), inR(n, 0.0f), outL(n, 0.0f), outR(n, 0.0f) {}

void AudioBlock::fillInput(float (*signal)(uint32_t, int), uint32_t startFrame) {
    for (uint32_t i = 0; i < frames; ++i) {
        inL[i] = signal(startFrame + i, 0);
        inR[i] = signal(startFrame + i, 1);
    }
}

clap_process_status AudioBlock::run(const clap_plugin_t* plugin) {
    float* outPtrs[2] = {outL.data(), outR.data()};
    float* inPtrs[2] = {inL.data(), inR.data()};
    if (inPlace) {
        outL = inL;
        outR = inR;
        outPtrs[0] = outL.data();
        outPtrs[1] = outR.data();
        inPtrs[0] = outPtrs[0];
        inPtrs[1] = outPtrs[1];
    }
    std::vector<float*> scPtrs;
    for (auto& ch : sidechain) scPtrs.push_back(ch.empty() ? nullptr : ch.data());

    clap_audio_buffer_t inputs[2] = {};
    inputs[0].data32 = inPtrs;
    inputs[0].channel_count = 2;
    inputs[1].data32 = scPtrs.empty() || sidechain64Only ? nullptr : scPtrs.data();
    inputs[1].channel_count = static_cast<uint32_t>(scPtrs.size());
    clap_audio_buffer_t outputs[1] = {};
    outputs[0].data32 = outPtrs;
    outputs[0].channel_count = 2;

    clap_process_t p{};
    p.steady_time = -1;
    p.frames_count = frames;
    p.audio_inputs = inputs;
    p.audio_inputs_count = sidechainPort ? 2 : 1;
    p.audio_outputs = outputs;
    p.audio_outputs_count = 1;
    p.in_events = events.list();
    p.out_events = outEvents.list();
    return plugin->process(plugin, &p);
}

// ---------------------------------------------------------------- streams

MemoryOut::MemoryOut() {
    stream_.ctx = this;
    stream_.write = [](const clap_ostream_t* s, const void* buffer, uint64_t size) -> int64_t {
        auto& me = *static_cast<MemoryOut*>(s->ctx);
        ++me.calls;
        if (me.bytes.size() >= me.failAfter) return me.failResult;
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, me.chunk));
        n = std::min(n, me.failAfter - me.bytes.size());
        const auto* p = static_cast<const uint8_t*>(buffer);
        me.bytes.insert(me.bytes.end(), p, p + n);
        return static_cast<int64_t>(n);
    };
}

MemoryIn::MemoryIn(std::vector<uint8_t> data, size_t chunk, int64_t endResult)
    : data_(std::move(data)), chunk_(chunk == 0 ? 1 : chunk), endResult_(endResult) {
    stream_.ctx = this;
    stream_.read = [](const clap_istream_t* s, void* buffer, uint64_t size) -> int64_t {
        auto& me = *static_cast<MemoryIn*>(s->ctx);
        if (size == 0) return 0;
        if (me.pos_ >= me.data_.size()) return me.endResult_;
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, me.chunk_));
        n = std::min(n, me.data_.size() - me.pos_);
        std::memcpy(buffer, me.data_.data() + me.pos_, n);
        me.pos_ += n;
        return static_cast<int64_t>(n);
    };
}

// ---------------------------------------------------------------- Instance

Instance::Instance(const Module& module, const TestHost& host) {
    const clap_plugin_factory_t* f = module.factory();
    const clap_plugin_descriptor_t* d = module.descriptor();
    if (!f || !d) return;
    plugin_ = f->create_plugin(f, host.clap(), d->id);
    if (plugin_ && !plugin_->init(plugin_)) {
        plugin_->destroy(plugin_);
        plugin_ = nullptr;
    }
}

Instance::~Instance() {
    if (!plugin_) return;
    deactivate();
    plugin_->destroy(plugin_);
}

bool Instance::activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames) {
    deactivate();
    active_ = plugin_->activate(plugin_, sampleRate, minFrames, maxFrames);
    if (active_ && !plugin_->start_processing(plugin_)) return false;
    return active_;
}

void Instance::deactivate() {
    if (!active_) return;
    plugin_->stop_processing(plugin_);
    plugin_->deactivate(plugin_);
    active_ = false;
}

const void* Instance::extension(const char* id) const { return plugin_->get_extension(plugin_, id); }

const clap_plugin_params_t* Instance::params() const {
    return static_cast<const clap_plugin_params_t*>(extension("clap.params"));
}

const clap_plugin_state_t* Instance::state() const {
    return static_cast<const clap_plugin_state_t*>(extension("clap.state"));
}

double Instance::value(clap_id id) const {
    double v = std::numeric_limits<double>::quiet_NaN();
    const clap_plugin_params_t* p = params();
    if (!p || !p->get_value(plugin_, id, &v)) return std::numeric_limits<double>::quiet_NaN();
    return v;
}

clap_param_info_t Instance::info(uint32_t index) const {
    clap_param_info_t info{};
    const clap_plugin_params_t* p = params();
    if (p) p->get_info(plugin_, index, &info);
    return info;
}

std::string Instance::text(clap_id id, double value) const {
    char buffer[256];
    const clap_plugin_params_t* p = params();
    if (!p || !p->value_to_text(plugin_, id, value, buffer, sizeof buffer)) return "<fail>";
    return buffer;
}

void Instance::flushValue(clap_id id, double value) const {
    InputEvents in;
    in.paramValue(0, id, value);
    OutputEvents out;
    params()->flush(plugin_, in.list(), out.list());
}

std::optional<std::vector<uint8_t>> Instance::save() const {
    MemoryOut out;
    const clap_plugin_state_t* s = state();
    if (!s || !s->save(plugin_, out.stream())) return std::nullopt;
    return out.bytes;
}

bool Instance::load(const std::vector<uint8_t>& bytes, size_t chunk, int64_t endResult) const {
    MemoryIn in(bytes, chunk, endResult);
    const clap_plugin_state_t* s = state();
    return s && s->load(plugin_, in.stream());
}

// ---------------------------------------------------------------- StateImage

namespace {

void putU32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putF64(std::vector<uint8_t>& b, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

struct Reader {
    const std::vector<uint8_t>& b;
    size_t pos = 0;
    bool take(size_t n) {
        if (b.size() - pos < n) return false;
        pos += n;
        return true;
    }
    bool u32(uint32_t& v) {
        if (!take(4)) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b[pos - 4 + i]) << (8 * i);
        return true;
    }
    bool f64(double& v) {
        if (!take(8)) return false;
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(b[pos - 8 + i]) << (8 * i);
        std::memcpy(&v, &bits, 8);
        return true;
    }
    bool u8(uint8_t& v) {
        if (!take(1)) return false;
        v = b[pos - 1];
        return true;
    }
    bool text(size_t n, std::string& s) {
        if (!take(n)) return false;
        s.assign(reinterpret_cast<const char*>(b.data() + pos - n), n);
        return true;
    }
};

}  // namespace

std::vector<uint8_t> StateImage::encode(Layout* layout) const {
    Layout l;
    std::vector<uint8_t> b = {'N', 'O', 'R', 'V'};
    putU32(b, version);
    putU32(b, countOverride.value_or(static_cast<uint32_t>(params.size())));
    l.header = b.size();
    for (const auto& [id, value] : params) {
        putU32(b, id);
        putF64(b, value);
    }
    l.params = b.size();
    for (const std::string& c : curves) {
        putU32(b, static_cast<uint32_t>(c.size()));
        l.curveLength.push_back(b.size());
        b.insert(b.end(), c.begin(), c.end());
        l.curve.push_back(b.size());
    }
    b.push_back(static_cast<uint8_t>(selModule));
    b.push_back(static_cast<uint8_t>(selBand));
    l.selection = b.size();
    b.push_back(snap);
    l.snap = b.size();
    l.toggles = b.size();
    if (version >= 2) {
        b.push_back(editAllBands);
        b.push_back(stepMode);
        l.toggles = b.size();
    }
    l.chainLength = l.chain = b.size();
    if (version >= 3) {
        putU32(b, static_cast<uint32_t>(chain.size()));
        l.chainLength = b.size();
        b.insert(b.end(), chain.begin(), chain.end());
        l.chain = b.size();
    }
    if (layout) *layout = l;
    return b;
}

std::optional<StateImage> StateImage::decode(const std::vector<uint8_t>& bytes, std::string* why) {
    auto fail = [&](const char* reason) -> std::optional<StateImage> {
        if (why) *why = reason;
        return std::nullopt;
    };
    Reader r{bytes};
    StateImage img;
    std::string magic;
    uint32_t count = 0;
    if (!r.text(4, magic) || magic != "NORV") return fail("magic");
    if (!r.u32(img.version) || img.version != 3) return fail("version");
    if (!r.u32(count) || count > 4096) return fail("count");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t id;
        double value;
        if (!r.u32(id) || !r.f64(value)) return fail("parameter block");
        img.params.emplace_back(id, value);
    }
    for (int i = 0; i < 21; ++i) {
        uint32_t length;
        std::string text;
        if (!r.u32(length) || !r.text(length, text)) return fail("curve record");
        img.curves.push_back(text);
    }
    uint8_t sel, band;
    if (!r.u8(sel) || !r.u8(band) || !r.u8(img.snap) || !r.u8(img.editAllBands) ||
        !r.u8(img.stepMode))
        return fail("selection and toggles");
    img.selModule = static_cast<int8_t>(sel);
    img.selBand = static_cast<int8_t>(band);
    uint32_t chainLength;
    if (!r.u32(chainLength) || !r.text(chainLength, img.chain)) return fail("chain");
    if (r.pos != bytes.size()) return fail("trailing bytes");
    return img;
}

void StateImage::set(uint32_t id, double value) {
    for (auto& p : params) {
        if (p.first == id) {
            p.second = value;
            return;
        }
    }
    params.emplace_back(id, value);
}

double StateImage::get(uint32_t id) const {
    for (const auto& p : params)
        if (p.first == id) return p.second;
    return std::numeric_limits<double>::quiet_NaN();
}

std::string flatCurve(double y) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "0.0000 %.4f 0 0.000, 1.0000 %.4f 0 0.000", y, y);
    return buffer;
}

double neutralLevel(int module) { return (module == 5 || module == 6) ? 0.5 : 1.0; }

long firstDifference(const AudioBlock& a, const AudioBlock& b) {
    const size_t n = std::min(a.frames, b.frames);
    for (size_t i = 0; i < n; ++i)
        if (a.outL[i] != b.outL[i] || a.outR[i] != b.outR[i]) return static_cast<long>(i);
    return -1;
}

double rms(const std::vector<float>& v, size_t from, size_t to) {
    double sum = 0.0;
    to = std::min(to, v.size());
    if (to <= from) return 0.0;
    for (size_t i = from; i < to; ++i) sum += double(v[i]) * v[i];
    return std::sqrt(sum / double(to - from));
}

}  // namespace claphost
