// Everything the engine needs from the plug-in's parameters, filled whole once
// per block when a parameter changed. Gains are linear, times in seconds,
// frequencies in Hz. Defaults match the parameter defaults.
#pragma once

#include <cstdint>

#include "dsp/modules.h"

namespace norvale {

// Clock source of a module (trigMode).
inline constexpr int32_t kTrigSync = 0;
inline constexpr int32_t kTrigMidi = 1;
inline constexpr int32_t kTrigAudio = 2;

// Filter responses (fltType).
inline constexpr int32_t kLowpass = 0;
inline constexpr int32_t kHighpass = 1;
inline constexpr int32_t kBandpass = 2;
inline constexpr int32_t kNotch = 3;

// Drive styles (drvStyle).
inline constexpr int32_t kSoftClip = 0;
inline constexpr int32_t kHardClip = 1;
inline constexpr int32_t kFold = 2;
inline constexpr int32_t kRectify = 3;
inline constexpr int32_t kSineFold = 4;
inline constexpr int32_t kCrushStyle = 5;

struct EngineParams {
    float inputGain = 1.0f;
    float outputGain = 1.0f;
    float mix = 1.0f;
    float splitLow = 200.0f;
    float splitHigh = 2000.0f;
    bool bandOn[kBandCount] = {true, true, true};

    bool volOn = false;
    float volTrim = 1.0f;
    int32_t volRate = 3;
    float volPhase = 0.0f;
    float volSmooth = 0.15f;

    bool fltOn = false;
    float fltCutoff = 1000.0f;
    float fltRes = 0.25f;
    int32_t fltDepth = 5;
    float fltDrive = 0.0f;
    int32_t fltType[kBandCount] = {kLowpass, kLowpass, kLowpass};
    int32_t fltRate = 3;
    float fltPhase = 0.0f;
    float fltSmooth = 0.25f;

    bool drvOn = false;
    int32_t drvStyle = kSoftClip;
    float drvDrive = 0.4f;
    float drvInput = 1.0f;
    float drvOutput = 1.0f;
    float drvTone = 0.0f;
    float drvMix = 1.0f;
    int32_t drvRate = 3;
    float drvPhase = 0.0f;
    float drvSmooth = 0.2f;

    bool timOn = false;
    float timRange = 0.5f;
    float timStep = 0.3f;
    int32_t timRate = 3;
    float timPhase = 0.0f;
    float timSmooth = 0.1f;  // carried for the parameter set; no stage reads it

    bool crsOn = false;
    float crsAmount = 0.6f;
    int32_t crsBits = 6;
    int32_t crsDown = 8;
    float crsMix = 1.0f;
    int32_t crsRate = 3;
    float crsPhase = 0.0f;
    float crsSmooth = 0.1f;

    bool panOn = false;
    int32_t panRate = 3;
    float panPhase = 0.0f;
    float panSmooth = 0.15f;

    bool widOn = false;
    int32_t widRate = 3;
    float widPhase = 0.0f;
    float widSmooth = 0.15f;

    int32_t trigMode[kModuleCount] = {};  // kTrigSync, kTrigMidi, kTrigAudio
    bool trigLoop[kModuleCount] = {};
    float trigEnd[kModuleCount] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    bool trigFromInput = false;          // detector listens to the input, not the sidechain
    float trigThreshold = 0.063095734f;  // -24 dB
    float trigFocus = 20000.0f;
    float trigHold = 0.05f;
};

}  // namespace norvale
