// The plug-in's parameter set: 84 rows whose index is the CLAP parameter id
// and whose key is what state and preset files store.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>

#include "dsp/modules.h"
#include "dsp/rates.h"
#include "plugin/param_desc.h"

namespace norvale {

inline constexpr const char* kOnOff[] = {"Off", "On"};
inline constexpr const char* kRateNames[] = {"1/32", "1/16", "1/8",    "1/4",
                                             "1/2",  "1/1",  "2 Bars", "4 Bars"};
inline constexpr const char* kFilterNames[] = {"Lowpass", "Highpass", "Bandpass", "Notch"};
inline constexpr const char* kDriveNames[] = {"Soft Clip", "Hard Clip", "Fold",
                                              "Rectify",   "Sine Fold", "Crush"};
inline constexpr const char* kSourceNames[] = {"Sidechain", "Input"};
inline constexpr const char* kNoteNames[] = {"Any", "C", "C#", "D", "D#", "E", "F",
                                             "F#",  "G", "G#", "A", "A#", "B"};
inline constexpr const char* kOctaveNames[] = {"Any", "-1", "0", "1", "2", "3",
                                               "4",   "5",  "6", "7", "8", "9"};
inline constexpr const char* kTriggerNames[] = {"Sync", "MIDI", "Audio"};

static_assert(std::size(kRateNames) == kRateCount);

// Parameter ids. Global controls, then each module's controls, then the
// trigger controls, then trigger mode, loop and end per module.
enum ParamId : uint32_t {
    kParamMix = 0,
    kParamInput,
    kParamOutput,
    kParamSplitLow,
    kParamSplitHigh,
    kParamBandLow,
    kParamBandMid,
    kParamBandHigh,
    kParamVolOn,
    kParamVolTrim,
    kParamVolRate,
    kParamVolPhase,
    kParamVolSmooth,
    kParamFltOn,
    kParamFltCutoff,
    kParamFltRes,
    kParamFltDepth,
    kParamFltDrive,
    kParamFltTypeLow,
    kParamFltTypeMid,
    kParamFltTypeHigh,
    kParamFltRate,
    kParamFltPhase,
    kParamFltSmooth,
    kParamDrvOn,
    kParamDrvStyle,
    kParamDrvDrive,
    kParamDrvInput,
    kParamDrvOutput,
    kParamDrvTone,
    kParamDrvMix,
    kParamDrvRate,
    kParamDrvPhase,
    kParamDrvSmooth,
    kParamTimOn,
    kParamTimRange,
    kParamTimStep,
    kParamTimRate,
    kParamTimPhase,
    kParamTimSmooth,
    kParamCrsOn,
    kParamCrsAmount,
    kParamCrsBits,
    kParamCrsDown,
    kParamCrsMix,
    kParamCrsRate,
    kParamCrsPhase,
    kParamCrsSmooth,
    kParamPanOn,
    kParamPanRate,
    kParamPanPhase,
    kParamPanSmooth,
    kParamWidOn,
    kParamWidRate,
    kParamWidPhase,
    kParamWidSmooth,
    kParamTrigSource,
    kParamTrigThreshold,
    kParamTrigFilter,
    kParamTrigHold,
    kParamTrigNote,
    kParamTrigOctave,
    kParamVolTrigger,
    kParamVolLoop,
    kParamVolEnd,
    kParamFltTrigger,
    kParamFltLoop,
    kParamFltEnd,
    kParamDrvTrigger,
    kParamDrvLoop,
    kParamDrvEnd,
    kParamTimTrigger,
    kParamTimLoop,
    kParamTimEnd,
    kParamCrsTrigger,
    kParamCrsLoop,
    kParamCrsEnd,
    kParamPanTrigger,
    kParamPanLoop,
    kParamPanEnd,
    kParamWidTrigger,
    kParamWidLoop,
    kParamWidEnd,
    // Came last so that every id before it kept its number; presets neither
    // store nor change it.
    kParamBypass,
};

inline constexpr uint32_t kParamCount = 84;
static_assert(kParamBypass + 1 == kParamCount);

// Whether a parameter is part of the sound a preset holds: Bypass belongs to
// the session, so presets neither store it nor count it as an edit.
constexpr bool partOfSound(uint32_t id) {
    return id != kParamBypass;
}

// Per-module parameters, indexed by module number (kVol ... kWid).
inline constexpr ParamId kModuleOnParams[kModuleCount] = {
    kParamVolOn, kParamFltOn, kParamDrvOn, kParamTimOn, kParamCrsOn, kParamPanOn, kParamWidOn};
inline constexpr ParamId kModuleRateParams[kModuleCount] = {
    kParamVolRate, kParamFltRate, kParamDrvRate, kParamTimRate,
    kParamCrsRate, kParamPanRate, kParamWidRate};
inline constexpr ParamId kModulePhaseParams[kModuleCount] = {
    kParamVolPhase, kParamFltPhase, kParamDrvPhase, kParamTimPhase,
    kParamCrsPhase, kParamPanPhase, kParamWidPhase};
inline constexpr ParamId kModuleSmoothParams[kModuleCount] = {
    kParamVolSmooth, kParamFltSmooth, kParamDrvSmooth, kParamTimSmooth,
    kParamCrsSmooth, kParamPanSmooth, kParamWidSmooth};
inline constexpr ParamId kModuleTriggerParams[kModuleCount] = {
    kParamVolTrigger, kParamFltTrigger, kParamDrvTrigger, kParamTimTrigger,
    kParamCrsTrigger, kParamPanTrigger, kParamWidTrigger};
inline constexpr ParamId kModuleLoopParams[kModuleCount] = {
    kParamVolLoop, kParamFltLoop, kParamDrvLoop, kParamTimLoop,
    kParamCrsLoop, kParamPanLoop, kParamWidLoop};
inline constexpr ParamId kModuleEndParams[kModuleCount] = {kParamVolEnd, kParamFltEnd, kParamDrvEnd,
                                                           kParamTimEnd, kParamCrsEnd, kParamPanEnd,
                                                           kParamWidEnd};

namespace param_rows {

using plugincore::ParamDesc;
using plugincore::ParamKind;

constexpr ParamDesc decibels(ParamId id, const char* key, const char* name, const char* group,
                             double min, double max, double def, const char* help) {
    return {id, key, name, group, min, max, def, ParamKind::Plain, 0, 0, "dB", nullptr, 0, help};
}

constexpr ParamDesc percent(ParamId id, const char* key, const char* name, const char* group,
                            double min, double max, double def, const char* help) {
    return {id, key, name, group, min, max, def, ParamKind::Percent, 0, 0, "%", nullptr, 0, help};
}

// The host sees 0..1; the default is given as a real value and stored as its position.
constexpr ParamDesc logarithmic(ParamId id, const char* key, const char* name, const char* group,
                                double realMin, double realMax, double realDefault,
                                const char* unit, const char* help) {
    const double def = plugincore::logPosition(realMin, realMax, realDefault);
    return {id,      key,     name, group,   0, 1,   def, ParamKind::Log,
            realMin, realMax, unit, nullptr, 0, help};
}

constexpr ParamDesc stepped(ParamId id, const char* key, const char* name, const char* group,
                            double min, double max, double def, const char* unit,
                            const char* help) {
    return {id, key, name, group, min, max, def, ParamKind::Stepped, 0, 0, unit, nullptr, 0, help};
}

template <uint32_t N>
constexpr ParamDesc choice(ParamId id, const char* key, const char* name, const char* group,
                           const char* const (&items)[N], double def, const char* help) {
    return {id, key, name, group, 0, N - 1.0, def, ParamKind::Enum, 0, 0, "", items, N, help};
}

// Every stage's Loop and End work alike, so they share their rows' wording.
constexpr ParamDesc loopRow(ParamId id, const char* key, const char* group) {
    return choice(id, key, "Loop", group, kOnOff, 0,
                  "With MIDI or Audio: On keeps cycling until the next trigger, Off runs the shape "
                  "once and holds at its End marker.");
}

constexpr ParamDesc endRow(ParamId id, const char* key, const char* group) {
    return percent(id, key, "End", group, 0, 1, 1,
                   "Where a shape run once stops and holds, until the next trigger. Drag the "
                   "marker in the editor or turn this; Sync and Loop ignore it.");
}

} // namespace param_rows

inline constexpr std::array<plugincore::ParamDesc, kParamCount> kParams = [] {
    using namespace param_rows;
    return std::array<plugincore::ParamDesc, kParamCount>{{
        percent(
            kParamMix, "mix", "Mix", "Global", 0, 1, 1,
            "The whole rack against the input, not one stage. A curve that ducks or stutters is "
            "most useful mixed in rather than in place."),
        decibels(kParamInput, "input", "Input", "Global", -24, 24, 0,
                 "Gain into the rack, before the band split. The drive stage has its own, and this "
                 "one is here for the rare source that needs it."),
        decibels(kParamOutput, "output", "Output", "Global", -24, 24, 0,
                 "Gain out of the rack, after the bands are summed and mixed."),
        logarithmic(
            kParamSplitLow, "split_low", "Low Split", "Global", 20, 2000, 200, "Hz",
            "Where the low band ends and the mid band begins. Both sides are Linkwitz-Riley "
            "fourth order, so the three bands sum back to the input."),
        logarithmic(
            kParamSplitHigh, "split_high", "High Split", "Global", 200, 20000, 2000, "Hz",
            "Where the mid band ends and the high band begins. Each band carries its own curve "
            "for every stage, which is the point of the split."),
        choice(
            kParamBandLow, "band_low", "Low Band", "Global", kOnOff, 1,
            "Whether the low band is processed. Switched off, it passes through untouched and is "
            "still summed with the other two."),
        choice(kParamBandMid, "band_mid", "Mid Band", "Global", kOnOff, 1,
               "Whether the mid band is processed."),
        choice(kParamBandHigh, "band_high", "High Band", "Global", kOnOff, 1,
               "Whether the high band is processed."),
        choice(
            kParamVolOn, "vol_on", "Volume", "Volume", kOnOff, 0,
            "Draws the level: ducking, gating, tremolo. The curve is squared, so a point halfway "
            "down the editor is about -12 dB."),
        decibels(
            kParamVolTrim, "vol_trim", "Trim", "Volume", -24, 24, 0,
            "Gain on the volume stage's output, which is what lets a curve duck and still leave "
            "the result louder than it came in."),
        choice(kParamVolRate, "vol_rate", "Rate", "Volume", kRateNames, 3,
               "The length of one cycle of the curve, in note values locked to the host's tempo."),
        percent(kParamVolPhase, "vol_phase", "Phase", "Volume", 0, 1, 0,
                "Where in the cycle the curve starts. A quarter-cycle shift moves a duck drawn on "
                "the beat to a sixteenth before it."),
        percent(kParamVolSmooth, "vol_smooth", "Smooth", "Volume", 0, 1, 0.15,
                "Softens the corners of the drawn shape. At zero the curve is followed exactly, "
                "which is right for a gate and wrong for a duck."),
        choice(kParamFltOn, "flt_on", "Filter", "Filter", kOnOff, 0,
               "Draws the cutoff: a sweep, a wobble, a plucked envelope per band."),
        logarithmic(
            kParamFltCutoff, "flt_cutoff", "Cutoff", "Filter", 20, 20000, 1000, "Hz",
            "The cutoff the curve's top reaches. With the curve drawn flat along the top of the "
            "editor this is simply the cutoff."),
        percent(kParamFltRes, "flt_res", "Resonance", "Filter", 0, 1, 0.25,
                "Emphasis at the cutoff. Pushed high the shared SVF is close to self-oscillation, "
                "which the drive control in front of it can excite."),
        stepped(
            kParamFltDepth, "flt_depth", "Depth", "Filter", 0, 8, 5, "oct",
            "How far below the cutoff the bottom of the curve reaches, in octaves. Eight octaves "
            "puts the bottom of the editor under 20 Hz from any cutoff in the top octave; two "
            "gives a gentle breath."),
        percent(kParamFltDrive, "flt_drive", "Drive", "Filter", 0, 1, 0,
                "Saturates the band before the filter. A resonant sweep that is driven excites its "
                "own harmonics instead of staying clean."),
        choice(kParamFltTypeLow, "flt_type_low", "Low Type", "Filter", kFilterNames, 0,
               "The response the low band is filtered with. Each band chooses its own, so the low "
               "band can be a lowpass while the high band is a notch."),
        choice(kParamFltTypeMid, "flt_type_mid", "Mid Type", "Filter", kFilterNames, 0,
               "The mid band's response."),
        choice(kParamFltTypeHigh, "flt_type_high", "High Type", "Filter", kFilterNames, 0,
               "The high band's response."),
        choice(kParamFltRate, "flt_rate", "Rate", "Filter", kRateNames, 3,
               "The length of one cycle of the cutoff curve."),
        percent(kParamFltPhase, "flt_phase", "Phase", "Filter", 0, 1, 0,
                "Where in the cycle the cutoff curve starts."),
        percent(
            kParamFltSmooth, "flt_smooth", "Smooth", "Filter", 0, 1, 0.25,
            "Rounds off the drawn steps. A filter with no smoothing on a hard step clicks, which "
            "is sometimes the sound wanted and sometimes not."),
        choice(
            kParamDrvOn, "drv_on", "Drive", "Drive", kOnOff, 0,
            "Draws the amount of distortion: a rhythmic grit, or saturation that only appears on "
            "the hits."),
        choice(kParamDrvStyle, "drv_style", "Style", "Drive", kDriveNames, 0,
               "Which transfer curve shapes the signal. One style is shared by all three bands; it "
               "is the amount that is drawn per band."),
        percent(kParamDrvDrive, "drv_drive", "Amount", "Drive", 0, 1, 0.4,
                "The amount the curve is scaled from: the top of the curve is this much drive, the "
                "bottom is none."),
        decibels(
            kParamDrvInput, "drv_input", "Input", "Drive", -12, 36, 0,
            "Gain before the shaper, separate from the stage's own drive, so a quiet source can "
            "be put where the curve expects it."),
        decibels(
            kParamDrvOutput, "drv_output", "Output", "Drive", -36, 12, 0,
            "Gain after the shaper, for balancing the drive against everything else in the rack."),
        percent(
            kParamDrvTone, "drv_tone", "Tone", "Drive", -1, 1, 0,
            "A one-pole at 800 Hz mixed in with the distortion: to the right takes the fizz off, "
            "to the left thins it out."),
        percent(kParamDrvMix, "drv_mix", "Mix", "Drive", 0, 1, 1,
                "The distortion against the band's clean signal. Below 100 % this is the parallel "
                "blend, which is where a bass keeps its bottom."),
        choice(kParamDrvRate, "drv_rate", "Rate", "Drive", kRateNames, 3,
               "The length of one cycle of the drive curve."),
        percent(kParamDrvPhase, "drv_phase", "Phase", "Drive", 0, 1, 0,
                "Where in the cycle the drive curve starts."),
        percent(
            kParamDrvSmooth, "drv_smooth", "Smooth", "Drive", 0, 1, 0.2,
            "Softens the drive curve. A hard-stepped drive shape is a burst of distortion, which "
            "can click at its edges without this."),
        choice(kParamTimOn, "tim_on", "Time", "Time", kOnOff, 0,
               "Scrubs through the last moment of the band: stutters, half-speed, reverse and tape "
               "stops, all drawn as the read head's position."),
        logarithmic(
            kParamTimRange, "tim_range", "Range", "Time", 20, 2000, 500, "ms",
            "The longest look-back. The bottom of the curve reaches this far into the past; the "
            "top is the present moment."),
        percent(kParamTimStep, "tim_step", "Step", "Time", 0, 1, 0.3,
                "How long the read head takes to move when the curve jumps. It is the difference "
                "between a click at every step and a smooth stutter."),
        choice(kParamTimRate, "tim_rate", "Rate", "Time", kRateNames, 3,
               "The length of one cycle of the read-head curve. A stutter usually wants a "
               "sixteenth; a tape stop, a bar."),
        percent(kParamTimPhase, "tim_phase", "Phase", "Time", 0, 1, 0,
                "Where in the cycle the read-head curve starts."),
        percent(
            kParamTimSmooth, "tim_smooth", "Smooth", "Time", 0, 1, 0.1,
            "Softens the drawn shape before it moves the read head, on top of Step. Useful when "
            "a coarse grid is deliberate but the edges are not."),
        choice(kParamCrsOn, "crs_on", "Crush", "Crush", kOnOff, 0,
               "Draws the amount of bit and sample-rate reduction. The top of the curve is the "
               "Amount knob, the bottom is clean."),
        percent(kParamCrsAmount, "crs_amount", "Amount", "Crush", 0, 1, 0.6,
                "The amount the curve scales from: the top of the curve is this much crush, the "
                "bottom is none."),
        stepped(kParamCrsBits, "crs_bits", "Bits", "Crush", 2, 16, 6, "bit",
                "The bit depth at full curve. Sixteen is effectively clean; the low end is a hard, "
                "grainy quantiser."),
        stepped(kParamCrsDown, "crs_down", "Down", "Crush", 1, 32, 8, "x",
                "The sample-rate division at full curve. At 8 the signal is held for one sample in "
                "eight, which is the aliased, lo-fi half of a crusher."),
        percent(kParamCrsMix, "crs_mix", "Mix", "Crush", 0, 1, 1,
                "The crushed signal against the band's clean one. Below 100 % this is a parallel "
                "blend, which keeps a bass' weight under the grit."),
        choice(kParamCrsRate, "crs_rate", "Rate", "Crush", kRateNames, 3,
               "The length of one cycle of the crush curve."),
        percent(kParamCrsPhase, "crs_phase", "Phase", "Crush", 0, 1, 0,
                "Where in the cycle the crush curve starts."),
        percent(
            kParamCrsSmooth, "crs_smooth", "Smooth", "Crush", 0, 1, 0.1,
            "Rounds off the crush amount. A hard-stepped crush curve is a burst of grain, which "
            "can click at its edges without this."),
        choice(kParamPanOn, "pan_on", "Pan", "Pan", kOnOff, 0,
               "Draws each band's position between the speakers: the middle of the curve is the "
               "centre, the bottom is hard left and the top hard right."),
        choice(kParamPanRate, "pan_rate", "Rate", "Pan", kRateNames, 3,
               "The length of one cycle of the pan curve."),
        percent(kParamPanPhase, "pan_phase", "Phase", "Pan", 0, 1, 0,
                "Where in the cycle the pan curve starts."),
        percent(kParamPanSmooth, "pan_smooth", "Smooth", "Pan", 0, 1, 0.15,
                "Softens the pan movement. At zero a hard pan step is a jump; a little smoothing "
                "makes it a move."),
        choice(kParamWidOn, "wid_on", "Width", "Width", kOnOff, 0,
               "Draws the stereo width per band: the middle of the curve is the plain image, the "
               "bottom is mono and the top is double width."),
        choice(kParamWidRate, "wid_rate", "Rate", "Width", kRateNames, 3,
               "The length of one cycle of the width curve."),
        percent(kParamWidPhase, "wid_phase", "Phase", "Width", 0, 1, 0,
                "Where in the cycle the width curve starts."),
        percent(
            kParamWidSmooth, "wid_smooth", "Smooth", "Width", 0, 1, 0.15,
            "Softens the width movement, which keeps a hard step from tearing the image apart."),
        choice(
            kParamTrigSource, "trig_source", "Source", "Trigger", kSourceNames, 0,
            "What an Audio trigger listens to: the sidechain input, where a kick track is routed "
            "to duck a bass, or the signal coming into the rack."),
        decibels(
            kParamTrigThreshold, "trig_threshold", "Threshold", "Trigger", -60, 0, -24,
            "How loud a hit must be to start an effect set to Audio. It re-arms once the level "
            "has fallen 6 dB below this."),
        logarithmic(
            kParamTrigFilter, "trig_filter", "Focus", "Trigger", 40, 20000, 20000, "Hz",
            "A lowpass in front of the detector only, never the sound. Around 150 Hz it hears "
            "the kick in a drum loop and ignores the rest, a few ms later."),
        logarithmic(
            kParamTrigHold, "trig_hold", "Hold", "Trigger", 5, 1000, 50, "ms",
            "The shortest time between two audio triggers, so a kick with a long or doubled "
            "attack starts the effect once."),
        choice(kParamTrigNote, "trig_note", "Note", "Trigger", kNoteNames, 0,
               "Which note starts an effect set to MIDI. Any answers to every note; a note name "
               "answers to it in the octave chosen beside it."),
        choice(kParamTrigOctave, "trig_octave", "Octave", "Trigger", kOctaveNames, 0,
               "The octave of the trigger note, with C3 as MIDI note 48. Any lets the note name "
               "match in every octave."),
        choice(kParamVolTrigger, "vol_trigger", "Trigger", "Volume", kTriggerNames, 0,
               "What starts the volume cycle: the host's beat, a MIDI note, or a hit in the "
               "sidechain or the input, as the Trigger panel sets it up."),
        loopRow(kParamVolLoop, "vol_loop", "Volume"),
        endRow(kParamVolEnd, "vol_end", "Volume"),
        choice(kParamFltTrigger, "flt_trigger", "Trigger", "Filter", kTriggerNames, 0,
               "What starts the filter cycle: the host's beat, a MIDI note, or a hit in the "
               "sidechain or the input, as the Trigger panel sets it up."),
        loopRow(kParamFltLoop, "flt_loop", "Filter"),
        endRow(kParamFltEnd, "flt_end", "Filter"),
        choice(kParamDrvTrigger, "drv_trigger", "Trigger", "Drive", kTriggerNames, 0,
               "What starts the drive cycle: the host's beat, a MIDI note, or a hit in the "
               "sidechain or the input, as the Trigger panel sets it up."),
        loopRow(kParamDrvLoop, "drv_loop", "Drive"),
        endRow(kParamDrvEnd, "drv_end", "Drive"),
        choice(
            kParamTimTrigger, "tim_trigger", "Trigger", "Time", kTriggerNames, 0,
            "What starts the time cycle: the host's beat, a MIDI note, or a hit in the sidechain "
            "or the input, as the Trigger panel sets it up."),
        loopRow(kParamTimLoop, "tim_loop", "Time"),
        endRow(kParamTimEnd, "tim_end", "Time"),
        choice(kParamCrsTrigger, "crs_trigger", "Trigger", "Crush", kTriggerNames, 0,
               "What starts the crush cycle: the host's beat, a MIDI note, or a hit in the "
               "sidechain or the input, as the Trigger panel sets it up."),
        loopRow(kParamCrsLoop, "crs_loop", "Crush"),
        endRow(kParamCrsEnd, "crs_end", "Crush"),
        choice(kParamPanTrigger, "pan_trigger", "Trigger", "Pan", kTriggerNames, 0,
               "What starts the pan cycle: the host's beat, a MIDI note, or a hit in the sidechain "
               "or the input, as the Trigger panel sets it up."),
        loopRow(kParamPanLoop, "pan_loop", "Pan"),
        endRow(kParamPanEnd, "pan_end", "Pan"),
        choice(kParamWidTrigger, "wid_trigger", "Trigger", "Width", kTriggerNames, 0,
               "What starts the width cycle: the host's beat, a MIDI note, or a hit in the "
               "sidechain or the input, as the Trigger panel sets it up."),
        loopRow(kParamWidLoop, "wid_loop", "Width"),
        endRow(kParamWidEnd, "wid_end", "Width"),
        choice(kParamBypass, "bypass", "Bypass", "Global", kOnOff, 0,
               "The input passes untouched, faded over 10 ms. The rack keeps running underneath, "
               "so switching back is seamless and an echo already under way goes on."),
    }};
}();

namespace param_rows {

constexpr bool rowsAreWellFormed() {
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const plugincore::ParamDesc& p = kParams[i];
        if (p.id != i || p.key == nullptr || p.help == nullptr) return false;
        if (!(p.minValue <= p.defaultValue && p.defaultValue <= p.maxValue)) return false;
        if (p.kind == ParamKind::Log && !(0 < p.realMin && p.realMin < p.realMax)) return false;
    }
    return true;
}
static_assert(rowsAreWellFormed(), "every row must carry its own index as id and a sane range");

constexpr bool sameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b)
        ++a, ++b;
    return *a == *b;
}

// A name shared with another row is reported to hosts as "group name"; a
// module's own switch ("Drive", the drive stage on or off) is the module's
// name already.
inline constexpr std::array<bool, kParamCount> kNameNeedsGroup = [] {
    std::array<bool, kParamCount> needs{};
    for (uint32_t id = 0; id < kParamCount; ++id)
        for (uint32_t other = 0; other < kParamCount; ++other)
            if (other != id && sameText(kParams[other].name, kParams[id].name)) needs[id] = true;
    for (const ParamId id : kModuleOnParams)
        needs[id] = false;
    return needs;
}();
constexpr bool needsGroupInName(uint32_t id) {
    return kNameNeedsGroup[id];
}

constexpr bool reportedNamesAreDistinct() {
    for (uint32_t a = 0; a < kParamCount; ++a)
        for (uint32_t b = a + 1; b < kParamCount; ++b) {
            const bool sameName = sameText(kParams[a].name, kParams[b].name);
            const bool sameGroup = sameText(kParams[a].group, kParams[b].group);
            if (sameName && kNameNeedsGroup[a] == kNameNeedsGroup[b] &&
                (!kNameNeedsGroup[a] || sameGroup))
                return false;
        }
    return true;
}
static_assert(reportedNamesAreDistinct(), "two parameters would look alike in a host");

} // namespace param_rows

constexpr const plugincore::ParamDesc* paramTable() {
    return kParams.data();
}

// Row for ids 0..83; null for any other id.
const plugincore::ParamDesc* paramById(uint32_t id);
// Row whose key equals key exactly (case-sensitive); null for null or unknown keys.
const plugincore::ParamDesc* paramByKey(const char* key);

} // namespace norvale
