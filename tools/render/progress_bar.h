// A one-line progress bar on standard error, shown only on a terminal.
#pragma once

#include <cstdint>

namespace norvale::render {

class ProgressBar {
public:
    explicit ProgressBar(uint64_t total);
    ~ProgressBar();  // clears the line
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(uint64_t done);

private:
    uint64_t total_;
    bool enabled_;
    int shownPercent_ = -1;
};

}  // namespace norvale::render
