// Any bytes as a curve's one-line text and as a chain; what parses must
// print as a text that parses to the same print.
#include <cstdlib>
#include <memory>
#include <string_view>

#include "dsp/curve_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    norvale::Curve curve;
    if (curve.parse(text)) {
        norvale::Curve again;
        if (!again.parse(curve.format()) || again.format() != curve.format()) std::abort();
    }
    auto set = std::make_unique<norvale::CurveSet>();
    norvale::resetCurves(*set);
    if (norvale::parseChain(text, *set)) {
        auto again = std::make_unique<norvale::CurveSet>();
        norvale::resetCurves(*again);
        if (!norvale::parseChain(norvale::formatChain(*set), *again) ||
            norvale::formatChain(*again) != norvale::formatChain(*set))
            std::abort();
    }
    return 0;
}
