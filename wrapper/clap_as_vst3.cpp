#include "wrapper/clap_as_vst3.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/vst/ivstevents.h>
#include <pluginterfaces/vst/ivsthostapplication.h>
#include <pluginterfaces/vst/ivstparameterchanges.h>
#include <pluginterfaces/vst/ivstprocesscontext.h>

#include "wrapper/utf.h"

namespace norvale::vst3 {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

thread_local bool tAudioThread = false;

ClapAsVst3* self(const clap_host* host) {
    return static_cast<ClapAsVst3*>(host->host_data);
}

} // namespace

// ---- parameters ----

namespace {

// The last part of the CLAP module path; rows of "Global" belong to no stage.
std::string_view stageOf(const clap_param_info& clap) {
    std::string_view module(clap.module);
    module = module.substr(module.rfind('/') == std::string_view::npos ? 0 : module.rfind('/') + 1);
    return module == "Global" ? std::string_view() : module;
}

std::string titleFor(const clap_param_info& clap, size_t stageLength) {
    const std::string_view stage = stageOf(clap).substr(0, stageLength);
    const std::string_view name(clap.name);
    if (stage.empty()) return std::string(name);
    const std::string_view full = stageOf(clap);
    if (name == full) return std::string(stage) + " On";
    if (name.starts_with(full) && name.size() > full.size() && name[full.size()] == ' ')
        return std::string(stage) + std::string(name.substr(full.size()));
    return std::string(stage) + " " + std::string(name);
}

} // namespace

Vst3Parameter::Vst3Parameter(const clap_param_info& clap, UnitID unit, const char* units)
    : clapId(clap.id), cookie(clap.cookie), minimum(clap.min_value), maximum(clap.max_value) {
    info.id = clap.id & 0x7FFFFFFF;
    utf8ToUtf16(titleFor(clap, std::string_view::npos).c_str(),
                reinterpret_cast<char16_t*>(info.title), 128);
    utf8ToUtf16(titleFor(clap, 3).c_str(), reinterpret_cast<char16_t*>(info.shortTitle), 128);
    utf8ToUtf16(units, reinterpret_cast<char16_t*>(info.units), 128);
    const bool stepped = (clap.flags & (CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM)) != 0;
    info.stepCount = stepped ? static_cast<int32>(maximum - minimum) : 0;
    info.flags = 0;
    if (clap.flags & CLAP_PARAM_IS_HIDDEN) info.flags |= ParameterInfo::kIsHidden;
    if (clap.flags & CLAP_PARAM_IS_READONLY) info.flags |= ParameterInfo::kIsReadOnly;
    if (clap.flags & CLAP_PARAM_IS_AUTOMATABLE) info.flags |= ParameterInfo::kCanAutomate;
    if (clap.flags & CLAP_PARAM_IS_BYPASS) info.flags |= ParameterInfo::kIsBypass;
    if (clap.flags & CLAP_PARAM_IS_ENUM) info.flags |= ParameterInfo::kIsList;
    info.unitId = unit;
    info.defaultNormalizedValue = toNormalized(clap.default_value);
    setNormalized(info.defaultNormalizedValue);
}

ParamValue Vst3Parameter::toPlain(ParamValue normalized) const {
    normalized = std::clamp(normalized, 0.0, 1.0);
    const int32 steps = info.stepCount;
    if (steps > 0) return minimum + std::min<double>(steps, std::floor(normalized * (steps + 1)));
    return minimum + normalized * (maximum - minimum);
}

ParamValue Vst3Parameter::toNormalized(ParamValue plain) const {
    const double range = info.stepCount > 0 ? info.stepCount : maximum - minimum;
    if (!(range > 0.0)) return 0.0;
    return std::clamp((plain - minimum) / range, 0.0, 1.0);
}

// ---- the block handed to the plug-in (preallocated; the audio path only fills it) ----

struct ClapAsVst3::Block {
    static constexpr uint32_t kMaxEvents = 4096;
    union Event {
        clap_event_header header;
        clap_event_param_value param;
        clap_event_note note;
    };
    ClapAsVst3* owner = nullptr;
    Event events[kMaxEvents];
    uint32_t order[kMaxEvents];
    uint32_t count = 0;
    int32_t noteIds[16][128];
    EditLane* lane = nullptr;
    IParameterChanges* outChanges = nullptr;
    clap_input_events in{};
    clap_output_events out{};
    clap_event_transport transport{};
    clap_audio_buffer inputs[2]{};
    clap_audio_buffer outputs[1]{};
    clap_process process{};

    void clear() { count = 0; }
    Event* add(uint32_t time) {
        if (count == kMaxEvents) return nullptr;
        order[count] = count;
        Event* event = &events[count++];
        std::memset(event, 0, sizeof *event);
        event->header.time = time;
        event->header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        return event;
    }
    void sort() {
        std::sort(order, order + count, [this](uint32_t a, uint32_t b) {
            const uint32_t ta = events[a].header.time, tb = events[b].header.time;
            return ta != tb ? ta < tb : a < b;
        });
    }
};

// ---- CLAP host record ----

namespace {

// A VST 3 host has no log to hand messages to; standard error is where a
// host started from a terminal shows them. Never from the audio thread,
// where writing could block.
const clap_host_log kLog = {[](const clap_host*, clap_log_severity severity, const char* message) {
    if (tAudioThread || message == nullptr || severity < CLAP_LOG_WARNING) return;
    std::fprintf(stderr, "%s\n", message);
}};

const clap_host_params kParams = {
    [](const clap_host* h, clap_param_rescan_flags flags) { self(h)->rescanRequested |= flags; },
    [](const clap_host*, clap_id, clap_param_clear_flags) {},
    [](const clap_host* h) { self(h)->flushRequested = true; },
};

const clap_host_thread_check kThreadCheck = {
    [](const clap_host* h) { return self(h)->isMainThread(); },
    [](const clap_host*) { return tAudioThread; },
};

const clap_host_latency kLatency = {
    [](const clap_host* h) { self(h)->restartFlags |= kLatencyChanged; }};

const clap_host_tail kTail = {[](const clap_host* h) { self(h)->restartFlags |= kLatencyChanged; }};

const clap_host_state kState = {[](const clap_host* h) { self(h)->dirtyRequested = true; }};

const clap_host_gui kGui = {
    [](const clap_host*) {},
    [](const clap_host* h, uint32_t w, uint32_t hgt) { return self(h)->requestResize(w, hgt); },
    [](const clap_host* h) { return self(h)->requestShow(); },
    [](const clap_host*) { return false; },
    [](const clap_host*, bool) {},
};

const clap_host_timer_support kTimers = {
    [](const clap_host* h, uint32_t period, clap_id* id) {
        return self(h)->registerTimer(period, id);
    },
    [](const clap_host* h, clap_id id) { return self(h)->unregisterTimer(id); },
};

const clap_host_context_menu kContextMenu = {
    [](const clap_host* h, const clap_context_menu_target* target,
       const clap_context_menu_builder* builder) {
        return self(h)->contextMenuPopulate(target, builder);
    },
    [](const clap_host* h, const clap_context_menu_target* target, clap_id action) {
        return self(h)->contextMenuPerform(target, action);
    },
    // The editor draws the menu itself.
    [](const clap_host*) { return false; },
    [](const clap_host*, const clap_context_menu_target*, int32_t, int32_t, int32_t) {
        return false;
    },
};

const clap_host_posix_fd_support kFds = {
    [](const clap_host* h, int fd, clap_posix_fd_flags_t f) { return self(h)->registerFd(fd, f); },
    [](const clap_host* h, int fd, clap_posix_fd_flags_t f) { return self(h)->modifyFd(fd, f); },
    [](const clap_host* h, int fd) { return self(h)->unregisterFd(fd); },
};

} // namespace

const void* ClapAsVst3::hostExtension(const char* id) {
    if (id == nullptr) return nullptr;
    const std::string_view name(id);
    if (name == CLAP_EXT_LOG) return &kLog;
    if (name == CLAP_EXT_PARAMS) return &kParams;
    if (name == CLAP_EXT_THREAD_CHECK) return &kThreadCheck;
    if (name == CLAP_EXT_LATENCY) return &kLatency;
    if (name == CLAP_EXT_TAIL) return &kTail;
    if (name == CLAP_EXT_STATE) return &kState;
    if (name == CLAP_EXT_GUI) return &kGui;
    if (name == CLAP_EXT_TIMER_SUPPORT) return &kTimers;
    if (name == CLAP_EXT_POSIX_FD_SUPPORT) return &kFds;
    if (name == CLAP_EXT_CONTEXT_MENU) return &kContextMenu;
    return nullptr;
}

// ---- the host's context menu ----

bool ClapAsVst3::contextMenuPopulate(const clap_context_menu_target* target,
                                     const clap_context_menu_builder* builder) {
    std::lock_guard lock(main_);
    hostMenu_ = nullptr;
    if (target == nullptr || builder == nullptr ||
        target->kind != CLAP_CONTEXT_MENU_TARGET_KIND_PARAM || indexOf(target->id) < 0)
        return false;
    FUnknownPtr<IComponentHandler3> handler(componentHandler);
    if (!handler) return false;
    const ParamID id = target->id; // VST 3 ids are the CLAP ids
    hostMenu_ = owned(handler->createContextMenu(view_, &id));
    if (!hostMenu_) return false;
    hostMenuParam_ = id;
    for (int32 i = 0, n = hostMenu_->getItemCount(); i < n; ++i) {
        IContextMenuItem item{};
        IContextMenuTarget* itemTarget = nullptr;
        if (hostMenu_->getItem(i, item, &itemTarget) != kResultOk) continue;
        if (itemTarget != nullptr) itemTarget->release();
        const std::string label = toUtf8(reinterpret_cast<const char16_t*>(item.name));
        const bool enabled = (item.flags & IContextMenuItem::kIsDisabled) == 0;
        const auto action = static_cast<clap_id>(i);
        if ((item.flags & IContextMenuItem::kIsGroupEnd) == IContextMenuItem::kIsGroupEnd) {
            builder->add_item(builder, CLAP_CONTEXT_MENU_ITEM_END_SUBMENU, nullptr);
        } else if ((item.flags & IContextMenuItem::kIsGroupStart) ==
                   IContextMenuItem::kIsGroupStart) {
            const clap_context_menu_submenu submenu{label.c_str(), true};
            builder->add_item(builder, CLAP_CONTEXT_MENU_ITEM_BEGIN_SUBMENU, &submenu);
        } else if (item.flags & IContextMenuItem::kIsSeparator) {
            builder->add_item(builder, CLAP_CONTEXT_MENU_ITEM_SEPARATOR, nullptr);
        } else if (item.flags & IContextMenuItem::kIsChecked) {
            const clap_context_menu_check_entry entry{label.c_str(), enabled, true, action};
            builder->add_item(builder, CLAP_CONTEXT_MENU_ITEM_CHECK_ENTRY, &entry);
        } else {
            const clap_context_menu_entry entry{label.c_str(), enabled, action};
            builder->add_item(builder, CLAP_CONTEXT_MENU_ITEM_ENTRY, &entry);
        }
    }
    return true;
}

bool ClapAsVst3::contextMenuPerform(const clap_context_menu_target* target, clap_id action) {
    std::lock_guard lock(main_);
    if (!hostMenu_ || target == nullptr || target->kind != CLAP_CONTEXT_MENU_TARGET_KIND_PARAM ||
        target->id != hostMenuParam_)
        return false;
    IContextMenuItem item{};
    IContextMenuTarget* itemTarget = nullptr;
    if (hostMenu_->getItem(static_cast<int32>(action), item, &itemTarget) != kResultOk ||
        itemTarget == nullptr)
        return false;
    const bool done = itemTarget->executeMenuItem(item.tag) == kResultOk;
    itemTarget->release();
    return done;
}

ClapAsVst3::ClapAsVst3() : block_(std::make_unique<Block>()) {
    block_->owner = this;
    block_->in = {
        block_.get(),
        [](const clap_input_events* list) { return static_cast<const Block*>(list->ctx)->count; },
        [](const clap_input_events* list, uint32_t index) -> const clap_event_header* {
            const auto* b = static_cast<const Block*>(list->ctx);
            return index < b->count ? &b->events[b->order[index]].header : nullptr;
        }};
    block_->out = {block_.get(), &ClapAsVst3::pushOutput};
    for (auto& channel : block_->noteIds)
        std::fill(std::begin(channel), std::end(channel), -1);
}

ClapAsVst3::~ClapAsVst3() {
    if (plugin_ != nullptr) terminate();
}

bool ClapAsVst3::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

// ---- lifecycle ----

tresult PLUGIN_API ClapAsVst3::initialize(FUnknown* context) {
    std::lock_guard lock(main_);
    if (plugin_ != nullptr) return kResultFalse;
    if (SingleComponentEffect::initialize(context) != kResultOk) return kResultFalse;
    mainThread_ = std::this_thread::get_id();

    hostName_ = "CLAP-As-VST3-Wrapper";
    if (FUnknownPtr<IHostApplication> app(context); app) {
        String128 name{};
        if (app->getName(name) == kResultOk)
            hostName_ = toUtf8(reinterpret_cast<const char16_t*>(name)) + " (CLAP-as-VST3)";
    }
    host_ = {};
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = hostName_.c_str();
    host_.vendor = "Norvale";
    host_.url = "";
    // The adapter ships inside the plug-in: its version is the plug-in's.
    const clap_plugin_descriptor* descriptor = clapDescriptor();
    host_.version = descriptor != nullptr ? descriptor->version : "";
    host_.get_extension = [](const clap_host* h, const char* id) {
        return self(h)->hostExtension(id);
    };
    host_.request_restart = [](const clap_host* h) { self(h)->restartRequested = true; };
    host_.request_process = [](const clap_host*) {};
    host_.request_callback = [](const clap_host* h) { self(h)->callbackRequested = true; };

    plugin_ = createClapPlugin(&host_);
    if (plugin_ == nullptr) return kResultFalse;
    if (!plugin_->init(plugin_)) {
        plugin_->destroy(plugin_);
        plugin_ = nullptr;
        return kResultFalse;
    }
    auto ext = [this](const char* id) { return plugin_->get_extension(plugin_, id); };
    params_ = static_cast<const clap_plugin_params*>(ext(CLAP_EXT_PARAMS));
    state_ = static_cast<const clap_plugin_state*>(ext(CLAP_EXT_STATE));
    audioPorts_ = static_cast<const clap_plugin_audio_ports*>(ext(CLAP_EXT_AUDIO_PORTS));
    notePorts_ = static_cast<const clap_plugin_note_ports*>(ext(CLAP_EXT_NOTE_PORTS));
    latency_ = static_cast<const clap_plugin_latency*>(ext(CLAP_EXT_LATENCY));
    tail_ = static_cast<const clap_plugin_tail*>(ext(CLAP_EXT_TAIL));
    gui_ = static_cast<const clap_plugin_gui*>(ext(CLAP_EXT_GUI));
    if (gui_ != nullptr && !gui_->is_api_supported(plugin_, CLAP_WINDOW_API_X11, false))
        gui_ = nullptr;
    timerSupport_ = static_cast<const clap_plugin_timer_support*>(ext(CLAP_EXT_TIMER_SUPPORT));
    fdSupport_ = static_cast<const clap_plugin_posix_fd_support*>(ext(CLAP_EXT_POSIX_FD_SUPPORT));

    setupBusses();
    setupParameters();

    // The idle work runs for the component's whole life when the host
    // context (or the factory's) brings a run loop.
    FUnknownPtr<Linux::IRunLoop> contextLoop(context);
    if (!contextLoop) contextLoop = FUnknownPtr<Linux::IRunLoop>(factoryHostContext());
    runLoop_.useContextLoop(contextLoop);
    return kResultOk;
}

tresult PLUGIN_API ClapAsVst3::terminate() {
    std::lock_guard lock(main_);
    if (plugin_ != nullptr) {
        setActive(false);
        drainPending();
        if (view_ != nullptr) view_->orphan();
        runLoop_.clear();
        hostMenu_ = nullptr;
        plugin_->destroy(plugin_);
        plugin_ = nullptr;
        gui_ = nullptr;
    }
    paramByIndex_.clear();
    indexById_.clear();
    units_.clear();
    return SingleComponentEffect::terminate();
}

// ---- busses and parameters ----

void ClapAsVst3::setupBusses() {
    if (audioPorts_ != nullptr) {
        const uint32_t ins = audioPorts_->count(plugin_, true);
        const uint32_t outs = audioPorts_->count(plugin_, false);
        for (const bool input : {true, false}) {
            for (uint32_t i = 0; i < (input ? ins : outs); ++i) {
                clap_audio_port_info port{};
                if (!audioPorts_->get(plugin_, i, input, &port)) continue;
                String128 name{};
                utf8ToUtf16(port.name, reinterpret_cast<char16_t*>(name), 128);
                SpeakerArrangement arrangement = 0;
                if (port.port_type != nullptr && std::strcmp(port.port_type, CLAP_PORT_MONO) == 0)
                    arrangement = SpeakerArr::kMono;
                else if (port.port_type != nullptr &&
                         std::strcmp(port.port_type, CLAP_PORT_STEREO) == 0)
                    arrangement = SpeakerArr::kStereo;
                else if (port.channel_count > 0 && port.channel_count < 64)
                    arrangement = (SpeakerArrangement(1) << port.channel_count) - 1;
                const bool main = !input || (port.flags & CLAP_AUDIO_PORT_IS_MAIN) != 0;
                auto* bus = new AudioBus(name, main ? kMain : kAux,
                                         main ? BusInfo::kDefaultActive : 0, arrangement);
                (input ? audioInputs_ : audioOutputs_).push_back(owned(bus));
                if (input) offeredInputs_.push_back(arrangement);
            }
        }
    }
    if (notePorts_ != nullptr) {
        for (uint32_t i = 0; i < notePorts_->count(plugin_, true); ++i) {
            clap_note_port_info port{};
            if (!notePorts_->get(plugin_, i, true, &port)) continue;
            String128 name{};
            utf8ToUtf16(port.name, reinterpret_cast<char16_t*>(name), 128);
            eventInputs_.push_back(owned(new EventBus(name, kMain, BusInfo::kDefaultActive, 16)));
        }
    }
}

UnitID ClapAsVst3::unitFor(const char* module) {
    // Each prefix of "a/b/c" is a unit, child of the one before.
    UnitID parent = kRootUnitId;
    std::string path;
    for (std::string_view rest(module != nullptr ? module : ""); !rest.empty();) {
        const size_t cut = rest.find('/');
        const std::string_view part = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (part.empty()) continue;
        path += "/";
        path += part;
        const auto known = std::find_if(units_.begin(), units_.end(),
                                        [&](const auto& unit) { return unit.first == path; });
        if (known != units_.end()) {
            parent = known->second;
            continue;
        }
        const auto id = static_cast<UnitID>(units_.size() + 1);
        String128 name{};
        utf8ToUtf16(std::string(part).c_str(), reinterpret_cast<char16_t*>(name), 128);
        addUnit(new Unit(name, id, parent));
        units_.emplace_back(path, id);
        parent = id;
    }
    return parent;
}

void ClapAsVst3::setupParameters() {
    String128 root{};
    utf8ToUtf16("Root", reinterpret_cast<char16_t*>(root), 128);
    addUnit(new Unit(root, kRootUnitId, kNoParentUnitId));
    const uint32_t count = params_ != nullptr ? params_->count(plugin_) : 0;
    parameters.init(static_cast<int32>(count));
    for (uint32_t i = 0; i < count; ++i) {
        clap_param_info info{};
        if (!params_->get_info(plugin_, i, &info)) continue;
        info.name[sizeof info.name - 1] = 0;
        info.module[sizeof info.module - 1] = 0;
        // The unit is what follows the number in the text of the lowest value
        // (which may read "-inf"); a choice has none.
        char text[256] = {};
        if ((info.flags & CLAP_PARAM_IS_ENUM) == 0)
            params_->value_to_text(plugin_, info.id, info.min_value, text, sizeof text);
        std::string_view units(text);
        const size_t number = units.find_first_not_of("+-0123456789.");
        units = number == 0 ? std::string_view() : units.substr(std::min(number, units.size()));
        if (units.starts_with("inf")) units.remove_prefix(3);
        units.remove_prefix(std::min(units.find_first_not_of(' '), units.size()));
        auto* parameter = new Vst3Parameter(info, unitFor(info.module), std::string(units).c_str());
        parameters.addParameter(parameter);
        indexById_.emplace_back(parameter->getInfo().id, static_cast<int32>(paramByIndex_.size()));
        paramByIndex_.push_back(parameter);
    }
    std::sort(indexById_.begin(), indexById_.end());
    const auto n = static_cast<uint32_t>(paramByIndex_.size());
    editing_ = std::make_unique<std::atomic<bool>[]>(n);
    hostOpen_ = std::make_unique<bool[]>(n);
    audioLane_ = std::make_unique<EditLane>(n);
    mainLane_ = std::make_unique<EditLane>(n);
    pendingValue_ = std::make_unique<std::atomic<double>[]>(n);
    pendingSet_ = std::make_unique<std::atomic<bool>[]>(n);
    syncParametersFromPlugin();
    // This plug-in reads notes only, so no MIDI-controller parameters exist.
}

int32 ClapAsVst3::indexOf(ParamID id) const {
    const auto at =
        std::lower_bound(indexById_.begin(), indexById_.end(), std::pair<ParamID, int32>(id, -1));
    return at != indexById_.end() && at->first == id ? at->second : -1;
}

void ClapAsVst3::syncParametersFromPlugin() {
    for (Vst3Parameter* parameter : paramByIndex_) {
        double value = 0.0;
        if (params_->get_value(plugin_, parameter->clapId, &value))
            parameter->setNormalized(parameter->toNormalized(value));
    }
}

tresult PLUGIN_API ClapAsVst3::getParamStringByValue(ParamID id, ParamValue normalized,
                                                     String128 text) {
    std::lock_guard lock(main_);
    const int32 index = indexOf(id);
    if (index < 0 || text == nullptr) return kInvalidArgument;
    const Vst3Parameter* parameter = paramByIndex_[index];
    char buffer[256] = {};
    if (!params_->value_to_text(plugin_, parameter->clapId, parameter->toPlain(normalized), buffer,
                                sizeof buffer))
        return kResultFalse;
    utf8ToUtf16(buffer, reinterpret_cast<char16_t*>(text), 128);
    return kResultOk;
}

tresult PLUGIN_API ClapAsVst3::getParamValueByString(ParamID id, TChar* text,
                                                     ParamValue& normalized) {
    std::lock_guard lock(main_);
    const int32 index = indexOf(id);
    if (index < 0 || text == nullptr) return kInvalidArgument;
    const Vst3Parameter* parameter = paramByIndex_[index];
    double plain = 0.0;
    const std::string utf8 = toUtf8(reinterpret_cast<const char16_t*>(text));
    if (!params_->text_to_value(plugin_, parameter->clapId, utf8.c_str(), &plain))
        return kResultFalse;
    normalized = parameter->toNormalized(plain);
    return kResultOk;
}

tresult PLUGIN_API ClapAsVst3::setComponentHandler(IComponentHandler* handler) {
    std::lock_guard lock(main_);
    return SingleComponentEffect::setComponentHandler(handler);
}

tresult PLUGIN_API ClapAsVst3::setParamNormalized(ParamID id, ParamValue value) {
    std::lock_guard lock(main_);
    const tresult result = SingleComponentEffect::setParamNormalized(id, value);
    const int32 index = indexOf(id);
    if (result != kResultOk || index < 0 || params_ == nullptr) return result;
    const Vst3Parameter& parameter = *paramByIndex_[index];
    const double plain = parameter.toPlain(parameter.getNormalized());
    double current = 0.0;
    // Hosts echo the plug-in's own edits back; those change nothing.
    if (params_->get_value(plugin_, parameter.clapId, &current) && current == plain) return result;
    pendingValue_[index].store(plain, std::memory_order_relaxed);
    pendingSet_[index].store(true, std::memory_order_release);
    anyPending_.store(true, std::memory_order_release);
    flushWhileIdle();
    return result;
}

// ---- activation ----

tresult PLUGIN_API ClapAsVst3::setupProcessing(ProcessSetup& setup) {
    std::lock_guard lock(main_);
    std::lock_guard audio(audio_);
    if (active_) return kResultFalse;
    return SingleComponentEffect::setupProcessing(setup);
}

tresult PLUGIN_API ClapAsVst3::activateBus(MediaType type, BusDirection dir, int32 index,
                                           TBool state) {
    std::lock_guard lock(main_);
    std::lock_guard audio(audio_);
    if (active_) return kResultFalse;
    return SingleComponentEffect::activateBus(type, dir, index, state);
}

tresult PLUGIN_API ClapAsVst3::setActive(TBool state) {
    std::lock_guard lock(main_);
    if (plugin_ == nullptr) return kNotInitialized;
    {
        std::lock_guard audio(audio_);
        if (state && !active_) {
            sidechainActive_ = audioInputs_.size() > 1 && audioInputs_.at(1)->isActive();
            const auto frames = static_cast<uint32_t>(processSetup_.maxSamplesPerBlock);
            if (!plugin_->activate(plugin_, processSetup_.sampleRate, 1, frames))
                return kResultFalse;
            active_ = true;
            steadyTime_ = 0;
        } else if (!state && active_) {
            if (processing_) plugin_->stop_processing(plugin_);
            processing_ = false;
            plugin_->deactivate(plugin_);
            active_ = false;
            // Gestures the plug-in left open end here; nothing else posts
            // to the audio lane while inactive.
            for (uint32_t i = 0; i < audioLane_->paramCount(); ++i)
                if (editing_[i].exchange(false)) audioLane_->post(EditKind::End, i);
        }
    }
    drainPending();
    return kResultOk;
}

tresult PLUGIN_API ClapAsVst3::setProcessing(TBool state) {
    std::lock_guard audio(audio_);
    if (!active_) return state ? kNotInitialized : kResultOk;
    if (state && !processing_) {
        processing_ = plugin_->start_processing(plugin_);
        return processing_ ? kResultOk : kResultFalse;
    }
    if (!state && processing_) {
        plugin_->stop_processing(plugin_);
        plugin_->reset(plugin_);
        processing_ = false;
    }
    return kResultOk;
}

uint32 PLUGIN_API ClapAsVst3::getTailSamples() {
    // Hosts ask from either thread; the plug-in answers from atomics.
    if (!active_.load(std::memory_order_acquire) || tail_ == nullptr) return 0;
    const uint32_t tail = tail_->get(plugin_);
    return tail >= 0x7FFFFFFF ? kInfiniteTail : tail;
}

// ---- state ----

tresult PLUGIN_API ClapAsVst3::getState(IBStream* stream) {
    std::lock_guard lock(main_);
    // Pending host values first, so the state holds every value set.
    awaitPendingDelivery();
    drainPending();
    if (stream == nullptr || state_ == nullptr) return kResultFalse;
    clap_ostream out{stream, [](const clap_ostream* s, const void* buffer, uint64_t size) {
                         int32 written = 0;
                         auto* host = static_cast<IBStream*>(s->ctx);
                         const auto chunk = static_cast<int32>(std::min<uint64_t>(size, 1 << 30));
                         if (host->write(const_cast<void*>(buffer), chunk, &written) != kResultOk)
                             return int64_t(-1);
                         return int64_t(written);
                     }};
    return state_->save(plugin_, &out) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API ClapAsVst3::setState(IBStream* stream) {
    std::lock_guard lock(main_);
    drainPending();
    if (stream == nullptr || state_ == nullptr) return kResultFalse;
    // Read it all first: the plug-in sees one complete, bounded stream.
    std::vector<char> bytes;
    char chunk[4096];
    for (int32 got = 0; stream->read(chunk, sizeof chunk, &got) == kResultOk && got > 0;)
        bytes.insert(bytes.end(), chunk, chunk + got);
    struct Reader {
        const std::vector<char>* bytes;
        size_t at = 0;
    } reader{&bytes};
    clap_istream in{&reader, [](const clap_istream* s, void* buffer, uint64_t size) {
                        auto* r = static_cast<Reader*>(s->ctx);
                        const size_t n = std::min<uint64_t>(size, r->bytes->size() - r->at);
                        if (n > 0) std::memcpy(buffer, r->bytes->data() + r->at, n);
                        r->at += n;
                        return int64_t(n);
                    }};
    if (!state_->load(plugin_, &in)) return kResultFalse;
    syncParametersFromPlugin();
    return kResultOk;
}

// ---- audio ----

bool ClapAsVst3::pushOutput(const clap_output_events* list, const clap_event_header* event) {
    auto* b = static_cast<Block*>(list->ctx);
    if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) return true;
    ClapAsVst3& owner = *b->owner;
    clap_id id = CLAP_INVALID_ID;
    if (event->type == CLAP_EVENT_PARAM_VALUE)
        id = reinterpret_cast<const clap_event_param_value*>(event)->param_id;
    else if (event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
             event->type == CLAP_EVENT_PARAM_GESTURE_END)
        id = reinterpret_cast<const clap_event_param_gesture*>(event)->param_id;
    else
        return true;
    const int32 index = owner.indexOf(id & 0x7FFFFFFF);
    if (index < 0) return true;
    const auto i = static_cast<uint32_t>(index);
    if (event->type == CLAP_EVENT_PARAM_VALUE) {
        const double value = reinterpret_cast<const clap_event_param_value*>(event)->value;
        b->lane->post(EditKind::Value, i, value);
        if (b->outChanges != nullptr) {
            int32 queueIndex = 0, pointIndex = 0;
            if (IParamValueQueue* queue =
                    b->outChanges->addParameterData(id & 0x7FFFFFFF, queueIndex))
                queue->addPoint(static_cast<int32>(event->time),
                                owner.paramByIndex_[i]->toNormalized(value), pointIndex);
        }
    } else {
        const bool begin = event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN;
        owner.editing_[i].store(begin);
        b->lane->post(begin ? EditKind::Begin : EditKind::End, i);
    }
    return true;
}

void ClapAsVst3::addValue(uint32_t index, uint32_t time, double plain) {
    const Vst3Parameter& parameter = *paramByIndex_[index];
    if (Block::Event* e = block_->add(time)) {
        e->param.header.size = sizeof e->param;
        e->param.header.type = CLAP_EVENT_PARAM_VALUE;
        e->param.param_id = parameter.clapId;
        e->param.cookie = parameter.cookie;
        e->param.note_id = e->param.port_index = e->param.channel = e->param.key = -1;
        e->param.value = plain;
    }
}

// Without data: the pending values alone, for a flush.
void ClapAsVst3::collectInput(ProcessData* data) {
    Block& b = *block_;
    b.clear();
    if (anyPending_.exchange(false, std::memory_order_acq_rel))
        for (uint32_t i = 0; i < paramByIndex_.size(); ++i)
            if (pendingSet_[i].exchange(false, std::memory_order_acq_rel))
                addValue(i, 0, pendingValue_[i].load(std::memory_order_relaxed));
    if (data == nullptr) return;
    const int32 frames = std::max(data->numSamples, 0);
    auto clampTime = [frames](int32 offset) {
        return static_cast<uint32_t>(std::clamp(offset, 0, std::max(frames - 1, 0)));
    };
    // Every point of a queue, at its offset: the plug-in applies each on its sample.
    if (IParameterChanges* changes = data->inputParameterChanges) {
        for (int32 q = 0; q < changes->getParameterCount(); ++q) {
            IParamValueQueue* queue = changes->getParameterData(q);
            if (queue == nullptr) continue;
            const int32 index = indexOf(queue->getParameterId());
            // The plug-in's own editor holds this one: its gesture wins.
            if (index < 0 || editing_[index].load(std::memory_order_relaxed)) continue;
            const Vst3Parameter& parameter = *paramByIndex_[index];
            for (int32 point = 0; point < queue->getPointCount(); ++point) {
                int32 offset = 0;
                ParamValue value = 0;
                if (queue->getPoint(point, offset, value) == kResultOk)
                    addValue(static_cast<uint32_t>(index), clampTime(offset),
                             parameter.toPlain(value));
            }
        }
    }
    if (IEventList* events = data->inputEvents) {
        for (int32 i = 0; i < events->getEventCount(); ++i) {
            Event event{};
            if (events->getEvent(i, event) != kResultOk) continue;
            const bool on = event.type == Event::kNoteOnEvent;
            if (!on && event.type != Event::kNoteOffEvent) continue;
            const int16 channel = on ? event.noteOn.channel : event.noteOff.channel;
            const int16 pitch = on ? event.noteOn.pitch : event.noteOff.pitch;
            if (channel < 0 || channel > 15 || pitch < 0 || pitch > 127) continue;
            Block::Event* e = b.add(clampTime(event.sampleOffset));
            if (e == nullptr) break;
            e->note.header.size = sizeof e->note;
            e->note.header.type = on ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF;
            e->note.header.flags = (event.flags & Event::kIsLive) ? CLAP_EVENT_IS_LIVE : 0;
            e->note.note_id = on ? event.noteOn.noteId : event.noteOff.noteId;
            e->note.port_index = 0;
            e->note.channel = channel;
            e->note.key = pitch;
            e->note.velocity = on ? event.noteOn.velocity : event.noteOff.velocity;
            b.noteIds[channel][pitch] = on ? e->note.note_id : -1;
        }
    }
    b.sort();
}

void ClapAsVst3::runFlush(IParameterChanges* outChanges, EditLane& lane) {
    block_->outChanges = outChanges;
    block_->lane = &lane;
    if (params_ != nullptr) params_->flush(plugin_, &block_->in, &block_->out);
}

namespace {

// Mono or stereo with every channel present.
bool usable(const AudioBusBuffers& bus, int32 most = 2) {
    if (bus.numChannels < 1 || bus.numChannels > most || bus.channelBuffers32 == nullptr)
        return false;
    for (int32 c = 0; c < bus.numChannels; ++c)
        if (bus.channelBuffers32[c] == nullptr) return false;
    return true;
}

bool stereo(const AudioBusBuffers& bus) {
    return bus.numChannels == 2 && usable(bus);
}

// One bit per channel that is all zeros, as VST 3 flags silence.
uint64 silentChannels(const AudioBusBuffers& bus, int32 frames) {
    uint64 flags = 0;
    for (int32 c = 0; c < bus.numChannels && c < 64; ++c) {
        const float* x = bus.channelBuffers32[c];
        if (std::all_of(x, x + frames, [](float v) { return v == 0.0f; })) flags |= uint64(1) << c;
    }
    return flags;
}

void silence(ProcessData& data) {
    if (data.outputs == nullptr || data.numSamples <= 0) return;
    for (int32 bus = 0; bus < data.numOutputs; ++bus) {
        AudioBusBuffers& out = data.outputs[bus];
        if (out.channelBuffers32 == nullptr) continue;
        for (int32 c = 0; c < out.numChannels; ++c)
            if (out.channelBuffers32[c] != nullptr)
                std::fill_n(out.channelBuffers32[c], data.numSamples, 0.0f);
        out.silenceFlags = (uint64(1) << std::min(out.numChannels, 63)) - 1;
    }
}

void fillTransport(clap_event_transport& t, const ProcessContext* context) {
    std::memset(&t, 0, sizeof t);
    t.header = {sizeof t, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    t.tempo = 120.0;
    t.tsig_num = 4;
    t.tsig_denom = 4;
    if (context == nullptr) return;
    const uint32 s = context->state;
    t.flags = CLAP_TRANSPORT_HAS_SECONDS_TIMELINE;
    if (s & ProcessContext::kPlaying) t.flags |= CLAP_TRANSPORT_IS_PLAYING;
    if (s & ProcessContext::kRecording) t.flags |= CLAP_TRANSPORT_IS_RECORDING;
    if (s & ProcessContext::kCycleActive) t.flags |= CLAP_TRANSPORT_IS_LOOP_ACTIVE;
    if (s & ProcessContext::kTempoValid) {
        t.flags |= CLAP_TRANSPORT_HAS_TEMPO;
        t.tempo = context->tempo;
    }
    if (s & ProcessContext::kProjectTimeMusicValid) {
        t.flags |= CLAP_TRANSPORT_HAS_BEATS_TIMELINE;
        t.song_pos_beats = std::llround(context->projectTimeMusic * CLAP_BEATTIME_FACTOR);
        if (s & ProcessContext::kBarPositionValid)
            t.bar_start = static_cast<int64_t>(context->barPositionMusic * CLAP_BEATTIME_FACTOR);
    }
    if (s & ProcessContext::kCycleValid) {
        t.loop_start_beats = std::llround(context->cycleStartMusic * CLAP_BEATTIME_FACTOR);
        t.loop_end_beats = std::llround(context->cycleEndMusic * CLAP_BEATTIME_FACTOR);
    }
    if (s & ProcessContext::kTimeSigValid) {
        t.flags |= CLAP_TRANSPORT_HAS_TIME_SIGNATURE;
        t.tsig_num = static_cast<uint16_t>(context->timeSigNumerator);
        t.tsig_denom = static_cast<uint16_t>(context->timeSigDenominator);
    }
    if (context->sampleRate > 0)
        t.song_pos_seconds = std::llround(double(context->projectTimeSamples) /
                                          context->sampleRate * CLAP_SECTIME_FACTOR);
}

} // namespace

tresult PLUGIN_API ClapAsVst3::process(ProcessData& data) {
    std::unique_lock audio(audio_, std::try_to_lock);
    if (!audio.owns_lock()) {
        // The main thread is changing the activation: this block is silent.
        silence(data);
        return kResultOk;
    }
    if (!active_ || plugin_ == nullptr) return kNotInitialized;
    struct AudioScope {
        std::atomic<uint64_t>& blocksDone;
        explicit AudioScope(std::atomic<uint64_t>& done) : blocksDone(done) { tAudioThread = true; }
        ~AudioScope() {
            tAudioThread = false;
            blocksDone.fetch_add(1, std::memory_order_release);
        }
    } scope(blocksDone_);
    collectInput(&data);
    Block& b = *block_;
    b.outChanges = data.outputParameterChanges;
    b.lane = audioLane_.get();

    const bool hasOutput =
        data.numOutputs >= 1 && data.outputs != nullptr && stereo(data.outputs[0]);
    if (data.numSamples <= 0 || !hasOutput) {
        // Flushes, and blocks whose main busses do not match: silence, but
        // parameter changes still reach the plug-in.
        silence(data);
        runFlush(data.outputParameterChanges, *audioLane_);
        return kResultOk;
    }
    AudioBusBuffers& out = data.outputs[0];
    const bool hasInput = data.numInputs >= 1 && data.inputs != nullptr && usable(data.inputs[0]);
    if (!hasInput)
        for (int c = 0; c < 2; ++c)
            std::fill_n(out.channelBuffers32[c], data.numSamples, 0.0f);
    const bool hasSidechain =
        sidechainActive_ && data.numInputs >= 2 && data.inputs != nullptr && usable(data.inputs[1]);

    b.inputs[0] = {};
    b.inputs[0].data32 = hasInput ? data.inputs[0].channelBuffers32 : out.channelBuffers32;
    b.inputs[0].channel_count = hasInput ? static_cast<uint32_t>(data.inputs[0].numChannels) : 2;
    b.inputs[1] = {};
    if (hasSidechain) {
        b.inputs[1].data32 = data.inputs[1].channelBuffers32;
        b.inputs[1].channel_count = static_cast<uint32_t>(data.inputs[1].numChannels);
    }
    b.outputs[0] = {};
    b.outputs[0].data32 = out.channelBuffers32;
    b.outputs[0].channel_count = 2;

    fillTransport(b.transport, data.processContext);
    b.process = {};
    b.process.steady_time = steadyTime_;
    steadyTime_ += data.numSamples;
    b.process.frames_count = static_cast<uint32_t>(data.numSamples);
    b.process.transport = data.processContext != nullptr ? &b.transport : nullptr;
    b.process.audio_inputs = b.inputs;
    b.process.audio_inputs_count = hasSidechain ? 2 : 1;
    b.process.audio_outputs = b.outputs;
    b.process.audio_outputs_count = 1;
    b.process.in_events = &b.in;
    b.process.out_events = &b.out;
    const clap_process_status status = plugin_->process(plugin_, &b.process);
    if (status == CLAP_PROCESS_ERROR)
        silence(data);
    else
        out.silenceFlags = silentChannels(out, data.numSamples);
    return kResultOk;
}

// ---- main-thread work ----

void ClapAsVst3::begin(uint32_t index) {
    beginEdit(paramByIndex_[index]->getInfo().id);
}

void ClapAsVst3::perform(uint32_t index, double plainValue) {
    Vst3Parameter* parameter = paramByIndex_[index];
    const ParamValue normalized = parameter->toNormalized(plainValue);
    parameter->setNormalized(normalized);
    performEdit(parameter->getInfo().id, normalized);
}

void ClapAsVst3::end(uint32_t index) {
    endEdit(paramByIndex_[index]->getInfo().id);
}

void ClapAsVst3::flushWhileIdle() {
    // Blocks are running: the next one carries the values and the requests,
    // and this thread must not hold up process.
    if (plugin_ == nullptr || processing_.load(std::memory_order_acquire)) return;
    std::lock_guard audio(audio_);
    if (processing_.load(std::memory_order_relaxed)) return;
    flushRequested.store(false);
    // Active, the flush belongs to the audio thread; holding its lock, this
    // thread stands in for it.
    const bool asAudio = active_.load(std::memory_order_relaxed);
    tAudioThread = asAudio;
    collectInput(nullptr);
    runFlush(nullptr, asAudio ? *audioLane_ : *mainLane_);
    tAudioThread = false;
}

void ClapAsVst3::awaitPendingDelivery() {
    using namespace std::chrono_literals;
    if (!processing_.load(std::memory_order_acquire) ||
        !anyPending_.load(std::memory_order_acquire))
        return;
    // The block running now may have read the values before they were set;
    // the one after it has them. A host that stops calling process without
    // saying so is not waited for long.
    const uint64_t start = blocksDone_.load(std::memory_order_acquire);
    const auto deadline = std::chrono::steady_clock::now() + 200ms;
    while (blocksDone_.load(std::memory_order_acquire) < start + 2 &&
           processing_.load(std::memory_order_acquire) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
}

void ClapAsVst3::drainPending() {
    if (plugin_ == nullptr) return;
    if (flushRequested.load() || anyPending_.load()) flushWhileIdle();
    audioLane_->drain(*this, hostOpen_.get());
    mainLane_->drain(*this, hostOpen_.get());
    if (callbackRequested.exchange(false)) plugin_->on_main_thread(plugin_);

    int32 restart = static_cast<int32>(restartFlags.exchange(0));
    if (const uint32_t rescan = rescanRequested.exchange(0); rescan != 0) {
        if ((rescan & CLAP_PARAM_RESCAN_ALL) && active_) {
            restartRequested = true;
        } else if (rescan & (CLAP_PARAM_RESCAN_ALL | CLAP_PARAM_RESCAN_INFO)) {
            for (Vst3Parameter* parameter : paramByIndex_) {
                clap_param_info info{};
                for (uint32_t i = 0; i < paramByIndex_.size(); ++i)
                    if (params_->get_info(plugin_, i, &info) && info.id == parameter->clapId) break;
                info.name[sizeof info.name - 1] = 0;
                info.module[sizeof info.module - 1] = 0;
                utf8ToUtf16(titleFor(info, std::string_view::npos).c_str(),
                            reinterpret_cast<char16_t*>(parameter->getInfo().title), 128);
                utf8ToUtf16(titleFor(info, 3).c_str(),
                            reinterpret_cast<char16_t*>(parameter->getInfo().shortTitle), 128);
            }
            syncParametersFromPlugin();
            restart |= kParamTitlesChanged | kParamValuesChanged;
        } else if (rescan & CLAP_PARAM_RESCAN_VALUES) {
            syncParametersFromPlugin();
            restart |= kParamValuesChanged;
        }
    }
    if (restartRequested.exchange(false)) restart |= kIoChanged | kLatencyChanged;
    if (restart != 0 && componentHandler != nullptr) componentHandler->restartComponent(restart);
    if (dirtyRequested.exchange(false)) setDirty(true);
    if (showRequested.exchange(false)) requestOpenEditor(ViewType::kEditor);
    if (const uint32_t size = pendingResize.exchange(0xFFFFFFFF); size != 0xFFFFFFFF && view_)
        view_->requestResize(size >> 16, size & 0xFFFF);
}

void ClapAsVst3::onIdle() {
    std::lock_guard lock(main_);
    drainPending();
}

bool ClapAsVst3::requestResize(uint32_t width, uint32_t height) {
    if (width > 0xFFFF || height > 0xFFFF) return false;
    pendingResize = (width << 16) | height;
    return true;
}

bool ClapAsVst3::requestShow() {
    showRequested = true;
    return true;
}

// ---- run loop, timers and descriptors ----

void ClapAsVst3::viewRunLoop(Linux::IRunLoop* loop) {
    runLoop_.useViewLoop(loop);
}

void ClapAsVst3::viewDestroyed(WrappedView* view) {
    std::lock_guard lock(main_);
    if (view_ == view) view_ = nullptr;
}

IPlugView* PLUGIN_API ClapAsVst3::createView(FIDString name) {
    std::lock_guard lock(main_);
    drainPending();
    if (name == nullptr || std::strcmp(name, ViewType::kEditor) != 0 || gui_ == nullptr ||
        view_ != nullptr)
        return nullptr;
    view_ = new WrappedView(static_cast<IAudioProcessor*>(this), this, plugin_, gui_);
    return view_;
}

bool ClapAsVst3::registerTimer(uint32_t period, clap_id* id) {
    std::lock_guard lock(main_);
    return runLoop_.registerTimer(period, id);
}

bool ClapAsVst3::unregisterTimer(clap_id id) {
    std::lock_guard lock(main_);
    return runLoop_.unregisterTimer(id);
}

bool ClapAsVst3::registerFd(int fd, clap_posix_fd_flags_t flags) {
    std::lock_guard lock(main_);
    return runLoop_.registerFd(fd, flags);
}

bool ClapAsVst3::modifyFd(int fd, clap_posix_fd_flags_t flags) {
    std::lock_guard lock(main_);
    return runLoop_.modifyFd(fd, flags);
}

bool ClapAsVst3::unregisterFd(int fd) {
    std::lock_guard lock(main_);
    return runLoop_.unregisterFd(fd);
}

void ClapAsVst3::onTimer(clap_id id) {
    std::lock_guard lock(main_);
    drainPending();
    if (plugin_ != nullptr && timerSupport_ != nullptr) timerSupport_->on_timer(plugin_, id);
}

void ClapAsVst3::onFd(int fd, clap_posix_fd_flags_t flags) {
    std::lock_guard lock(main_);
    if (plugin_ != nullptr && fdSupport_ != nullptr) fdSupport_->on_fd(plugin_, fd, flags);
}

} // namespace norvale::vst3
