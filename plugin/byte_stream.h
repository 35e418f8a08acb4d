// Little-endian fields for the state stream: a writer that builds the record
// in memory and a reader over the host's input stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <clap/stream.h>

namespace norvale {

class ByteWriter {
public:
    void u8(uint8_t value) { bytes.push_back(value); }
    void u32(uint32_t value);
    void f64(double value);
    void raw(std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

    const std::vector<uint8_t>& data() const { return bytes; }

private:
    std::vector<uint8_t> bytes;
};

// Writes everything, repeating partial writes; false on a write error.
bool writeAll(const clap_ostream& stream, const std::vector<uint8_t>& bytes);

// Every read fills its field completely or reports false: a stream that ends
// or fails before that counts as short.
class StreamReader {
public:
    explicit StreamReader(const clap_istream& stream) : stream(stream) {}

    bool raw(void* buffer, size_t size);
    bool u8(uint8_t& value) { return raw(&value, 1); }
    bool u32(uint32_t& value);
    bool f64(double& value);
    // Callers bound length before asking.
    bool text(std::string& out, uint32_t length);

private:
    const clap_istream& stream;
};

}  // namespace norvale
