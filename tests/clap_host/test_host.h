// The one CLAP test host: it loads the plug-in (the built file through dlopen,
// or the entry linked in-process), records every call the plug-in makes on
// it, and builds event lists, audio blocks and memory streams.
#pragma once

#include <clap/clap.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <clap/stream.h>

#include "plugin/params.h"

namespace claphost {

#ifdef NORVALE_CLAP_PATH
inline constexpr const char* kPluginFile = NORVALE_CLAP_PATH;
#else
inline constexpr const char* kPluginFile = nullptr;
#endif

using norvale::kParamCount;

// Answers "clap.params", "clap.log", "clap.tail", "clap.preset-load/2", "clap.context-menu/1"
// and, when offered, "clap.timer-support" and "clap.posix-fd-support"; records every call the
// plug-in makes.
class TestHost {
public:
    bool offerTimers, offerFds;
    std::vector<clap_id> timers;
    std::vector<int> fds;
    struct LogEntry {
        int severity;
        std::string message;
    };
    struct PresetCall {
        std::optional<std::string> location, loadKey;
        std::string message;
    };
    std::vector<uint32_t> rescans; // flags of each rescan call
    int flushRequests = 0;
    int tailChanges = 0;
    std::vector<LogEntry> logs;
    std::vector<PresetCall> presetErrors, presetsLoaded;
    std::vector<std::pair<clap_id, clap_id>> menuActions;      // parameter, action
    std::vector<std::pair<uint32_t, uint32_t>> resizeRequests; // pixels

    explicit TestHost(bool offerTimers = false, bool offerFds = false);
    TestHost(const TestHost&) = delete;
    const clap_host_t* clap() const { return &host_; }

private:
    static const void* getExtension(const clap_host_t* host, const char* id);
    clap_host_t host_{};
};

// Events in insertion order, copied 8-byte aligned: a host's input list, and
// the output list the plug-in pushes into.
class EventList {
public:
    EventList();
    EventList(const EventList&) = delete;
    uint32_t size() const { return static_cast<uint32_t>(events_.size()); }
    const clap_event_header_t& header(uint32_t i) const {
        return *reinterpret_cast<const clap_event_header_t*>(events_.at(i).data());
    }
    template <class T>
    const T& as(uint32_t i) const {
        return *reinterpret_cast<const T*>(&header(i));
    }
    void add(const clap_event_header_t& event);

    void paramValue(uint32_t time, clap_id id, double value);
    // note -1: monophonic, as hosts modulate a whole parameter.
    void paramMod(uint32_t time, clap_id id, double amount, int32_t noteId = -1);
    void noteOn(uint32_t time, int16_t key);
    void midi(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2);

    const clap_input_events_t* list() const { return &in_; }
    const clap_output_events_t* outList() const { return &out_; }

private:
    std::vector<std::vector<uint64_t>> events_;
    clap_input_events_t in_{};
    clap_output_events_t out_{};
};
using InputEvents = EventList;
using OutputEvents = EventList;

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

// Output stream into memory; after `failAfter` bytes every write returns
// `failResult`.
class MemoryOut {
public:
    MemoryOut();
    std::vector<uint8_t> bytes;
    size_t failAfter = SIZE_MAX;
    int64_t failResult = -1;
    const clap_ostream_t* stream() const { return &stream_; }

private:
    clap_ostream_t stream_;
};

// Input stream over a byte vector. Each read gives at most `chunk` bytes;
// at the end a read returns `endResult` (0, or -1 for an error).
class MemoryIn {
public:
    explicit MemoryIn(std::vector<uint8_t> data, size_t chunk = SIZE_MAX, int64_t endResult = 0);
    const clap_istream_t* stream() const { return &stream_; }

private:
    std::vector<uint8_t> data_;
    size_t chunk_;
    int64_t endResult_;
    size_t pos_ = 0;
    clap_istream_t stream_;
};

// One audio block with its buffers and event lists; the sidechain port
// carries as many channels as `sidechain` has.
struct AudioBlock {
    explicit AudioBlock(uint32_t frames);

    uint32_t frames;
    std::vector<float> inL, inR, outL, outR;
    // One vector per channel; an empty one stands for a null pointer.
    std::vector<std::vector<float>> sidechain;
    bool mainInput = true; // false: no input port at all
    uint32_t inputChannels = 2;
    uint32_t outputChannels = 2; // 0: no buffers at all
    bool inPlace = false;        // output buffers double as the input
    const clap_event_transport_t* transport = nullptr;
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

    const void* extension(const char* id) const { return plugin_->get_extension(plugin_, id); }
    auto params() const {
        return static_cast<const clap_plugin_params_t*>(extension(CLAP_EXT_PARAMS));
    }
    auto state() const {
        return static_cast<const clap_plugin_state_t*>(extension(CLAP_EXT_STATE));
    }

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

// A transport at `beats`, playing or stopped, without a tempo (120 BPM).
clap_event_transport_t transportAt(double beats, bool playing);

// Index of the first frame where either channel differs, or -1.
long firstDifference(const AudioBlock& a, const AudioBlock& b);
double rms(const std::vector<float>& v, size_t from, size_t to);

} // namespace claphost
