// A gain that glides in a straight line to each new target over a fixed
// time, so a host's stepped automation (or a bypass switch) never clicks. A
// new target met half way starts a new line from where the gain stands.
//
// Threads: audio thread only (prepare while not processing).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace norvale {

class LinearRamp {
public:
    void prepare(double sampleRate, double seconds) {
        length_ = std::max<int32_t>(1, static_cast<int32_t>(std::lround(sampleRate * seconds)));
    }
    // No glide: the next fill gives `value` throughout.
    void jumpTo(float value) {
        value_ = target_ = value;
        left_ = 0;
    }
    void setTarget(float target) {
        if (target == target_) return;
        target_ = target;
        left_ = length_;
        step_ = (target_ - value_) / static_cast<float>(length_);
    }
    bool moving() const { return left_ > 0; }
    float value() const { return value_; }

    // The gain at each of the next n samples; the last step lands exactly on
    // the target.
    void fill(float* out, uint32_t n) {
        if (left_ == 0) {
            std::fill_n(out, n, value_);
            return;
        }
        for (uint32_t i = 0; i < n; ++i) {
            if (left_ > 0) value_ = --left_ == 0 ? target_ : value_ + step_;
            out[i] = value_;
        }
    }

private:
    float value_ = 1.0f, target_ = 1.0f, step_ = 0.0f;
    int32_t left_ = 0;
    int32_t length_ = 1;
};

} // namespace norvale
