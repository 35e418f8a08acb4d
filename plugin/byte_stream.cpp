#include "plugin/byte_stream.h"

#include <cstring>

namespace norvale {

void ByteWriter::u32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void ByteWriter::f64(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 0; shift < 64; shift += 8)
        bytes.push_back(static_cast<uint8_t>(bits >> shift));
}

bool writeAll(const clap_ostream& stream, const std::vector<uint8_t>& bytes) {
    if (stream.write == nullptr) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const uint64_t remaining = bytes.size() - done;
        const int64_t written = stream.write(&stream, bytes.data() + done, remaining);
        // A stream claiming more than it was given is as broken as one that fails.
        if (written <= 0 || static_cast<uint64_t>(written) > remaining) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

bool StreamReader::raw(void* buffer, size_t size) {
    if (stream.read == nullptr) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        const uint64_t remaining = size - done;
        const int64_t got = stream.read(&stream, out + done, remaining);
        if (got <= 0 || static_cast<uint64_t>(got) > remaining) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool StreamReader::u32(uint32_t& value) {
    uint8_t b[4];
    if (!raw(b, sizeof b)) return false;
    value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | b[i];
    return true;
}

bool StreamReader::f64(double& value) {
    uint8_t b[8];
    if (!raw(b, sizeof b)) return false;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[i];
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool StreamReader::text(std::string& out, uint32_t length) {
    out.resize(length);
    return length == 0 || raw(out.data(), length);
}

}  // namespace norvale
