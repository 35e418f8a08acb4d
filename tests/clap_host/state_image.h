// The state stream (magic "NORV") as the state tests build and read it, and
// the memory streams it passes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <clap/stream.h>

namespace claphost {

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

struct StateImage {
    uint32_t version = 3;
    std::optional<uint32_t> countOverride; // written instead of params.size()
    std::vector<std::pair<uint32_t, double>> params;
    std::vector<std::string> curves; // records in stream order
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
        std::vector<size_t> curveLength; // end of each record's length field
        std::vector<size_t> curve;       // end of each record
        size_t selection = 0;
        size_t snap = 0;
        size_t toggles = 0; // version 0 and 1: same as snap
        size_t chainLength = 0;
        size_t chain = 0;
    };

    std::vector<uint8_t> encode(Layout* layout = nullptr) const;
    // Reads a version 3 stream as the plug-in writes it; anything else or any
    // trailing byte gives nullopt and the reason.
    static std::optional<StateImage> decode(const std::vector<uint8_t>& bytes,
                                            std::string* why = nullptr);

    void set(uint32_t id, double value);
    double get(uint32_t id) const; // NaN when absent
    std::string& curve(int module, int band) { return curves.at(module * 3 + band); }
};

// Text of a curve flat at y, as the plug-in formats curves.
std::string flatCurve(double y);
// Neutral level of a module's curve: pan and width rest at 0.5.
double neutralLevel(int module);

} // namespace claphost
