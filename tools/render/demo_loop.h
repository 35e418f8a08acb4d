// A synthesized drum and bass loop to render when no input is at hand.
#pragma once

#include "render/stereo_audio.h"

namespace norvale::render {

// Four bars of 4/4 at the tempo, 48 kHz, stored as 24-bit WAV: kick on every
// beat, snare on 2 and 4, hats on the eighths, a sub bass line. Peaks at -1 dBFS.
StereoAudio demoLoop(double tempo);

}  // namespace norvale::render
