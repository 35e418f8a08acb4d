// Running state of one band's stages: smoothed control values, filter and
// one-pole states, and the look-back ring of the time stage.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/svf.h"

namespace norvale {

struct BandState {
    Svf svf[2];           // filter stage, per channel
    OnePole tone[2];      // drive tone, 800 Hz
    OnePole dcBlock[2];   // DC removal after Rectify, 12 Hz
    float volLevel = 1.0f;      // smoothed volume gain (curve squared)
    float timeDelay = 0.0f;     // smoothed look-back distance, samples
    float crushLevel = 0.0f;
    float driveLevel = -1.0f;   // below 0: take the next target at once
    float filterLevel = -1.0f;  // below 0: take the next target at once
    float crushPhase = 1.0f;    // sample-and-hold accumulator
    float crushHold[2] = {};
    float panPos = 0.5f;
    float widthLevel = 1.0f;
    std::unique_ptr<float[]> lookBack[2];  // allocated by Engine::prepare
    int32_t writePos = 0;
    int32_t lookLength = 0;  // 0 until prepared: the time stage then passes
};

}  // namespace norvale
