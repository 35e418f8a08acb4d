// Any bytes through the whole preset reader; what it accepts must be written
// back as a text that it accepts again with the same values.
#include <cstdlib>
#include <memory>

#include "presets/norvale_presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plugincore::PresetData preset;
    auto curves = std::make_unique<norvale::CurveSet>();
    std::string err;
    if (!norvale::parsePreset(reinterpret_cast<const char*>(data), size, preset, *curves, err))
        return 0;
    const std::string text = norvale::formatPreset(preset, *curves);
    plugincore::PresetData again;
    auto curvesAgain = std::make_unique<norvale::CurveSet>();
    if (!norvale::parsePreset(text.data(), text.size(), again, *curvesAgain, err)) std::abort();
    if (norvale::formatPreset(again, *curvesAgain) != text) std::abort();
    return 0;
}
