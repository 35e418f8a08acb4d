// Peak and RMS measurements of stereo audio, over both channels.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "render/stereo_audio.h"

namespace norvale::render {

struct Levels {
    double peak = 0.0;  // linear
    double rms = 0.0;   // linear
};

Levels measureLevels(const StereoAudio& audio);

// RMS of consecutive windows; the last one may be shorter.
std::vector<double> windowedRms(const StereoAudio& audio, std::size_t window);

double toDb(double linear);  // -inf for silence

// "-3.1", or "-inf" for silence.
std::string dbText(double linear);

}  // namespace norvale::render
