// The built-in presets as tables; their texts are rendered at compile time.
#include "presets/builtin_presets.h"

#include "presets/builtin_text.h"

namespace norvale {

namespace {

using builtin::band;
using builtin::CurveSpec;
using builtin::kAllBands;
using builtin::Layout;
using builtin::ParamLine;
using builtin::Point;
using builtin::PresetSpec;

template <size_t N>
using Lines = std::array<ParamLine, N>;

// The parameter blocks; their defaults are the standard blocks the presets
// share, so a preset spells out only what it changes.
struct Global {
    const char* mix = "1";
    const char* splitLow;
    const char* splitHigh;
};
constexpr Lines<6> lines(const Global& g) {
    return {{{"mix", g.mix}, {"split_low", g.splitLow}, {"split_high", g.splitHigh},
             {"band_low", "On"}, {"band_mid", "On"}, {"band_high", "On"}}};
}

struct Volume {
    const char* on = "Off";
    const char* trim = "0";
    const char* rate = "1/4";
    const char* phase = "0";
    const char* smooth = "0.15";
};
constexpr Lines<5> lines(const Volume& v) {
    return {{{"vol_on", v.on}, {"vol_trim", v.trim}, {"vol_rate", v.rate},
             {"vol_phase", v.phase}, {"vol_smooth", v.smooth}}};
}

struct Filter {
    const char* on = "Off";
    const char* cutoff = "1000";
    const char* res = "0.25";
    const char* depth = "5";
    const char* drive = "0";
    const char* typeLow = "Lowpass";
    const char* typeMid = "Lowpass";
    const char* typeHigh = "Lowpass";
    const char* rate = "1/4";
    const char* phase = "0";
    const char* smooth = "0.25";
};
constexpr Lines<11> lines(const Filter& f) {
    return {{{"flt_on", f.on}, {"flt_cutoff", f.cutoff}, {"flt_res", f.res},
             {"flt_depth", f.depth}, {"flt_drive", f.drive}, {"flt_type_low", f.typeLow},
             {"flt_type_mid", f.typeMid}, {"flt_type_high", f.typeHigh}, {"flt_rate", f.rate},
             {"flt_phase", f.phase}, {"flt_smooth", f.smooth}}};
}

struct Drive {
    const char* on = "Off";
    const char* style = "Soft Clip";
    const char* drive = "0.4";
    const char* input = "0";
    const char* output = "0";
    const char* tone = "0";
    const char* mix = "1";
    const char* rate = "1/4";
    const char* phase = "0";
    const char* smooth = "0.2";
};
constexpr Lines<10> lines(const Drive& d) {
    return {{{"drv_on", d.on}, {"drv_style", d.style}, {"drv_drive", d.drive},
             {"drv_input", d.input}, {"drv_output", d.output}, {"drv_tone", d.tone},
             {"drv_mix", d.mix}, {"drv_rate", d.rate}, {"drv_phase", d.phase},
             {"drv_smooth", d.smooth}}};
}

struct Time {
    const char* on = "Off";
    const char* range = "500";
    const char* step = "0.3";
    const char* rate = "1/4";
    const char* phase = "0";
    const char* smooth = "0.1";
};
constexpr Lines<6> lines(const Time& t) {
    return {{{"tim_on", t.on}, {"tim_range", t.range}, {"tim_step", t.step},
             {"tim_rate", t.rate}, {"tim_phase", t.phase}, {"tim_smooth", t.smooth}}};
}

constexpr Lines<1> off(const char* onKey) { return {{{onKey, "Off"}}}; }

// 0 Bended Duck
constexpr auto kBendedDuckParams =
    builtin::join(lines(Global{.splitLow = "220", .splitHigh = "1800"}),
                  lines(Volume{.on = "On", .smooth = "0.08"}), off("flt_on"), off("drv_on"),
                  off("crs_on"), off("tim_on"), off("pan_on"), off("wid_on"));
constexpr Point kBentDuck[] = {{0, 0.06, 2, 0.85}, {0.34, 1, 2, 0}, {1, 1, 0, 0}};
constexpr CurveSpec kBendedDuckCurves[] = {{kVol, kAllBands, kBentDuck}};
constexpr PresetSpec kBendedDuck{
    "Bended Duck",
    "A quarter-note duck with a bent recovery: the level comes back fast, then eases into unity "
    "instead of arriving in a straight line. Drawn across all three bands so the whole signal "
    "breathes together.",
    Layout::Full, kBendedDuckParams, kBendedDuckCurves};

// 1 Crush Steps
constexpr auto kCrushStepsParams = builtin::join(
    lines(Global{.splitLow = "180", .splitHigh = "2600"}), off("vol_on"), off("flt_on"),
    off("drv_on"),
    Lines<8>{{{"crs_on", "On"}, {"crs_amount", "0.8"}, {"crs_bits", "4"}, {"crs_down", "12"},
              {"crs_mix", "0.75"}, {"crs_rate", "1/1"}, {"crs_phase", "0"},
              {"crs_smooth", "0.05"}}},
    off("tim_on"), off("pan_on"), off("wid_on"));
constexpr auto kCrushPattern = builtin::sixteenSteps(
    {0.1, 1, 0.35, 0.85, 0.1, 0.65, 0.9, 0.25, 0.1, 1, 0.35, 0.85, 0.1, 0.65, 0.9, 0.25});
constexpr CurveSpec kCrushStepsCurves[] = {{kCrs, kAllBands, kCrushPattern}};
constexpr PresetSpec kCrushSteps{
    "Crush Steps",
    "A sixteenth-note bit and sample-rate crush drawn as sixteen steps, so the grit moves in "
    "rhythm instead of sitting still. The pattern is the same in all three bands, with a mixer "
    "at 75 % so the low end keeps some weight.",
    Layout::Full, kCrushStepsParams, kCrushStepsCurves};

// 2 Drive Pump
constexpr auto kDrivePumpParams = builtin::join(
    lines(Global{.splitLow = "180", .splitHigh = "2200"}), lines(Volume{}), lines(Filter{}),
    lines(Drive{.on = "On", .drive = "0.72", .input = "6", .output = "-4", .tone = "-0.15",
                .mix = "0.85", .smooth = "0.1"}),
    lines(Time{}));
constexpr Point kDriveLow[] = {{0, 0.55, 2}, {0.2, 0.55, 2}, {1, 0.55, 2}};
constexpr Point kDriveMid[] = {{0, 0, 2}, {0.18, 1, 2}, {1, 0.3, 2}};
constexpr Point kDriveHigh[] = {{0, 1, 2}, {0.18, 0.3, 2}, {1, 1, 2}};
constexpr CurveSpec kDrivePumpCurves[] = {
    {kDrv, band(0), kDriveLow}, {kDrv, band(1), kDriveMid}, {kDrv, band(2), kDriveHigh}};
constexpr PresetSpec kDrivePump{
    "Drive Pump",
    "Distortion that arrives with the beat: the drive curve is a duck shape, so the signal is "
    "clean between hits and saturated on them. The mid band is driven hardest, the low band "
    "moderately and the high band barely at all.",
    Layout::Compact, kDrivePumpParams, kDrivePumpCurves};

// 3 Filter Wobble
constexpr auto kFilterWobbleParams = builtin::join(
    lines(Global{.splitLow = "260", .splitHigh = "1600"}), lines(Volume{.rate = "1/8"}),
    lines(Filter{.on = "On", .cutoff = "420", .res = "0.55", .drive = "0.2",
                 .typeHigh = "Bandpass", .rate = "1/8", .smooth = "0.3"}),
    lines(Drive{}), lines(Time{}));
constexpr Point kWobbleLow[] = {{0, 0, 2}, {0.44, 1, 2}, {1, 0.35, 2}};
constexpr Point kWobbleMid[] = {{0, 0.2, 2}, {0.44, 1, 2}, {1, 1, 2}};
constexpr Point kWobbleHigh[] = {{0, 1, 2}, {0.44, 0, 2}, {1, 0.5, 2}};
constexpr CurveSpec kFilterWobbleCurves[] = {
    {kFlt, band(0), kWobbleLow}, {kFlt, band(1), kWobbleMid}, {kFlt, band(2), kWobbleHigh}};
constexpr PresetSpec kFilterWobble{
    "Filter Wobble",
    "A cutoff sweep on the eighth notes, dark and resonant in the low band and opening across "
    "the mid and high, so the movement sits under a bass line instead of on top of it. Cutoff "
    "at 420 Hz, five octaves of depth.",
    Layout::Compact, kFilterWobbleParams, kFilterWobbleCurves};

// 4 Gated Stabs
constexpr auto kGatedStabsParams = builtin::join(
    lines(Global{.splitLow = "190", .splitHigh = "2400"}),
    lines(Volume{.on = "On", .trim = "3", .rate = "1/16", .smooth = "0"}),
    lines(Filter{.on = "On", .cutoff = "3000", .res = "0.2", .depth = "3",
                 .typeHigh = "Highpass", .rate = "1/16", .phase = "0.45", .smooth = "0.1"}),
    lines(Drive{}), lines(Time{}));
constexpr Point kGateLow[] = {{0, 0, 0}, {0.5, 1, 0}, {0.56, 1, 0}, {0.57, 0, 0}, {1, 0, 0}};
constexpr Point kGateMid[] = {{0, 1, 0}, {0.4, 1, 0}, {0.45, 0, 0}, {1, 0, 0}};
constexpr Point kGateHigh[] = {{0, 0, 0},   {0.25, 1, 0}, {0.3, 0, 0},
                               {0.75, 1, 0}, {0.8, 0, 0},  {1, 0, 0}};
constexpr Point kGateFilterLow[] = {{0, 0.5, 1}, {0.5, 1, 1}, {1, 0.5, 1}};
constexpr Point kGateFilterMid[] = {{0, 1, 1}, {0.5, 0, 1}, {1, 1, 1}};
constexpr Point kGateFilterHigh[] = {{0, 0.7, 1}, {0.5, 0.2, 1}, {1, 0.7, 1}};
constexpr CurveSpec kGatedStabsCurves[] = {
    {kVol, band(0), kGateLow},       {kVol, band(1), kGateMid},
    {kVol, band(2), kGateHigh},      {kFlt, band(0), kGateFilterLow},
    {kFlt, band(1), kGateFilterMid}, {kFlt, band(2), kGateFilterHigh}};
constexpr PresetSpec kGatedStabs{
    "Gated Stabs",
    "A hard sixteenth-note gate across all three bands, with the low band opened only on the "
    "off-beats so the bottom jumps while the rest of the chord is chopped. A gate shape rather "
    "than a drawn curve: the corners are what make it read.",
    Layout::Compact, kGatedStabsParams, kGatedStabsCurves};

// 5 Half Speed Stop
constexpr auto kHalfSpeedStopParams = builtin::join(
    lines(Global{.mix = "0.65", .splitLow = "200", .splitHigh = "2000"}), lines(Volume{}),
    lines(Filter{}), lines(Drive{}),
    lines(Time{.on = "On", .step = "0.22", .rate = "1/1", .smooth = "0.15"}));
constexpr Point kTapeStop[] = {{0, 1, 0}, {1, 0, 0}};
constexpr CurveSpec kHalfSpeedStopCurves[] = {{kTim, kAllBands, kTapeStop}};
constexpr PresetSpec kHalfSpeedStop{
    "Half Speed Stop",
    "The read head falls across one bar, so the whole signal drags into half speed and then "
    "holds on the same moment until the next bar. Mixed back against the dry signal so the "
    "groove survives the stop.",
    Layout::Compact, kHalfSpeedStopParams, kHalfSpeedStopCurves};

// 6 Kick Duck
constexpr auto kKickDuckParams = builtin::join(
    lines(Global{.splitLow = "220", .splitHigh = "1800"}),
    lines(Volume{.on = "On", .smooth = "0.12"}), lines(Filter{}), lines(Drive{}), lines(Time{}));
constexpr Point kKickDip[] = {{0, 0.06, 2}, {0.16, 1, 2}, {1, 1, 0}};
constexpr CurveSpec kKickDuckCurves[] = {{kVol, band(0), kKickDip}};
constexpr PresetSpec kKickDuck{
    "Kick Duck",
    "The low band dips on every quarter note and the mid and high bands are left alone, so a "
    "bass line gets out of the way of a kick without the top of the mix pumping with it. "
    "Around 130 BPM.",
    Layout::Compact, kKickDuckParams, kKickDuckCurves};

// 7 Live Stutter
constexpr auto kLiveStutterParams = builtin::join(
    lines(Global{.mix = "0.8", .splitLow = "240", .splitHigh = "1900"}), lines(Volume{}),
    lines(Filter{}), lines(Drive{}),
    lines(Time{.on = "On", .range = "90", .step = "0.08", .rate = "1/16", .smooth = "0"}));
constexpr Point kStutter[] = {{0, 1, 0}, {0.48, 1, 0}, {0.49, 0, 0}, {1, 1, 0}};
constexpr CurveSpec kLiveStutterCurves[] = {{kTim, band(1) | band(2), kStutter}};
constexpr PresetSpec kLiveStutter{
    "Live Stutter",
    "A sixteenth-note stutter on the mid and high bands only, with the low band left alone so "
    "the kick and bass hold the floor while everything above them retriggers. Hard steps and a "
    "short 90 ms range.",
    Layout::Compact, kLiveStutterParams, kLiveStutterCurves};

// 8 Pan Steps
constexpr auto kPanStepsParams = builtin::join(
    lines(Global{.splitLow = "240", .splitHigh = "1800"}), off("vol_on"), off("flt_on"),
    off("drv_on"), off("crs_on"), off("tim_on"),
    Lines<4>{{{"pan_on", "On"}, {"pan_rate", "1/1"}, {"pan_phase", "0"}, {"pan_smooth", "0.12"}}},
    off("wid_on"));
constexpr auto kPanPattern = builtin::sixteenSteps({0.15, 0.85, 0.3, 0.7, 0.15, 0.85, 0.5, 0.5,
                                                    0.85, 0.15, 0.7, 0.3, 0.85, 0.15, 0.5, 0.5});
constexpr CurveSpec kPanStepsCurves[] = {{kPan, band(0), kPanPattern}};
constexpr PresetSpec kPanSteps{
    "Pan Steps",
    "Only the low band moves: sixteen steps throw the bottom of the signal left and right while "
    "the mid and high bands hold the centre. The shape is drawn on the low band and the other "
    "two are left flat.",
    Layout::Full, kPanStepsParams, kPanStepsCurves};

// 9 Sidechain Duck
constexpr auto kSidechainDuckParams = builtin::join(
    lines(Global{.splitLow = "220", .splitHigh = "1800"}),
    Lines<4>{{{"trig_source", "Sidechain"}, {"trig_threshold", "-24"}, {"trig_filter", "20000"},
              {"trig_hold", "50"}}},
    lines(Volume{.on = "On", .smooth = "0.1"}),
    Lines<3>{{{"vol_trigger", "Audio"}, {"vol_loop", "Off"}, {"vol_end", "1"}}}, off("flt_on"),
    off("drv_on"), off("crs_on"), off("tim_on"), off("pan_on"), off("wid_on"));
constexpr Point kHitDuck[] = {{0, 0.05, 2, 0}, {0.16, 1, 2, 0}, {1, 1, 0, 0}};
constexpr CurveSpec kSidechainDuckCurves[] = {{kVol, kAllBands, kHitDuck}};
constexpr PresetSpec kSidechainDuck{
    "Sidechain Duck",
    "A duck started by the kick itself: route the kick track into the sidechain input and the "
    "whole signal dips at every hit, wherever the hits fall -- fills, breaks and off-beat kicks "
    "included. Runs once per kick and holds open until the next one. Without a sidechain it "
    "does nothing.",
    Layout::Full, kSidechainDuckParams, kSidechainDuckCurves};

constexpr auto kBendedDuckText = builtin::renderText<kBendedDuck>();
constexpr auto kCrushStepsText = builtin::renderText<kCrushSteps>();
constexpr auto kDrivePumpText = builtin::renderText<kDrivePump>();
constexpr auto kFilterWobbleText = builtin::renderText<kFilterWobble>();
constexpr auto kGatedStabsText = builtin::renderText<kGatedStabs>();
constexpr auto kHalfSpeedStopText = builtin::renderText<kHalfSpeedStop>();
constexpr auto kKickDuckText = builtin::renderText<kKickDuck>();
constexpr auto kLiveStutterText = builtin::renderText<kLiveStutter>();
constexpr auto kPanStepsText = builtin::renderText<kPanSteps>();
constexpr auto kSidechainDuckText = builtin::renderText<kSidechainDuck>();

}  // namespace

const std::array<plugincore::BuiltinPreset, kBuiltinPresetCount> kBuiltinPresets = {{
    {"bended_duck", kBendedDuckText.data()},
    {"crush_steps", kCrushStepsText.data()},
    {"drive_pump", kDrivePumpText.data()},
    {"filter_wobble", kFilterWobbleText.data()},
    {"gated_stabs", kGatedStabsText.data()},
    {"half_speed_stop", kHalfSpeedStopText.data()},
    {"kick_duck", kKickDuckText.data()},
    {"live_stutter", kLiveStutterText.data()},
    {"pan_steps", kPanStepsText.data()},
    {"sidechain_duck", kSidechainDuckText.data()},
}};

const plugincore::BuiltinPreset* findBuiltinPreset(std::string_view key) {
    for (const plugincore::BuiltinPreset& preset : kBuiltinPresets)
        if (key == preset.key) return &preset;
    return nullptr;
}

}  // namespace norvale
