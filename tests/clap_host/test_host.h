// A small CLAP host for driving the built plug-in file through its ABI only:
// loading, instances, host callbacks, event lists, audio blocks and streams.
#pragma once

#include <clap/clap.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../clap_test_host.h"

#ifndef NORVALE_CLAP_PATH
#error "NORVALE_CLAP_PATH must name the built plug-in file"
#endif

namespace claphost {

inline constexpr uint32_t kParamCount = 83;

// Parameter ids the tests drive directly.
namespace pid {
inline constexpr clap_id kMix = 0;
inline constexpr clap_id kInput = 1;
inline constexpr clap_id kOutput = 2;
inline constexpr clap_id kVolOn = 8;
inline constexpr clap_id kVolRate = 10;
inline constexpr clap_id kVolSmooth = 12;
inline constexpr clap_id kFltOn = 13;
inline constexpr clap_id kFltCutoff = 14;
inline constexpr clap_id kDrvOn = 24;
inline constexpr clap_id kDrvStyle = 25;
inline constexpr clap_id kDrvDrive = 26;
inline constexpr clap_id kDrvInput = 27;
inline constexpr clap_id kTimOn = 34;
inline constexpr clap_id kTimRange = 35;
inline constexpr clap_id kTrigThreshold = 57;
inline constexpr clap_id kTrigNote = 60;
inline constexpr clap_id kTrigOctave = 61;
inline constexpr clap_id kVolTrigger = 62;
inline constexpr clap_id kVolLoop = 63;
inline constexpr clap_id kVolEnd = 64;
}  // namespace pid

// dlopens the plug-in file and runs the entry's init; undone in reverse.
class Module {
public:
    explicit Module(const char* path = NORVALE_CLAP_PATH);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool ok() const { return entry_ != nullptr && initialised_; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }
    const clap_plugin_entry_t* entry() const { return entry_; }
    const clap_plugin_factory_t* factory() const;
    const clap_plugin_descriptor_t* descriptor() const;

private:
    std::string path_;
    std::string error_;
    void* handle_ = nullptr;
    const clap_plugin_entry_t* entry_ = nullptr;
    bool initialised_ = false;
};

// One audio block with its buffers and event lists. The main input and output
// are stereo; the sidechain port carries as many channels as `sidechain` has.
struct AudioBlock {
    explicit AudioBlock(uint32_t frames);

    uint32_t frames;
    std::vector<float> inL, inR, outL, outR;
    // One vector per channel; none: the port has no channels; an empty one: a null pointer.
    std::vector<std::vector<float>> sidechain;
    bool sidechainPort = true;  // false: only one input port is offered
    bool sidechain64Only = false;  // the sidechain port offers no 32-bit buffers
    bool inPlace = false;       // output buffers double as the input
    InputEvents events;
    OutputEvents outEvents;

    void fillInput(float (*signal)(uint32_t frame, int channel), uint32_t startFrame = 0);
    clap_process_status run(const clap_plugin_t* plugin);
};

// Output stream into memory. Each write takes at most `chunk` bytes; after
// `failAfter` bytes every write returns `failResult`.
class MemoryOut {
public:
    MemoryOut();
    std::vector<uint8_t> bytes;
    size_t chunk = SIZE_MAX;
    size_t failAfter = SIZE_MAX;
    int64_t failResult = -1;
    int calls = 0;
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

// One plug-in instance created through the factory and initialised; destroyed
// (after deactivation if needed) when it goes out of scope.
class Instance {
public:
    Instance(const Module& module, const TestHost& host);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    const clap_plugin_t* plugin() const { return plugin_; }
    bool activate(double sampleRate = 48000.0, uint32_t minFrames = 1, uint32_t maxFrames = 1024);
    void deactivate();

    const void* extension(const char* id) const;
    const clap_plugin_params_t* params() const;
    const clap_plugin_state_t* state() const;

    double value(clap_id id) const;  // NaN when get_value fails
    clap_param_info_t info(uint32_t index) const;
    std::string text(clap_id id, double value) const;  // "<fail>" when refused
    // Sets values through the params flush (works whether active or not).
    void flushValue(clap_id id, double value) const;

    std::optional<std::vector<uint8_t>> save() const;
    bool load(const std::vector<uint8_t>& bytes, size_t chunk = SIZE_MAX,
              int64_t endResult = 0) const;

private:
    const clap_plugin_t* plugin_ = nullptr;
    bool active_ = false;
};

// The state stream as the tests build and read it (magic "NORV").
struct StateImage {
    uint32_t version = 3;
    std::optional<uint32_t> countOverride;  // written instead of params.size()
    std::vector<std::pair<uint32_t, double>> params;
    std::vector<std::string> curves;  // records in stream order
    int8_t selModule = 0;
    int8_t selBand = 1;
    uint8_t snap = 1;
    uint8_t editAllBands = 1;
    uint8_t stepMode = 0;
    std::string chain;

    // Byte offsets where each part of the encoded stream ends.
    struct Layout {
        size_t header = 0;
        size_t params = 0;
        std::vector<size_t> curveLength;  // end of each record's length field
        std::vector<size_t> curve;        // end of each record
        size_t selection = 0;
        size_t snap = 0;
        size_t toggles = 0;  // version 0 and 1: same as snap
        size_t chainLength = 0;
        size_t chain = 0;
    };

    std::vector<uint8_t> encode(Layout* layout = nullptr) const;
    // Reads a version 3 stream as the plug-in writes it; anything else or any
    // trailing byte gives nullopt and the reason.
    static std::optional<StateImage> decode(const std::vector<uint8_t>& bytes,
                                            std::string* why = nullptr);

    void set(uint32_t id, double value);
    double get(uint32_t id) const;  // NaN when absent
    std::string& curve(int module, int band) { return curves.at(module * 3 + band); }
};

// Text of a curve flat at y, as the plug-in formats curves.
std::string flatCurve(double y);
// Neutral level of a module's curve: pan and width rest at 0.5.
double neutralLevel(int module);

// Index of the first frame where either channel differs, or -1.
long firstDifference(const AudioBlock& a, const AudioBlock& b);
double rms(const std::vector<float>& v, size_t from, size_t to);

}  // namespace claphost
