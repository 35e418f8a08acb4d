// Everything the engine needs from the plug-in's parameters, filled whole once
// per block when a parameter changed. Gains are linear, times in seconds,
// frequencies in Hz. Defaults match the parameter defaults. Every value is
// brought into its range by whoever fills the record; the engine asserts.
#pragma once

#include <cstdint>

#include "dsp/modules.h"

namespace norvale {

// Clock source of a module.
enum TrigMode : int32_t { kTrigSync, kTrigMidi, kTrigAudio };
inline constexpr int32_t kTrigModeCount = 3;

// Filter responses.
enum FilterType : int32_t { kLowpass, kHighpass, kBandpass, kNotch };
inline constexpr int32_t kFilterTypeCount = 4;

// Drive styles.
enum DriveStyle : int32_t { kSoftClip, kHardClip, kFold, kRectify, kSineFold, kCrushStyle };
inline constexpr int32_t kDriveStyleCount = 6;

// What every module has: its switch, its clock and its smoothing.
struct ModuleSettings {
    bool on = false;
    int32_t rate = 3; // rate index 0..7
    float phase = 0.0f;
    float smooth = 0.15f;
    TrigMode trigger = kTrigSync;
    bool loop = false; // loop, or run once up to `end`
    float end = 1.0f;
};

struct EngineParams {
    float inputGain = 1.0f;
    float outputGain = 1.0f;
    float mix = 1.0f;
    bool bypass = false; // the output crossfades to the dry input; the engine runs on
    float splitLow = 200.0f;
    float splitHigh = 2000.0f;
    bool bandOn[kBandCount] = {true, true, true};

    // Indexed by Module.
    ModuleSettings modules[kModuleCount] = {{.smooth = 0.15f}, {.smooth = 0.25f}, {.smooth = 0.2f},
                                            {.smooth = 0.1f},  {.smooth = 0.1f},  {.smooth = 0.15f},
                                            {.smooth = 0.15f}};

    float volTrim = 1.0f;

    float fltCutoff = 1000.0f;
    float fltRes = 0.25f;
    int32_t fltDepth = 5; // octaves 0..8
    float fltDrive = 0.0f;
    FilterType fltType[kBandCount] = {kLowpass, kLowpass, kLowpass};

    DriveStyle drvStyle = kSoftClip;
    float drvDrive = 0.4f;
    float drvInput = 1.0f;
    float drvOutput = 1.0f;
    float drvTone = 0.0f; // -1..1
    float drvMix = 1.0f;

    float timRange = 0.5f; // 0.001..2 s
    float timStep = 0.3f;  // read-head slew; the module's smooth smooths the curve

    float crsAmount = 0.6f;
    int32_t crsBits = 6; // 2..16
    int32_t crsDown = 8; // 1..32
    float crsMix = 1.0f;

    bool trigFromInput = false;         // detector listens to the input, not the sidechain
    float trigThreshold = 0.063095734f; // -24 dB
    float trigFocus = 20000.0f;
    float trigHold = 0.05f;
};

} // namespace norvale
