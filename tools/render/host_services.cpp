#include "render/host_services.h"

#include <cstdio>
#include <cstring>

namespace norvale::render {
namespace {

HostServices* servicesOf(const clap_host_t* host) {
    return host ? static_cast<HostServices*>(host->host_data) : nullptr;
}

// A renderer reads values right before it processes, so there is nothing to refresh.
void paramsRescan(const clap_host_t*, clap_param_rescan_flags) {}
void paramsClear(const clap_host_t*, clap_id, clap_param_clear_flags) {}
void paramsRequestFlush(const clap_host_t*) {}

void stateMarkDirty(const clap_host_t*) {}

// Only failures matter: they end the run.
void presetLoaded(const clap_host_t*, uint32_t, const char*, const char*) {}

}  // namespace

HostServices::HostServices() {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = "norvale-render";
    host_.vendor = "Kestrelhow";
    host_.url = "";
    host_.version = NORVALE_RENDER_VERSION;
    host_.get_extension = getExtension;
    host_.request_restart = requestRestart;
    host_.request_process = requestProcess;
    host_.request_callback = requestCallback;
}

const void* HostServices::getExtension(const clap_host_t*, const char* id) {
    static const clap_host_log_t log = {HostServices::log};
    static const clap_host_params_t params = {paramsRescan, paramsClear, paramsRequestFlush};
    static const clap_host_state_t state = {stateMarkDirty};
    static const clap_host_preset_load_t presetLoad = {presetLoadError, presetLoaded};
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_LOG) == 0) return &log;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &params;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &state;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &presetLoad;
    return nullptr;
}

// The render runs start to end in one go; there is no restart to schedule.
void HostServices::requestRestart(const clap_host_t*) {}
void HostServices::requestProcess(const clap_host_t*) {}

void HostServices::requestCallback(const clap_host_t* host) {
    if (HostServices* self = servicesOf(host)) self->callbackRequested_.store(true);
}

void HostServices::log(const clap_host_t* host, clap_log_severity severity, const char* message) {
    if (severity < CLAP_LOG_WARNING || !message) return;
    // A failed preset load is also logged; the run's own error line says it already.
    if (const HostServices* self = servicesOf(host); self && !self->presetError_.empty() &&
                                                     self->presetError_ == message)
        return;
    const char* label = severity == CLAP_LOG_WARNING ? "warning" : "error";
    std::fprintf(stderr, "norvale-render: plug-in %s: %s\n", label, message);
}

void HostServices::presetLoadError(const clap_host_t* host, uint32_t, const char*, const char*, int32_t osError,
                                   const char* message) {
    HostServices* self = servicesOf(host);
    if (!self) return;
    if (message && *message) self->presetError_ = message;
    else if (osError != 0) self->presetError_ = std::strerror(osError);
    else self->presetError_ = "no reason given";
}

}  // namespace norvale::render
