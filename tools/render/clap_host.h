// The host side of one loaded plug-in: the module, the host record and its
// extensions, the plug-in instance and the event lists handed to it. The
// tool calls the plug-in from one thread, which is both its main and its
// audio thread.
#pragma once

#include <atomic>
#include <clap/clap.h>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norvale::render {

// How the tool names itself to the plug-in: host record and preset indexer.
inline constexpr char kHostName[] = "norvale-render";
inline constexpr char kHostVendor[] = "Kestrelhow";

// ---- module ----
// A loaded CLAP binary: the shared object, its initialised entry and its
// plug-in factory. Unloads in reverse on destruction.

class ClapModule {
public:
    explicit ClapModule(const std::string& path); // throws RenderError
    ~ClapModule();
    ClapModule(const ClapModule&) = delete;
    ClapModule& operator=(const ClapModule&) = delete;

    const std::string& path() const { return path_; }
    const clap_plugin_factory_t& factory() const { return *factory_; }
    // The first plug-in the factory offers.
    const clap_plugin_descriptor_t& descriptor() const { return *descriptor_; }
    // Null when the file offers no preset discovery.
    const clap_preset_discovery_factory_t* presetDiscoveryFactory() const;

private:
    std::string path_;
    void* library_ = nullptr;
    const clap_plugin_entry_t* entry_ = nullptr;
    bool entryInitialised_ = false;
    const clap_plugin_factory_t* factory_ = nullptr;
    const clap_plugin_descriptor_t* descriptor_ = nullptr;
};

// ---- host services ----
// The host record handed to the plug-in, with the few host extensions an
// offline renderer needs.

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

// ---- plug-in instance ----
// One plug-in instance created through a module's factory, with the
// extensions the renderer uses. Undoes whatever lifecycle steps were taken,
// in reverse, on destruction.

class PluginInstance {
public:
    PluginInstance(const ClapModule& module,
                   const clap_host_t* host); // create + init; throws RenderError
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // Parameters; the "clap.params" extension is required.
    uint32_t paramCount() const;
    std::optional<clap_param_info_t> paramInfoById(clap_id id) const;
    std::optional<double> textToValue(clap_id id, const std::string& text) const;
    std::string valueToText(clap_id id, double value) const;
    std::optional<double> value(clap_id id) const;
    void flushParams(const clap_input_events_t* events, const clap_output_events_t* out);

    std::vector<clap_audio_port_info_t> audioPorts(bool input) const;
    std::vector<clap_note_port_info_t> notePorts(bool input) const;

    // False when the plug-in has no state or refuses the stream.
    bool loadState(const std::vector<uint8_t>& bytes);
    std::optional<std::vector<uint8_t>> saveState() const;

    // Through "clap.preset-load/2" on the main thread; a failure reaches the
    // host's on_error. False also when the plug-in cannot load presets.
    bool hasPresetLoad() const;
    bool loadPreset(uint32_t kind, const char* location, const char* loadKey);

    void activate(double sampleRate, uint32_t maxFrames); // throws RenderError
    void startProcessing();                               // throws RenderError
    clap_process_status process(const clap_process_t& block);
    void stopProcessing();
    void deactivate();
    void runMainThreadCallback();

private:
    template <typename Extension>
    const Extension* extension(const char* id) const;
    const clap_plugin_preset_load_t* presetLoad() const;

    const clap_plugin_t* plugin_ = nullptr;
    const clap_plugin_params_t* params_ = nullptr;
    bool active_ = false;
    bool processing_ = false;
};

// ---- event lists ----
// Event lists handed to the plug-in: one input list the host fills per
// block, and an output list that accepts and drops what the plug-in sends.

class InputEvents {
public:
    InputEvents();
    InputEvents(const InputEvents&) = delete;
    InputEvents& operator=(const InputEvents&) = delete;

    // Events must be added in time order.
    void add(const clap_event_param_value_t& event);
    void add(const clap_event_note_t& event);
    void clear() { events_.clear(); }
    std::size_t size() const { return events_.size(); }

    const clap_input_events_t* list() const { return &list_; }

private:
    union AnyEvent {
        clap_event_header_t header;
        clap_event_param_value_t param;
        clap_event_note_t note;
    };
    static uint32_t sizeOf(const clap_input_events_t* list);
    static const clap_event_header_t* get(const clap_input_events_t* list, uint32_t index);

    std::vector<AnyEvent> events_;
    clap_input_events_t list_{};
};

// Gestures and values from an editor have no one to go to in a renderer.
class DiscardedEvents {
public:
    DiscardedEvents();
    DiscardedEvents(const DiscardedEvents&) = delete;
    DiscardedEvents& operator=(const DiscardedEvents&) = delete;

    const clap_output_events_t* list() const { return &list_; }

private:
    static bool tryPush(const clap_output_events_t* list, const clap_event_header_t* event);

    clap_output_events_t list_{};
};

// A core event of its own size and type, the rest zero.
template <typename Event>
Event coreEvent(uint16_t type, uint32_t time) {
    Event event{};
    event.header.size = sizeof(event);
    event.header.time = time;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = type;
    return event;
}

clap_event_param_value_t paramValueEvent(clap_id id, void* cookie, double value);
clap_event_note_t noteEvent(uint16_t type, uint32_t time, int32_t noteId, int16_t key);

} // namespace norvale::render
