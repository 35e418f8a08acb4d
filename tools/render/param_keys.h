// The plug-in's stable parameter keys. Its parameter info carries ids and
// display names only, so the tool keeps the key list itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace norvale::render {

// Indexed by parameter id.
inline constexpr std::array<std::string_view, 83> kParamKeys = {
    "mix",         "input",          "output",      "split_low",   "split_high",
    "band_low",    "band_mid",       "band_high",   "vol_on",      "vol_trim",
    "vol_rate",    "vol_phase",      "vol_smooth",  "flt_on",      "flt_cutoff",
    "flt_res",     "flt_depth",      "flt_drive",   "flt_type_low", "flt_type_mid",
    "flt_type_high", "flt_rate",     "flt_phase",   "flt_smooth",  "drv_on",
    "drv_style",   "drv_drive",      "drv_input",   "drv_output",  "drv_tone",
    "drv_mix",     "drv_rate",       "drv_phase",   "drv_smooth",  "tim_on",
    "tim_range",   "tim_step",       "tim_rate",    "tim_phase",   "tim_smooth",
    "crs_on",      "crs_amount",     "crs_bits",    "crs_down",    "crs_mix",
    "crs_rate",    "crs_phase",      "crs_smooth",  "pan_on",      "pan_rate",
    "pan_phase",   "pan_smooth",     "wid_on",      "wid_rate",    "wid_phase",
    "wid_smooth",  "trig_source",    "trig_threshold", "trig_filter", "trig_hold",
    "trig_note",   "trig_octave",    "vol_trigger", "vol_loop",    "vol_end",
    "flt_trigger", "flt_loop",       "flt_end",     "drv_trigger", "drv_loop",
    "drv_end",     "tim_trigger",    "tim_loop",    "tim_end",     "crs_trigger",
    "crs_loop",    "crs_end",        "pan_trigger", "pan_loop",    "pan_end",
    "wid_trigger", "wid_loop",       "wid_end",
};

std::optional<uint32_t> paramIdForKey(std::string_view key);

// Levenshtein distance: insertions, deletions and substitutions cost one.
std::size_t editDistance(std::string_view a, std::string_view b);

// The keys closest to a mistyped one, nearest first, ties in id order.
std::vector<std::string_view> nearestKeys(std::string_view key, std::size_t limit = 3);

}  // namespace norvale::render
