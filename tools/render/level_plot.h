// A picture of input and output level over time on the beat grid.
#pragma once

#include <cstdint>
#include <vector>

#include "render/stereo_audio.h"

namespace norvale::render {

// PNG bytes: RMS per ~10 ms window in dB, input and output as two lines.
// Throws RenderError.
std::vector<uint8_t> levelPlotPng(const StereoAudio& input, const StereoAudio& output, double tempo);

}  // namespace norvale::render
