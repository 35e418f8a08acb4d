// What changed on screen since the last frame, in design units. Whoever
// changes what an element shows says so once: damage.add(the element's
// rectangle), or damage.addAll() when the whole window looks different. The
// window repaints only the union of what was added, and presents only that.
#pragma once

#include <algorithm>
#include <vector>

#include "gui/window_spec.h"

namespace plugincore {

inline bool intersects(const Rect& a, const Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

inline Rect unite(const Rect& a, const Rect& b) {
    const double x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    return {x0, y0, std::max(a.x + a.width, b.x + b.width) - x0,
            std::max(a.y + a.height, b.y + b.height) - y0};
}

class Damage {
public:
    void add(const Rect& r) {
        if (all_ || !(r.width > 0 && r.height > 0)) return;
        // Past a handful of pieces one repaint of the window is cheaper.
        if (rects_.size() >= kMostRects) return addAll();
        rects_.push_back(r);
    }
    void addAll() {
        all_ = true;
        rects_.clear();
    }
    bool all() const { return all_; }
    bool empty() const { return !all_ && rects_.empty(); }
    const std::vector<Rect>& rects() const { return rects_; }
    // Hands everything over to the frame's damage and starts afresh.
    void moveTo(Damage& frame) {
        if (all_) frame.addAll();
        for (const Rect& r : rects_)
            frame.add(r);
        clear();
    }
    void clear() {
        all_ = false;
        rects_.clear();
    }

private:
    static constexpr size_t kMostRects = 32;
    std::vector<Rect> rects_;
    bool all_ = false;
};

} // namespace plugincore
