// Any bytes through the whole preset reader, curves and chain included; the
// generic part of what it accepts, written back, reads back as written.
#include <cstdlib>

#include "presets/preset_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static norvale::CurveSet curves; // some twenty kilobytes, kept between runs
    plugincore::PresetData preset;
    std::string err;
    if (!norvale::parsePreset(reinterpret_cast<const char*>(data), size, preset, curves, err))
        return 0;
    const std::string text = norvale::formatPreset(preset);
    plugincore::PresetData again;
    if (!norvale::parsePreset(text.data(), text.size(), again, err) ||
        norvale::formatPreset(again) != text)
        std::abort();
    return 0;
}
