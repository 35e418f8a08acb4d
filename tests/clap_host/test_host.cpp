#include "test_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace claphost {

// ---- host ----

namespace {
TestHost& self(const clap_host_t* host) {
    return *static_cast<TestHost*>(host->host_data);
}
std::optional<std::string> text(const char* s) {
    return s ? std::optional(std::string(s)) : std::nullopt;
}
clap_event_header_t newHeader(uint32_t size, uint32_t time, uint16_t type) {
    return {size, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
}
} // namespace

TestHost::TestHost(bool timers, bool fds) : offerTimers(timers), offerFds(fds) {
    const auto noop = [](const clap_host_t*) {};
    host_ = {CLAP_VERSION, this, "claphost", "Norvale tests", nullptr, "1", &getExtension,
             noop,         noop, noop};
}

const void* TestHost::getExtension(const clap_host_t* host, const char* id) {
    static const clap_host_params_t kParams = {
        [](const clap_host_t* h, clap_param_rescan_flags flags) {
            self(h).rescans.push_back(flags);
        },
        [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
        [](const clap_host_t* h) { ++self(h).flushRequests; },
    };
    static const clap_host_log_t kLog = {
        [](const clap_host_t* h, clap_log_severity level, const char* msg) {
            self(h).logs.push_back({static_cast<int>(level), msg ? msg : ""});
        }};
    static const clap_host_preset_load_t kPresetLoad = {
        [](const clap_host_t* h, uint32_t, const char* location, const char* key, int32_t,
           const char* msg) {
            self(h).presetErrors.push_back({text(location), text(key), msg ? msg : ""});
        },
        [](const clap_host_t* h, uint32_t, const char* location, const char* key) {
            self(h).presetsLoaded.push_back({text(location), text(key), ""});
        },
    };
    static const clap_host_timer_support_t kTimers = {
        [](const clap_host_t* h, uint32_t, clap_id* t) {
            return self(h).timers.push_back(*t = 7), true;
        },
        [](const clap_host_t* h, clap_id t) { return std::erase(self(h).timers, t) > 0; }};
    static const clap_host_posix_fd_support_t kFds = {
        [](const clap_host_t* h, int fd, uint32_t) { return self(h).fds.push_back(fd), true; },
        nullptr, [](const clap_host_t* h, int fd) { return std::erase(self(h).fds, fd) > 0; }};
    // A parameter's menu: a title, an entry, a checked entry and a submenu.
    static const clap_host_context_menu_t kContextMenu = {
        [](const clap_host_t*, const clap_context_menu_target_t*,
           const clap_context_menu_builder_t* b) {
            const clap_context_menu_item_title_t title{"Host", true};
            const clap_context_menu_entry_t automate{"Show Automation", true, 1},
                lfo{"By LFO", true, 3};
            const clap_context_menu_check_entry_t learn{"MIDI Learn", true, true, 2};
            const clap_context_menu_submenu_t modulate{"Modulate", true};
            return b->add_item(b, CLAP_CONTEXT_MENU_ITEM_TITLE, &title) &&
                   b->add_item(b, CLAP_CONTEXT_MENU_ITEM_ENTRY, &automate) &&
                   b->add_item(b, CLAP_CONTEXT_MENU_ITEM_CHECK_ENTRY, &learn) &&
                   b->add_item(b, CLAP_CONTEXT_MENU_ITEM_BEGIN_SUBMENU, &modulate) &&
                   b->add_item(b, CLAP_CONTEXT_MENU_ITEM_ENTRY, &lfo) &&
                   b->add_item(b, CLAP_CONTEXT_MENU_ITEM_END_SUBMENU, nullptr);
        },
        [](const clap_host_t* h, const clap_context_menu_target_t* target, clap_id action) {
            return self(h).menuActions.push_back({target->id, action}), true;
        },
        nullptr, nullptr};
    static const clap_host_gui_t kGui = {
        nullptr,
        [](const clap_host_t* h, uint32_t w, uint32_t hgt) {
            return self(h).resizeRequests.push_back({w, hgt}), true;
        },
        nullptr, nullptr, nullptr};
    static const clap_host_tail_t kTail = {[](const clap_host_t* h) { ++self(h).tailChanges; }};
    const std::string name = id ? id : "";
    if (name == CLAP_EXT_CONTEXT_MENU) return &kContextMenu;
    if (name == CLAP_EXT_GUI) return &kGui;
    if (name == CLAP_EXT_TAIL) return &kTail;
    if (self(host).offerTimers && name == CLAP_EXT_TIMER_SUPPORT) return &kTimers;
    if (self(host).offerFds && name == CLAP_EXT_POSIX_FD_SUPPORT) return &kFds;
    if (name == CLAP_EXT_PARAMS) return &kParams;
    if (name == CLAP_EXT_LOG) return &kLog;
    return name == CLAP_EXT_PRESET_LOAD ? &kPresetLoad : nullptr;
}

// ---- events ----

EventList::EventList() {
    in_.ctx = out_.ctx = this;
    in_.size = [](const clap_input_events_t* l) {
        return static_cast<const EventList*>(l->ctx)->size();
    };
    in_.get = [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
        const auto* me = static_cast<const EventList*>(l->ctx);
        return i < me->size() ? &me->header(i) : nullptr;
    };
    out_.try_push = [](const clap_output_events_t* l, const clap_event_header_t* event) {
        auto* me = static_cast<EventList*>(l->ctx);
        if (event) me->add(*event);
        return true;
    };
}

void EventList::add(const clap_event_header_t& event) {
    events_.emplace_back((event.size + 7) / 8);
    std::memcpy(events_.back().data(), &event, event.size);
}

void EventList::paramValue(uint32_t time, clap_id id, double value) {
    clap_event_param_value_t ev{
        newHeader(sizeof ev, time, CLAP_EVENT_PARAM_VALUE), id, nullptr, -1, -1, -1, -1, value};
    add(ev.header);
}

void EventList::paramMod(uint32_t time, clap_id id, double amount, int32_t noteId) {
    clap_event_param_mod_t ev{
        newHeader(sizeof ev, time, CLAP_EVENT_PARAM_MOD), id, nullptr, noteId, -1, -1, -1, amount};
    add(ev.header);
}

void EventList::noteOn(uint32_t time, int16_t key) {
    clap_event_note_t ev{newHeader(sizeof ev, time, CLAP_EVENT_NOTE_ON), -1, 0, 0, key, 0.8};
    add(ev.header);
}

void EventList::midi(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2) {
    clap_event_midi_t ev{newHeader(sizeof ev, time, CLAP_EVENT_MIDI), 0, {status, data1, data2}};
    add(ev.header);
}

// ---- module ----

Module::Module(const char* path) : path_(path ? path : "") {
    // Kept mapped after dlclose, as hosts do: the libraries it pulls in keep
    // process-wide caches that would otherwise read as leaks.
    handle_ = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE) : nullptr;
    if (handle_) entry_ = static_cast<const clap_plugin_entry_t*>(dlsym(handle_, "clap_entry"));
    if (entry_) init();
    if (!entry_) error_ = handle_ ? "no clap_entry symbol" : path ? dlerror() : "no file given";
}

Module::Module(const clap_plugin_entry_t* linkedEntry) : entry_(linkedEntry) {
    init();
}

void Module::init() {
    initialised_ = entry_->init(path_.c_str());
    if (!initialised_) error_ = "clap_entry.init failed";
}

Module::~Module() {
    if (initialised_) entry_->deinit();
    if (handle_) dlclose(handle_);
}

const clap_plugin_factory_t* Module::factory() const {
    const void* factory = ok() ? entry_->get_factory(CLAP_PLUGIN_FACTORY_ID) : nullptr;
    return static_cast<const clap_plugin_factory_t*>(factory);
}

const clap_plugin_descriptor_t* Module::descriptor() const {
    const clap_plugin_factory_t* f = factory();
    return f ? f->get_plugin_descriptor(f, 0) : nullptr;
}

// ---- audio ----

AudioBlock::AudioBlock(uint32_t n) : frames(n), inL(n), inR(n), outL(n), outR(n) {}

void AudioBlock::fillInput(float (*signal)(uint32_t, int), uint32_t startFrame) {
    for (uint32_t i = 0; i < frames; ++i) {
        inL[i] = signal(startFrame + i, 0);
        inR[i] = signal(startFrame + i, 1);
    }
}

clap_process_status AudioBlock::run(const clap_plugin_t* plugin) {
    if (inPlace) outL = inL, outR = inR;
    float* outs[2] = {outL.data(), outR.data()};
    float* ins[2] = {inPlace ? outs[0] : inL.data(), inPlace ? outs[1] : inR.data()};
    std::vector<float*> side;
    for (auto& channel : sidechain)
        side.push_back(channel.empty() ? nullptr : channel.data());
    if (inputChannels < 2) ins[inputChannels] = nullptr;
    if (outputChannels < 2) outs[outputChannels] = nullptr;
    clap_audio_buffer_t inputs[2] = {
        {inputChannels ? ins : nullptr, nullptr, inputChannels, 0, 0},
        {side.empty() ? nullptr : side.data(), nullptr, static_cast<uint32_t>(side.size()), 0, 0}};
    clap_audio_buffer_t output = {outputChannels ? outs : nullptr, nullptr, outputChannels, 0, 0};
    const uint32_t inputCount = mainInput ? 2 : 0;
    const clap_process_t process = {
        -1, frames, transport, inputs, &output, inputCount, 1, events.list(), outEvents.outList()};
    return plugin->process(plugin, &process);
}

// ---- memory streams ----

MemoryOut::MemoryOut() {
    stream_.ctx = this;
    stream_.write = [](const clap_ostream_t* s, const void* buffer, uint64_t size) -> int64_t {
        auto& me = *static_cast<MemoryOut*>(s->ctx);
        if (me.bytes.size() >= me.failAfter) return me.failResult;
        const size_t n = std::min<uint64_t>(size, me.failAfter - me.bytes.size());
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

clap_event_transport_t transportAt(double beats, bool playing) {
    clap_event_transport_t t{};
    t.header = newHeader(sizeof t, 0, CLAP_EVENT_TRANSPORT);
    t.flags = CLAP_TRANSPORT_HAS_BEATS_TIMELINE | (playing ? CLAP_TRANSPORT_IS_PLAYING : 0);
    t.song_pos_beats = std::llround(beats * CLAP_BEATTIME_FACTOR);
    return t;
}

// ---- instance ----

Instance::Instance(const Module& module, const TestHost& host) {
    const clap_plugin_factory_t* f = module.factory();
    if (f) plugin_ = f->create_plugin(f, host.clap(), module.descriptor()->id);
    if (plugin_ && !plugin_->init(plugin_)) plugin_->destroy(plugin_), plugin_ = nullptr;
}

Instance::~Instance() {
    if (!plugin_) return;
    deactivate();
    plugin_->destroy(plugin_);
}

bool Instance::activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames) {
    deactivate();
    active_ = plugin_->activate(plugin_, sampleRate, minFrames, maxFrames);
    return active_ && plugin_->start_processing(plugin_);
}

void Instance::deactivate() {
    if (!active_) return;
    plugin_->stop_processing(plugin_);
    plugin_->deactivate(plugin_);
    active_ = false;
}

double Instance::value(clap_id id) const {
    double v = 0.0;
    return params()->get_value(plugin_, id, &v) ? v : std::nan("");
}

clap_param_info_t Instance::info(uint32_t index) const {
    clap_param_info_t info{};
    params()->get_info(plugin_, index, &info);
    return info;
}

std::string Instance::text(clap_id id, double value) const {
    char buffer[256];
    return params()->value_to_text(plugin_, id, value, buffer, sizeof buffer) ? buffer : "<fail>";
}

void Instance::flushValue(clap_id id, double value) const {
    InputEvents in;
    in.paramValue(0, id, value);
    OutputEvents out;
    params()->flush(plugin_, in.list(), out.outList());
}

std::optional<std::vector<uint8_t>> Instance::save() const {
    MemoryOut out;
    if (!state()->save(plugin_, out.stream())) return std::nullopt;
    return out.bytes;
}

bool Instance::load(const std::vector<uint8_t>& bytes, size_t chunk, int64_t endResult) const {
    MemoryIn in(bytes, chunk, endResult);
    return state()->load(plugin_, in.stream());
}

// ---- measures ----

long firstDifference(const AudioBlock& a, const AudioBlock& b) {
    for (size_t i = 0; i < std::min(a.frames, b.frames); ++i)
        if (a.outL[i] != b.outL[i] || a.outR[i] != b.outR[i]) return static_cast<long>(i);
    return -1;
}

double rms(const std::vector<float>& v, size_t from, size_t to) {
    double sum = 0.0;
    to = std::min(to, v.size());
    for (size_t i = from; i < to; ++i)
        sum += double(v[i]) * v[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

} // namespace claphost
