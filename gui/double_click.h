// Tells a double-click from two quick drags: two presses on the same target
// that both stayed put, close in time and in place. Shared by the rack's
// knobs and the curve panel's points; positions are design units, times X
// server milliseconds (which wrap after 49 days).
#pragma once

#include <cmath>
#include <cstdint>

namespace norvale {

class DoubleClick {
public:
    static constexpr uint32_t kWithinMs = 400;
    static constexpr double kWithinUnits = 4;

    // A button press on target (-1: nothing that double-clicks). True when it
    // would complete a double-click, if it is released without a drag.
    bool press(int target, double x, double y, uint64_t timeMs) {
        const bool twice = target >= 0 && target == last_.target &&
                           static_cast<uint32_t>(timeMs - last_.time) < kWithinMs &&
                           near(x, y, last_);
        if (target < 0) last_ = {};
        down_ = {target, x, y, timeMs};
        dragged_ = false;
        return twice;
    }
    // The pointer moved with the button held; true once the press became a drag.
    bool moved(double x, double y) {
        if (down_.target >= 0 && !dragged_ && !near(x, y, down_)) dragged_ = true;
        return dragged_;
    }
    bool dragged() const { return dragged_; }
    // The button came up: only a press that stayed put counts towards the
    // next double-click, and a completed double-click starts afresh.
    void release(bool completed) {
        last_ = dragged_ || completed ? Press{} : down_;
        down_ = {};
    }
    // The target went away (a removed point, a moved one).
    void forget() { last_ = down_ = {}; }

private:
    struct Press {
        int target = -1;
        double x = 0, y = 0;
        uint64_t time = 0;
    };
    static bool near(double x, double y, const Press& p) {
        return std::hypot(x - p.x, y - p.y) <= kWithinUnits;
    }
    Press last_, down_;
    bool dragged_ = false;
};

} // namespace norvale
