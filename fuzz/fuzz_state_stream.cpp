// Any bytes as a state stream; what decodes must encode to a stream that
// decodes to the same bytes again.
#include <cstdlib>
#include <memory>

#include "presets/state_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto state = std::make_unique<norvale::StateRecord>();
    if (!norvale::decodeState({data, size}, *state)) return 0;
    const std::vector<uint8_t> bytes = norvale::encodeState(*state);
    auto again = std::make_unique<norvale::StateRecord>();
    if (!norvale::decodeState(bytes, *again) || norvale::encodeState(*again) != bytes) std::abort();
    return 0;
}
