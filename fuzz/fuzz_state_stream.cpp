// Any bytes as a state stream. What decodes holds only values in range; a
// stream that reached the chain encodes to one that decodes the same.
#include <cstdlib>

#include "presets/state_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static norvale::StateRecord state, again; // kept between runs: curves are large
    if (!norvale::decodeState({data, size}, state)) return 0;
    for (const plugincore::ParamDesc& desc : norvale::kParams) {
        const double v = state.values[desc.id];
        if (v < desc.minValue || v > desc.maxValue) std::abort();
    }
    if (state.module < 0 || state.module >= norvale::kModuleCount || state.band < 0 ||
        state.band >= norvale::kBandCount)
        std::abort();
    if (state.curves.chainLength == 0) return 0;
    const std::vector<uint8_t> bytes = norvale::encodeState(state);
    if (!norvale::decodeState(bytes, again) || norvale::encodeState(again) != bytes) std::abort();
    return 0;
}
