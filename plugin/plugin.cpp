// The plug-in object's CLAP face: descriptor, lifecycle, ports, tail and
// every extension table the plug-in offers.
#include <cstdio>
#include <cstring>

#include <clap/ext/state.h>
#include <clap/ext/tail.h>

#include "plugin/descriptor.h"
#include "plugin/norvale_plugin.h"
#include "plugin/params.h"

namespace norvale {

// ---- descriptor ----

namespace {
constexpr char kProjectPage[] = "https://kestrelhow.org/norvale";
}

const char* const kFeatures[] = {
    "audio-effect", "stereo", "effect", "multiband", "filter", "distortion", nullptr,
};

const clap_plugin_descriptor kDescriptor = {
    CLAP_VERSION_INIT,
    kPluginId,
    "Norvale",
    "Kestrelhow",
    kProjectPage,
    kProjectPage,
    kProjectPage,
    kVersion,
    "A multiband drawing effects rack: seven stages in series -- volume, filter, drive, crush, "
    "time, width and pan -- each with its own drawable curve for every one of three frequency "
    "bands. Draw a ducking shape, a filter sweep, a distortion envelope, a stepped crush "
    "pattern, a stutter or a stereo move into the curve editor and it runs locked to the "
    "host's beat -- or restarts on a MIDI note or a hit in the sidechain, which is drawn "
    "behind the shape so a duck can be fitted to the kick.",
    kFeatures,
};

// ---- C callbacks ----

namespace {

// Fills a clap_* table slot with a function that forwards to a member. No
// exception crosses into the host: a throwing member answers false, null or
// an error status, which all read as R{}.
template <auto Method>
struct Forward;

template <class R, class... A, R (NorvalePlugin::*M)(A...)>
struct Forward<M> {
    static R call(const clap_plugin* plugin, A... args) noexcept {
        NorvalePlugin* self = NorvalePlugin::from(plugin);
        if (self == nullptr) return R();
        try {
            return (self->*M)(args...);
        } catch (...) {
            return R();
        }
    }
};

template <class R, class... A, R (NorvalePlugin::*M)(A...) const>
struct Forward<M> {
    static R call(const clap_plugin* plugin, A... args) noexcept {
        const NorvalePlugin* self = NorvalePlugin::from(plugin);
        if (self == nullptr) return R();
        try {
            return (self->*M)(args...);
        } catch (...) {
            return R();
        }
    }
};

template <auto Method>
constexpr auto forward = &Forward<Method>::call;

} // namespace

// ---- lifecycle ----

NorvalePlugin::NorvalePlugin(const clap_host* creatingHost)
    : clap{&kDescriptor,
           this,
           forward<&NorvalePlugin::init>,
           forward<&NorvalePlugin::destroy>,
           forward<&NorvalePlugin::activate>,
           forward<&NorvalePlugin::deactivate>,
           forward<&NorvalePlugin::startProcessing>,
           forward<&NorvalePlugin::stopProcessing>,
           forward<&NorvalePlugin::reset>,
           forward<&NorvalePlugin::process>,
           forward<&NorvalePlugin::getExtension>,
           forward<&NorvalePlugin::onMainThread>},
      host(creatingHost) {
    for (uint32_t id = 0; id < kParamCount; ++id)
        values[id].store(kParams[id].defaultValue, std::memory_order_relaxed);
    resetCurves(curveSet);
}

void NorvalePlugin::destroy() {
    // The editor's clock stops and its window closes before anything it reads goes.
    guiDestroy();
    delete this;
}

bool NorvalePlugin::activate(double rate, uint32_t, uint32_t) {
    sampleRate = rate;
    // The engine works in sub-blocks of its own; the host's limits don't matter.
    engine.prepare(rate, 1024);
    engine.publishCurves(curveSet);
    modulation.fill(0.0);
    paramsDirty.store(true, std::memory_order_release);
    // A host reads the tail after activating.
    reportedTail = tailGet();
    return true;
}

void NorvalePlugin::reset() {
    engine.reset();
    modulation.fill(0.0);
    paramsDirty.store(true, std::memory_order_release);
}

// ---- extensions ----

const void* NorvalePlugin::getExtension(const char* id) {
    static const clap_plugin_params params = {
        forward<&NorvalePlugin::paramsCount>,       forward<&NorvalePlugin::paramsGetInfo>,
        forward<&NorvalePlugin::paramsGetValue>,    forward<&NorvalePlugin::paramsValueToText>,
        forward<&NorvalePlugin::paramsTextToValue>, forward<&NorvalePlugin::paramsFlush>,
    };
    static const clap_plugin_audio_ports audioPorts = {forward<&NorvalePlugin::audioPortsCount>,
                                                       forward<&NorvalePlugin::audioPortsGet>};
    static const clap_plugin_note_ports notePorts = {forward<&NorvalePlugin::notePortsCount>,
                                                     forward<&NorvalePlugin::notePortsGet>};
    static const clap_plugin_state state = {forward<&NorvalePlugin::stateSave>,
                                            forward<&NorvalePlugin::stateLoad>};
    static const clap_plugin_tail tail = {forward<&NorvalePlugin::tailGet>};
    static const clap_plugin_preset_load presetLoad = {
        forward<&NorvalePlugin::presetLoadFromLocation>};
    static const clap_plugin_gui gui = {
        forward<&NorvalePlugin::guiIsApiSupported>, forward<&NorvalePlugin::guiGetPreferredApi>,
        forward<&NorvalePlugin::guiCreate>,         forward<&NorvalePlugin::guiDestroy>,
        forward<&NorvalePlugin::guiSetScale>,       forward<&NorvalePlugin::guiGetSize>,
        forward<&NorvalePlugin::guiCanResize>,      forward<&NorvalePlugin::guiGetResizeHints>,
        forward<&NorvalePlugin::guiAdjustSize>,     forward<&NorvalePlugin::guiSetSize>,
        forward<&NorvalePlugin::guiSetParent>,      forward<&NorvalePlugin::guiSetTransient>,
        forward<&NorvalePlugin::guiSuggestTitle>,   forward<&NorvalePlugin::guiShow>,
        forward<&NorvalePlugin::guiHide>,
    };
    static const clap_plugin_timer_support timerSupport = {forward<&NorvalePlugin::guiOnTimer>};
    static const clap_plugin_posix_fd_support posixFdSupport = {
        forward<&NorvalePlugin::posixFdOnFd>};

    if (id == nullptr) return nullptr;
    const auto is = [id](const char* name) { return std::strcmp(id, name) == 0; };
    if (is(CLAP_EXT_PARAMS)) return &params;
    if (is(CLAP_EXT_AUDIO_PORTS)) return &audioPorts;
    if (is(CLAP_EXT_NOTE_PORTS)) return &notePorts;
    if (is(CLAP_EXT_STATE)) return &state;
    if (is(CLAP_EXT_TAIL)) return &tail;
    if (is(CLAP_EXT_PRESET_LOAD) || is(CLAP_EXT_PRESET_LOAD_COMPAT)) return &presetLoad;
    if (is(CLAP_EXT_GUI)) return &gui;
    if (is(CLAP_EXT_TIMER_SUPPORT)) return &timerSupport;
    if (is(CLAP_EXT_POSIX_FD_SUPPORT)) return &posixFdSupport;
    return nullptr;
}

bool NorvalePlugin::audioPortsGet(uint32_t index, bool isInput, clap_audio_port_info* info) const {
    struct Port {
        clap_id id;
        const char* name;
        uint32_t flags;
        clap_id inPlacePair;
    };
    static constexpr Port kIn = {0, "In", CLAP_AUDIO_PORT_IS_MAIN, 1};
    static constexpr Port kSidechain = {2, "Sidechain", 0, CLAP_INVALID_ID};
    static constexpr Port kOut = {1, "Out", CLAP_AUDIO_PORT_IS_MAIN, 0};
    if (info == nullptr || index >= audioPortsCount(isInput)) return false;
    const Port& port = !isInput ? kOut : index == 0 ? kIn : kSidechain;
    std::memset(info, 0, sizeof *info);
    info->id = port.id;
    std::snprintf(info->name, sizeof info->name, "%s", port.name);
    info->flags = port.flags;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = port.inPlacePair;
    return true;
}

bool NorvalePlugin::notePortsGet(uint32_t index, bool isInput, clap_note_port_info* info) const {
    if (info == nullptr || !isInput || index != 0) return false;
    std::memset(info, 0, sizeof *info);
    info->id = 0;
    info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
    info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
    std::snprintf(info->name, sizeof info->name, "%s", "Trigger");
    return true;
}

uint32_t NorvalePlugin::tailGet() const {
    constexpr double kLongestTail = 2000000000.0;
    const bool timeOn =
        plugincore::paramToReal(kParams[kParamTimOn], paramValue(kParamTimOn)) != 0.0;
    const double range =
        plugincore::paramToReal(kParams[kParamTimRange], paramValue(kParamTimRange)) * 0.001;
    const double samples = Engine::tailSeconds(timeOn, range) * sampleRate;
    if (!(samples > 0.0)) return 0;
    if (samples > kLongestTail) return static_cast<uint32_t>(kLongestTail);
    return static_cast<uint32_t>(samples);
}

// ---- host services ----

const void* NorvalePlugin::hostExtension(const char* id) const {
    if (host == nullptr || host->get_extension == nullptr) return nullptr;
    return host->get_extension(host, id);
}

const clap_host_params* NorvalePlugin::hostParams() const {
    return static_cast<const clap_host_params*>(hostExtension(CLAP_EXT_PARAMS));
}

// ---- "clap.params" ----

bool NorvalePlugin::paramsGetInfo(uint32_t index, clap_param_info* info) const {
    using plugincore::ParamKind;
    if (index >= kParamCount || info == nullptr) return false;
    const plugincore::ParamDesc& desc = kParams[index];
    std::memset(info, 0, sizeof *info);
    info->id = desc.id;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_MODULATABLE;
    if (desc.kind == ParamKind::Stepped) info->flags |= CLAP_PARAM_IS_STEPPED;
    if (desc.kind == ParamKind::Enum) info->flags |= CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM;
    if (desc.id == kParamBypass)
        info->flags = (info->flags & ~CLAP_PARAM_IS_MODULATABLE) | CLAP_PARAM_IS_BYPASS;
    info->cookie = nullptr;
    // Hosts list parameters flat, so a name that several modules share
    // carries its module ("Volume Rate").
    if (param_rows::needsGroupInName(index))
        std::snprintf(info->name, sizeof info->name, "%s %s", desc.group, desc.name);
    else
        std::snprintf(info->name, sizeof info->name, "%s", desc.name);
    std::snprintf(info->module, sizeof info->module, "%s", desc.group);
    info->min_value = desc.minValue;
    info->max_value = desc.maxValue;
    info->default_value = desc.defaultValue;
    return true;
}

bool NorvalePlugin::paramsGetValue(clap_id id, double* out) const {
    if (out == nullptr || id >= kParamCount) return false;
    *out = paramValue(id);
    return true;
}

bool NorvalePlugin::paramsValueToText(clap_id id, double value, char* buffer,
                                      uint32_t capacity) const {
    const plugincore::ParamDesc* desc = paramById(id);
    return desc != nullptr && plugincore::paramValueToText(*desc, value, buffer, capacity);
}

bool NorvalePlugin::paramsTextToValue(clap_id id, const char* text, double* out) const {
    const plugincore::ParamDesc* desc = paramById(id);
    return desc != nullptr && out != nullptr && plugincore::paramTextToValue(*desc, text, *out);
}

} // namespace norvale
