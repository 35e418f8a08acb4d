#include "render/host_services.h"

#include <cstdio>
#include <cstring>

namespace norvale::render {
namespace {

void logMessage(const clap_host_t*, clap_log_severity severity, const char* message) {
    if (severity < CLAP_LOG_WARNING || !message) return;
    const char* label = severity == CLAP_LOG_WARNING ? "warning" : "error";
    std::fprintf(stderr, "norvale-render: plug-in %s: %s\n", label, message);
}

// A renderer reads values right before it processes, so there is nothing to refresh.
void paramsRescan(const clap_host_t*, clap_param_rescan_flags) {}
void paramsClear(const clap_host_t*, clap_id, clap_param_clear_flags) {}
void paramsRequestFlush(const clap_host_t*) {}

void stateMarkDirty(const clap_host_t*) {}

const clap_host_log_t kLog = {logMessage};
const clap_host_params_t kParams = {paramsRescan, paramsClear, paramsRequestFlush};
const clap_host_state_t kState = {stateMarkDirty};

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
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_LOG) == 0) return &kLog;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
    return nullptr;
}

// The render runs start to end in one go; there is no restart to schedule.
void HostServices::requestRestart(const clap_host_t*) {}
void HostServices::requestProcess(const clap_host_t*) {}

void HostServices::requestCallback(const clap_host_t* host) {
    if (host && host->host_data)
        static_cast<HostServices*>(host->host_data)->callbackRequested_.store(true);
}

}  // namespace norvale::render
