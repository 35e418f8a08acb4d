#include <cstdio>
#include <cstring>

#include "plugin/descriptor.h"
#include "plugin/extensions.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

namespace {

bool pluginInit(const clap_plugin*) {
    return true;
}

void pluginDestroy(const clap_plugin* plugin) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self != nullptr) destroyEditor(*self);
    delete self;
}

bool pluginActivate(const clap_plugin* plugin, double rate, uint32_t, uint32_t) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self == nullptr) return false;
    try {
        self->activate(rate);
        return true;
    } catch (...) {
        return false;
    }
}

void pluginDeactivate(const clap_plugin*) {}
bool pluginStartProcessing(const clap_plugin*) {
    return true;
}
void pluginStopProcessing(const clap_plugin*) {}

void pluginReset(const clap_plugin* plugin) {
    if (NorvalePlugin* self = NorvalePlugin::from(plugin)) self->reset();
}

clap_process_status pluginProcess(const clap_plugin* plugin, const clap_process* block) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    return self != nullptr ? self->process(block) : CLAP_PROCESS_ERROR;
}

const void* pluginGetExtension(const clap_plugin*, const char* id) {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParamsExt;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPortsExt;
    if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &kNotePortsExt;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kStateExt;
    if (std::strcmp(id, CLAP_EXT_TAIL) == 0) return &kTailExt;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 ||
        std::strcmp(id, CLAP_EXT_PRESET_LOAD_COMPAT) == 0)
        return &kPresetLoadExt;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGuiExt;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimerSupportExt;
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &kPosixFdSupportExt;
    return nullptr;
}

void pluginOnMainThread(const clap_plugin*) {}

uint32_t audioPortsCount(const clap_plugin*, bool isInput) {
    return isInput ? 2 : 1;
}

bool audioPortsGet(const clap_plugin*, uint32_t index, bool isInput, clap_audio_port_info* info) {
    if (info == nullptr) return false;
    struct Port {
        clap_id id;
        const char* name;
        uint32_t flags;
        clap_id inPlacePair;
    };
    Port port;
    if (isInput && index == 0)
        port = {0, "In", CLAP_AUDIO_PORT_IS_MAIN, 1};
    else if (isInput && index == 1)
        port = {2, "Sidechain", 0, CLAP_INVALID_ID};
    else if (!isInput && index == 0)
        port = {1, "Out", CLAP_AUDIO_PORT_IS_MAIN, 0};
    else
        return false;
    std::memset(info, 0, sizeof *info);
    info->id = port.id;
    std::snprintf(info->name, sizeof info->name, "%s", port.name);
    info->flags = port.flags;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = port.inPlacePair;
    return true;
}

uint32_t notePortsCount(const clap_plugin*, bool isInput) {
    return isInput ? 1 : 0;
}

bool notePortsGet(const clap_plugin*, uint32_t index, bool isInput, clap_note_port_info* info) {
    if (info == nullptr || !isInput || index != 0) return false;
    std::memset(info, 0, sizeof *info);
    info->id = 0;
    info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
    info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
    std::snprintf(info->name, sizeof info->name, "%s", "Trigger");
    return true;
}

uint32_t tailGet(const clap_plugin* plugin) {
    const NorvalePlugin* self = NorvalePlugin::from(plugin);
    return self != nullptr ? self->tailSamples() : 0;
}

} // namespace

const clap_plugin_audio_ports kAudioPortsExt = {audioPortsCount, audioPortsGet};
const clap_plugin_note_ports kNotePortsExt = {notePortsCount, notePortsGet};
const clap_plugin_tail kTailExt = {tailGet};

NorvalePlugin::NorvalePlugin(const clap_host* creatingHost)
    : clap{&kDescriptor,
           this,
           pluginInit,
           pluginDestroy,
           pluginActivate,
           pluginDeactivate,
           pluginStartProcessing,
           pluginStopProcessing,
           pluginReset,
           pluginProcess,
           pluginGetExtension,
           pluginOnMainThread},
      host(creatingHost) {
    for (uint32_t id = 0; id < kParamCount; ++id)
        values[id].store(kParams[id].defaultValue, std::memory_order_relaxed);
    resetCurves(curveSet);
}

NorvalePlugin* NorvalePlugin::from(const clap_plugin* plugin) {
    return plugin != nullptr ? static_cast<NorvalePlugin*>(plugin->plugin_data) : nullptr;
}

void NorvalePlugin::activate(double rate) {
    sampleRate = rate;
    // The engine works in sub-blocks of its own; the host's limits don't matter.
    engine.prepare(rate, 1024);
    engine.publishCurves(curveSet);
    paramsDirty.store(true, std::memory_order_release);
}

void NorvalePlugin::reset() {
    engine.reset();
    paramsDirty.store(true, std::memory_order_release);
}

uint32_t NorvalePlugin::tailSamples() const {
    constexpr double kLongestTail = 2000000000.0;
    const double samples = engine.tailSeconds() * sampleRate;
    if (!(samples > 0.0)) return 0;
    if (samples > kLongestTail) return static_cast<uint32_t>(kLongestTail);
    return static_cast<uint32_t>(samples);
}

const void* NorvalePlugin::hostExtension(const char* id) const {
    if (host == nullptr || host->get_extension == nullptr) return nullptr;
    return host->get_extension(host, id);
}

const clap_host_params* NorvalePlugin::hostParams() const {
    return static_cast<const clap_host_params*>(hostExtension(CLAP_EXT_PARAMS));
}

} // namespace norvale
