// Rate menu shared by every module: cycle length in beats.
#pragma once

namespace norvale {

inline constexpr int kRateCount = 8;
// "1/32", "1/16", "1/8", "1/4", "1/2", "1/1", "2 Bars", "4 Bars".
inline constexpr double kBeats[kRateCount] = {0.125, 0.25, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0};

// Length of one module cycle in beats (quarter notes) for a rate index 0..7;
// any other index, negative ones included, gives 1.0.
constexpr double beatsForRate(int rate) {
    return (rate >= 0 && rate < kRateCount) ? kBeats[rate] : 1.0;
}

} // namespace norvale
