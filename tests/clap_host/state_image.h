// The state stream (magic "NORV", version 3) as the state tests build and
// read it, and the memory streams it passes through.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <clap/stream.h>

namespace claphost {

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

struct StateImage {
    std::vector<std::pair<uint32_t, double>> params;
    std::vector<std::string> curves; // records in stream order
    // Selected module and band, snap, edit all bands, step mode.
    std::array<uint8_t, 5> selection{};
    std::string chain;
    // The trailing preset record, written when withPreset.
    bool withPreset = true;
    std::string presetName;
    bool presetEdited = false;

    // Byte offsets where the parameters end and each curve's length field ends.
    struct Layout {
        size_t params = 0;
        std::vector<size_t> curveLength;
    };

    std::vector<uint8_t> encode(Layout* layout = nullptr) const;
    // Reads a stream as the plug-in writes it; anything else or any trailing
    // byte gives nullopt.
    static std::optional<StateImage> decode(const std::vector<uint8_t>& bytes);

    void set(uint32_t id, double value);
    double get(uint32_t id) const; // NaN when absent
    std::string& curve(int module, int band) { return curves.at(module * 3 + band); }
};

// Text of a curve flat at y, as the plug-in formats curves.
std::string flatCurve(double y);

} // namespace claphost
