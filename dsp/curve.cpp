// Curve model: edits, evaluation and the one-line text form.
#include "dsp/curve.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace norvale {

namespace {

// Clamps to 0..1; a NaN counts as 0 so that no edit can plant a NaN in a curve
// (and -0 becomes 0, so the text form never shows "-0.0000").
float clamp01(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    return v > 1.0f ? 1.0f : v + 0.0f;
}

// Clamps to -1..+1; a NaN counts as 0 (straight).
float clampBend(float v) {
    if (!(v >= -1.0f)) return v < -1.0f ? -1.0f : 0.0f;
    return v > 1.0f ? 1.0f : v;
}

uint8_t limitWeight(uint8_t w) {
    return w > 2 ? uint8_t{2} : w;
}

// Valid point count, whatever the record holds (guards against corrupted data).
int validCount(int32_t count) {
    return count < 2 ? 2 : (count > kMaxCurvePoints ? kMaxCurvePoints : count);
}

// "C" locale for number parsing, so that a host's LC_NUMERIC (decimal comma)
// cannot change the text form. Created once; never freed (stays reachable).
locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

float readFloat(const char* p, char** end) {
    locale_t loc = cLocale();
    return loc ? strtof_l(p, end, loc) : std::strtof(p, end);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Appends a number as printf("%.Nf") in the "C" locale would write it.
void appendFixed(std::string& out, float v, int precision) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
    if (r.ec == std::errc()) out.append(buf, r.ptr);
}

// Reads one item of the text form ("x y weight [bend]") into p; false on error.
// item holds exactly the item's characters (it may contain NULs; those fail).
bool parseItem(const std::string& item, CurvePoint& p) {
    const char* s = item.c_str();
    const size_t len = item.size();
    size_t pos = 0;
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int n = 0;
    for (;;) {
        while (pos < len && isBlank(s[pos]))
            ++pos;
        if (pos >= len) break;
        if (n == 4) return false; // anything after the fourth number
        char* end = nullptr;
        float f = readFloat(s + pos, &end);
        if (end == s + pos) return false;    // not a number (an embedded NUL included)
        if (!std::isfinite(f)) return false; // nan, inf, overflow
        v[n++] = f;
        pos = static_cast<size_t>(end - s);
        if (pos > len) return false; // cannot happen: strtof stops at the terminator
    }
    if (n < 3) return false;
    if (!(v[0] >= 0.0f && v[0] <= 1.0f)) return false;
    if (!(v[1] >= 0.0f && v[1] <= 1.0f)) return false;
    p.x = v[0];
    p.y = v[1];
    float w = v[2];
    p.weight = w < 0.0f ? uint8_t{0} : (w > 2.0f ? uint8_t{2} : static_cast<uint8_t>(w));
    p.bend = n >= 4 ? clampBend(v[3]) : 0.0f;
    return true;
}

} // namespace

Curve::Curve() : points{}, count(2) {
    for (auto& p : points)
        p = CurvePoint{0.0f, 1.0f, 0, 0.0f};
    points[1].x = 1.0f;
}

void Curve::setFlat(float value) {
    const float v = clamp01(value);
    count = 2;
    points[0] = CurvePoint{0.0f, v, 0, 0.0f};
    points[1] = CurvePoint{1.0f, v, 0, 0.0f};
}

float Curve::valueAt(float phase) const {
    const int n = validCount(count);
    const CurvePoint& first = points[0];
    const CurvePoint& last = points[n - 1];

    // 1. Wrap the phase.
    if (!(phase >= 0.0f)) phase = 0.0f; // negative or NaN
    if (phase == 1.0f) return last.y;
    if (phase > 1.0f) {
        phase = phase - std::floor(phase);
        if (!(phase >= 0.0f && phase < 1.0f)) phase = 0.0f; // infinity
    }

    // 2. Outside the end points.
    if (phase <= first.x) return first.y;
    if (phase >= last.x) return last.y;

    // 3. Find the segment.
    int b = 1;
    while (b < n - 1 && !(phase <= points[b].x))
        ++b;
    const CurvePoint& pa = points[b - 1];
    const CurvePoint& pb = points[b];

    // 4. Vertical jump.
    const float dx = pb.x - pa.x;
    if (dx <= 1e-6f) return pb.y;

    // 5. Position inside the segment.
    float u = (phase - pa.x) / dx;
    u = u < 0.0f ? 0.0f : (u > 1.0f ? 1.0f : u);

    // 6. Corner weighting.
    const int m = pa.weight > pb.weight ? pa.weight : pb.weight;
    if (m >= 1) {
        const float s = u * u * (3.0f - 2.0f * u);
        u = (m >= 2) ? s : 0.5f * s + 0.5f * u;
    }

    // 7. Bend of the segment leaving a.
    if (pa.bend == 0.0f) return pa.y + u * (pb.y - pa.y);
    const float c = clampBend(pa.bend) * 0.5f;
    const float k = (pa.y + pb.y) * 0.5f + c;
    const float iu = 1.0f - u;
    const float r = iu * iu * pa.y + 2.0f * iu * u * k + u * u * pb.y;
    return r < 0.0f ? 0.0f : (r > 1.0f ? 1.0f : r);
}

int Curve::addPoint(float x, float y, uint8_t weight) {
    weight = limitWeight(weight);
    x = clamp01(x);
    y = clamp01(y);
    const int n = validCount(count);
    count = n;

    // 1. Overwrite a point within 0.001.
    for (int i = 0; i < n; ++i) {
        if (std::fabs(points[i].x - x) < 0.001f) {
            points[i].y = y;
            points[i].weight = weight;
            return i;
        }
    }
    // 2. Full.
    if (n >= kMaxCurvePoints) return -1;
    // 3. Next to an end point.
    if (x < 0.001f) {
        points[0].y = y;
        points[0].weight = weight;
        return 0;
    }
    if (x > 0.999f) {
        points[n - 1].y = y;
        points[n - 1].weight = weight;
        return n - 1;
    }
    // 4. Insert before the first point to the right.
    int i = 1;
    while (i < n - 1 && !(points[i].x > x))
        ++i;
    for (int j = n; j > i; --j)
        points[j] = points[j - 1];
    points[i] = CurvePoint{x, y, weight, 0.0f};
    count = n + 1;
    return i;
}

void Curve::removePoint(int index) {
    const int n = validCount(count);
    if (index <= 0 || index >= n - 1) return;
    for (int j = index; j < n - 1; ++j)
        points[j] = points[j + 1];
    points[n - 1] = CurvePoint{};
    count = n - 1;
}

void Curve::movePoint(int index, float x, float y) {
    const int n = validCount(count);
    if (index < 0 || index >= n) return;
    y = clamp01(y);
    if (index == 0 || index == n - 1) {
        points[index].y = y;
        return;
    }
    points[index].x = clamp01(x);
    points[index].y = y;
    sortMiddle();
}

void Curve::setWeight(int index, uint8_t weight) {
    if (index < 0 || index >= validCount(count)) return;
    points[index].weight = limitWeight(weight);
}

void Curve::setBend(int index, float bend) {
    if (index < 0 || index >= validCount(count)) return;
    points[index].bend = clampBend(bend);
}

void Curve::removeRange(float a, float b) {
    if (!(a < b)) return; // a >= b, or a NaN bound
    const int n = validCount(count);
    int w = 1; // point 0 stays
    for (int i = 1; i < n - 1; ++i) {
        const float x = points[i].x;
        if (a < x && x < b) continue;
        points[w++] = points[i];
    }
    points[w++] = points[n - 1];
    for (int i = w; i < n; ++i)
        points[i] = CurvePoint{};
    count = w;
    if (count < 2) *this = Curve(); // cannot happen: both end points are kept
}

namespace {

// Body of setStep (steps 2 to 5) with cell and cell count already checked.
void applyStep(Curve& c, int cell, int cells, float v) {
    const float left = static_cast<float>(cell) / static_cast<float>(cells);
    float right;
    float upper;
    if (cell + 1 == cells) {
        right = 1.0f;
        upper = 0.9984f;
    } else {
        right = static_cast<float>(cell + 1) / static_cast<float>(cells) - 0.002f;
        upper = right - 0.0016f;
    }
    const float lower = left + 0.0016f;
    if (lower < upper) c.removeRange(lower, upper);
    c.addPoint(left, v, 0);
    c.addPoint(right, v, 0);
    c.points[0].x = 0.0f;
    c.points[c.count - 1].x = 1.0f;
}

} // namespace

void Curve::setStep(int cell, int cells, float value) {
    if (cells < 1 || cells > 32) return;
    cell = cell < 0 ? 0 : (cell > cells - 1 ? cells - 1 : cell);
    count = validCount(count);
    applyStep(*this, cell, cells, clamp01(value));
}

void Curve::fillSteps(int cells) {
    if (cells < 1 || cells > 32) return;
    float v[32];
    for (int i = 0; i < cells; ++i)
        v[i] = valueAt((static_cast<float>(i) + 0.5f) / static_cast<float>(cells));
    setFlat(v[0]);
    for (int i = 0; i < cells; ++i)
        applyStep(*this, i, cells, clamp01(v[i]));
}

void Curve::sortMiddle() {
    const int n = validCount(count);
    if (n < 3) return;
    for (int i = 1; i <= n - 2; ++i) {
        for (int j = i; j > 0 && points[j].x < points[j - 1].x; --j) {
            const CurvePoint t = points[j];
            points[j] = points[j - 1];
            points[j - 1] = t;
        }
    }
}

std::string Curve::format() const {
    std::string out;
    if (count < 1) return out;
    const int n = count > kMaxCurvePoints ? kMaxCurvePoints : count;
    out.reserve(static_cast<size_t>(n) * 28);
    for (int i = 0; i < n; ++i) {
        const CurvePoint& p = points[i];
        if (i > 0) out += ", ";
        appendFixed(out, p.x, 4);
        out += ' ';
        appendFixed(out, p.y, 4);
        out += ' ';
        out += std::to_string(static_cast<unsigned>(p.weight));
        out += ' ';
        appendFixed(out, p.bend, 3);
    }
    return out;
}

bool Curve::parse(std::string_view text) {
    Curve tmp;
    tmp.count = 0;
    std::string item;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const size_t end = comma == std::string_view::npos ? text.size() : comma;
        if (tmp.count >= kMaxCurvePoints) return false; // a 65th point
        item.assign(text.substr(start, end - start));
        CurvePoint p{};
        if (!parseItem(item, p)) return false;
        tmp.points[tmp.count++] = p;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (tmp.count < 2) return false;
    tmp.sortMiddle();
    tmp.points[0].x = 0.0f;
    tmp.points[tmp.count - 1].x = 1.0f;
    *this = tmp;
    return true;
}

} // namespace norvale
