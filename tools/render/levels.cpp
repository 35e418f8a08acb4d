#include "render/levels.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <limits>

namespace norvale::render {
namespace {

double sumOfSquares(const StereoAudio& audio, std::size_t start, std::size_t end) {
    double sum = 0.0;
    for (std::size_t i = start; i < end; ++i) {
        sum += static_cast<double>(audio.left[i]) * audio.left[i];
        sum += static_cast<double>(audio.right[i]) * audio.right[i];
    }
    return sum;
}

}  // namespace

Levels measureLevels(const StereoAudio& audio) {
    Levels levels;
    for (std::size_t i = 0; i < audio.frames(); ++i)
        levels.peak = std::max({levels.peak, static_cast<double>(std::fabs(audio.left[i])),
                                static_cast<double>(std::fabs(audio.right[i]))});
    if (audio.frames() > 0)
        levels.rms = std::sqrt(sumOfSquares(audio, 0, audio.frames()) / (2.0 * audio.frames()));
    return levels;
}

std::vector<double> windowedRms(const StereoAudio& audio, std::size_t window) {
    std::vector<double> rms;
    if (window == 0) return rms;
    for (std::size_t start = 0; start < audio.frames(); start += window) {
        const std::size_t end = std::min(audio.frames(), start + window);
        rms.push_back(std::sqrt(sumOfSquares(audio, start, end) / (2.0 * (end - start))));
    }
    return rms;
}

double toDb(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

std::string dbText(double linear) {
    return linear > 0.0 ? fmt::format("{:.1f}", toDb(linear)) : std::string("-inf");
}

}  // namespace norvale::render
