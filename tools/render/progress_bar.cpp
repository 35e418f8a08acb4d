#include "render/progress_bar.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace norvale::render {
namespace {

constexpr int kBarWidth = 40;

}  // namespace

ProgressBar::ProgressBar(uint64_t total) : total_(total), enabled_(isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    if (enabled_ && shownPercent_ >= 0) std::fprintf(stderr, "\r%*s\r", kBarWidth + 16, "");
}

void ProgressBar::update(uint64_t done) {
    if (!enabled_ || total_ == 0) return;
    const int percent = static_cast<int>(done * 100 / total_);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '-');
    std::fprintf(stderr, "\rrendering [%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
}

}  // namespace norvale::render
