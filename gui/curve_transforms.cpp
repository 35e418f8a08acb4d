#include "gui/curve_transforms.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace norvale {

namespace {

bool middle(const Curve& c, int i) {
    return i > 0 && i < c.count - 1;
}

} // namespace

Curve movePoints(const Curve& curve, uint64_t mask, double dx, double dy) {
    Curve out = curve;
    double lowX = dx, highX = dx, lowY = dy, highY = dy;
    for (int i = 0; i < curve.count; ++i) {
        if (!inMask(mask, i)) continue;
        const CurvePoint& p = curve.points[i];
        lowY = std::max(lowY, -static_cast<double>(p.y));
        highY = std::min(highY, 1.0 - p.y);
        if (!middle(curve, i)) continue;
        // The nearest points on either side that stay where they are.
        int left = i - 1, right = i + 1;
        while (middle(curve, left) && inMask(mask, left))
            --left;
        while (middle(curve, right) && inMask(mask, right))
            ++right;
        lowX = std::max(lowX, static_cast<double>(curve.points[left].x - p.x));
        highX = std::min(highX, static_cast<double>(curve.points[right].x - p.x));
    }
    const double moveX = std::clamp(dx, std::min(lowX, 0.0), std::max(highX, 0.0));
    const double moveY = std::clamp(dy, std::min(lowY, 0.0), std::max(highY, 0.0));
    for (int i = 0; i < curve.count; ++i) {
        if (!inMask(mask, i)) continue;
        CurvePoint& p = out.points[i];
        if (middle(curve, i)) p.x = std::clamp(static_cast<float>(p.x + moveX), 0.0f, 1.0f);
        p.y = std::clamp(static_cast<float>(p.y + moveY), 0.0f, 1.0f);
    }
    out.sortMiddle(); // equal x only; the order is kept
    return out;
}

Curve invertPoints(const Curve& curve, uint64_t mask) {
    Curve out = curve;
    for (int i = 0; i < curve.count; ++i) {
        if (!inMask(mask, i)) continue;
        out.points[i].y = 1.0f - curve.points[i].y;
        if (i + 1 < curve.count && inMask(mask, i + 1)) out.points[i].bend = -curve.points[i].bend;
    }
    return out;
}

Curve mirrorPoints(const Curve& curve, uint64_t mask) {
    const int n = curve.count;
    Curve out = curve;
    if (mask == 0) {
        // A segment read backwards keeps its control value, so its bend moves
        // to its new left point unchanged.
        for (int k = 0; k < n; ++k) {
            const CurvePoint& p = curve.points[n - 1 - k];
            out.points[k] = {1.0f - p.x, p.y, p.weight,
                             k + 1 < n ? curve.points[n - 2 - k].bend : 0};
        }
        out.points[0].x = 0.0f;
        out.points[n - 1].x = 1.0f;
        return out;
    }
    float first = 1.0f, last = 0.0f;
    for (int i = 1; i < n - 1; ++i)
        if (inMask(mask, i)) {
            first = std::min(first, curve.points[i].x);
            last = std::max(last, curve.points[i].x);
        }
    for (int i = 1; i < n - 1; ++i)
        if (inMask(mask, i)) out.points[i].x = first + last - curve.points[i].x;
    out.sortMiddle();
    return out;
}

Curve shiftCurve(const Curve& curve, double step) {
    const int n = curve.count;
    step -= std::floor(step);
    if (step <= 0 || n < 2) return curve;
    // The two ends meet at the wrap: both land at step, the end's value first.
    std::vector<CurvePoint> points;
    for (int i = 0; i < n; ++i) {
        CurvePoint p = curve.points[i];
        p.x =
            i == n - 1 ? static_cast<float>(step) : static_cast<float>(std::fmod(p.x + step, 1.0));
        if (i == n - 1) p.bend = curve.points[0].bend;
        points.push_back(p);
    }
    const CurvePoint start = points.front();
    points.erase(points.begin());
    if (start.y != points.back().y) points.push_back(start);
    // Points that wrapped come first; at step the old end stays before the old start.
    std::stable_sort(points.begin(), points.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.x < b.x; });
    const float edge = curve.valueAt(static_cast<float>(1.0 - step));
    if (points.size() + 2 > static_cast<size_t>(kMaxCurvePoints)) return curve;
    Curve out;
    out.count = 0;
    out.points[out.count++] = {0.0f, edge, 0, 0.0f};
    for (const CurvePoint& p : points)
        out.points[out.count++] = p;
    out.points[out.count++] = {1.0f, edge, 0, 0.0f};
    // The segment the wrap cut in two is straight on both sides.
    out.points[out.count - 2].bend = 0;
    return out;
}

Curve scalePoints(const Curve& curve, uint64_t mask, double factor, double offset) {
    Curve out = curve;
    for (int i = 0; i < curve.count; ++i)
        if (inMask(mask, i))
            out.points[i].y = static_cast<float>(
                std::clamp(0.5 + (curve.points[i].y - 0.5) * factor + offset, 0.0, 1.0));
    return out;
}

} // namespace norvale
