// The host record handed to the plug-in, with the few host extensions an
// offline renderer needs.
#pragma once

#include <atomic>
#include <clap/clap.h>
#include <string>
#include <utility>

namespace norvale::render {

class HostServices {
public:
    HostServices();
    HostServices(const HostServices&) = delete;
    HostServices& operator=(const HostServices&) = delete;

    const clap_host_t* host() const { return &host_; }

    // True once after the plug-in asked for on_main_thread.
    bool takeCallbackRequest() { return callbackRequested_.exchange(false); }

    // The message of the last failed preset load, then "" again.
    std::string takePresetError() { return std::exchange(presetError_, {}); }

private:
    static const void* getExtension(const clap_host_t* host, const char* id);
    static void requestRestart(const clap_host_t* host);
    static void requestProcess(const clap_host_t* host);
    static void requestCallback(const clap_host_t* host);
    static void log(const clap_host_t* host, clap_log_severity severity, const char* message);
    static void presetLoadError(const clap_host_t* host, uint32_t kind, const char* location,
                                const char* loadKey, int32_t osError, const char* message);

    clap_host_t host_{};
    std::atomic<bool> callbackRequested_{false};
    std::string presetError_;
};

}  // namespace norvale::render
