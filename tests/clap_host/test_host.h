// The one CLAP test host: it loads the plug-in (the built file through dlopen,
// or the entry linked in-process), records every call the plug-in makes on
// it, and builds event lists, audio blocks and streams.
#pragma once

#include <clap/clap.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "state_image.h"

namespace claphost {

#ifdef NORVALE_CLAP_PATH
inline constexpr const char* kPluginFile = NORVALE_CLAP_PATH;
#else
inline constexpr const char* kPluginFile = nullptr;
#endif

inline constexpr uint32_t kParamCount = 83;

// Parameter ids the tests drive directly.
namespace pid {
inline constexpr clap_id kMix = 0, kInput = 1, kOutput = 2, kBandLow = 5, kVolOn = 8;
inline constexpr clap_id kVolRate = 10, kVolSmooth = 12, kFltOn = 13, kFltCutoff = 14;
inline constexpr clap_id kDrvOn = 24, kDrvStyle = 25, kDrvDrive = 26, kDrvInput = 27;
inline constexpr clap_id kTimOn = 34, kTimRange = 35, kTrigThreshold = 57, kTrigNote = 60;
inline constexpr clap_id kTrigOctave = 61, kVolTrigger = 62, kVolLoop = 63, kVolEnd = 64;
} // namespace pid

// Answers "clap.params", "clap.log" and "clap.preset-load/2" (params and
// preset-load can be withdrawn) and records every call the plug-in makes.
class TestHost {
public:
    bool offerParams = true;
    bool offerPresetLoad = true;

    struct LogEntry {
        int severity;
        std::string message;
    };
    struct PresetCall {
        uint32_t kind;
        std::optional<std::string> location, loadKey;
        int32_t osError;
        std::string message;
    };
    std::vector<uint32_t> rescans; // flags of each rescan call
    int flushRequests = 0;
    std::vector<LogEntry> logs;
    std::vector<PresetCall> presetErrors, presetsLoaded;

    TestHost();
    TestHost(const TestHost&) = delete;
    const clap_host_t* clap() const { return &host_; }

private:
    static const void* getExtension(const clap_host_t* host, const char* id);
    clap_host_t host_{};
};

// Copies of events, 8-byte aligned.
class EventStore {
public:
    uint32_t size() const { return static_cast<uint32_t>(events_.size()); }
    const clap_event_header_t& header(uint32_t i) const {
        return *reinterpret_cast<const clap_event_header_t*>(events_.at(i).data());
    }
    template <class T>
    const T& as(uint32_t i) const {
        return *reinterpret_cast<const T*>(&header(i));
    }
    void add(const clap_event_header_t& event) { // copies header.size bytes
        events_.emplace_back((event.size + 7) / 8);
        std::memcpy(events_.back().data(), &event, event.size);
    }
    void clear() { events_.clear(); }

private:
    std::vector<std::vector<uint64_t>> events_;
};

// Input event list in insertion order.
class InputEvents : public EventStore {
public:
    InputEvents();
    InputEvents(const InputEvents&) = delete;

    void paramValue(uint32_t time, clap_id id, double value);
    // note -1: monophonic, as hosts modulate a whole parameter.
    void paramMod(uint32_t time, clap_id id, double amount, int32_t noteId = -1);
    void noteOn(uint32_t time, int16_t key, uint16_t type = CLAP_EVENT_NOTE_ON);
    void midi(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2);
    const clap_input_events_t* list() const { return &list_; }

private:
    clap_input_events_t list_{};
};

// Output event list keeping a copy of every event the plug-in pushes.
class OutputEvents : public EventStore {
public:
    bool accept = true; // what try_push answers
    OutputEvents();
    OutputEvents(const OutputEvents&) = delete;
    const clap_output_events_t* list() const { return &list_; }

private:
    clap_output_events_t list_{};
};

// Loads the plug-in file (or takes an entry linked in) and runs the entry's
// init; undone in reverse.
class Module {
public:
    explicit Module(const char* path = kPluginFile);
    explicit Module(const clap_plugin_entry_t* linkedEntry);
    ~Module();
    Module(const Module&) = delete;

    bool ok() const { return entry_ != nullptr && initialised_; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }
    const clap_plugin_entry_t* entry() const { return entry_; }
    const clap_plugin_factory_t* factory() const;
    const clap_plugin_descriptor_t* descriptor() const;

private:
    void init();
    std::string path_, error_;
    void* handle_ = nullptr;
    const clap_plugin_entry_t* entry_ = nullptr;
    bool initialised_ = false;
};

// One audio block with its buffers and event lists. The main input has
// `inputChannels` channels (0..2, none at all without `mainInput`); the
// sidechain port carries as many channels as `sidechain` has.
struct AudioBlock {
    explicit AudioBlock(uint32_t frames);

    uint32_t frames;
    std::vector<float> inL, inR, outL, outR;
    // One vector per channel; an empty one stands for a null pointer.
    std::vector<std::vector<float>> sidechain;
    bool sidechainPort = true; // false: only the main input port
    bool mainInput = true;     // false: no input port at all
    uint32_t inputChannels = 2;
    uint32_t outputChannels = 2; // 0: no buffers at all
    bool inPlace = false;        // output buffers double as the input
    InputEvents events;
    OutputEvents outEvents;

    void fillInput(float (*signal)(uint32_t frame, int channel), uint32_t startFrame = 0);
    clap_process_status run(const clap_plugin_t* plugin);
};

// One plug-in instance created through the factory and initialised; destroyed
// (after deactivation if needed) when it goes out of scope.
class Instance {
public:
    Instance(const Module& module, const TestHost& host);
    ~Instance();
    Instance(const Instance&) = delete;

    const clap_plugin_t* plugin() const { return plugin_; }
    bool activate(double sampleRate = 48000.0, uint32_t minFrames = 1, uint32_t maxFrames = 1024);
    void deactivate();

    const void* extension(const char* id) const;
    const clap_plugin_params_t* params() const;
    const clap_plugin_state_t* state() const;

    double value(clap_id id) const; // NaN when get_value fails
    clap_param_info_t info(uint32_t index) const;
    std::string text(clap_id id, double value) const; // "<fail>" when refused
    // Sets values through the params flush (works whether active or not).
    void flushValue(clap_id id, double value) const;

    std::optional<std::vector<uint8_t>> save() const;
    bool load(const std::vector<uint8_t>& bytes, size_t chunk = SIZE_MAX,
              int64_t endResult = 0) const;

private:
    const clap_plugin_t* plugin_ = nullptr;
    bool active_ = false;
};

// Index of the first frame where either channel differs, or -1.
long firstDifference(const AudioBlock& a, const AudioBlock& b);
double rms(const std::vector<float>& v, size_t from, size_t to);

} // namespace claphost
