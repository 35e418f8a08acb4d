// Renders a built-in preset's text at compile time from its tables, so the
// texts carry no hand-typed curve numbers and no table can drift from the
// parameter set: a key the table does not know fails the build.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "dsp/modules.h"
#include "plugin/params.h"
#include "presets/curve_lines.h"

namespace norvale::builtin {

struct ParamLine {
    const char* key = nullptr;
    const char* value = nullptr;  // as written in the text
};

struct Point {
    double x;
    double y;
    int weight;
    double bend = 0.0;
};

// One drawn curve, given to every band in the mask.
struct CurveSpec {
    int module;
    unsigned bands;
    std::span<const Point> points;
};

inline constexpr unsigned kAllBands = 0b111;
constexpr unsigned band(int b) { return 1u << b; }

// Full: four numbers per point, all 21 curve lines. Compact: three numbers
// per point (no bend), only the curves of vol, flt, drv and tim.
enum class Layout { Full, Compact };

struct PresetSpec {
    const char* name;
    const char* description;
    Layout layout;
    std::span<const ParamLine> params;  // file order; a new group opens a section
    std::span<const CurveSpec> curves;  // curves not listed are neutral
};

inline constexpr const char* kCompactCurveComment =
    "# Shape curves. One line per module and band, in normalised time\n"
    "# and value, with each point's weight: 0 hard, 1 medium, 2 soft.\n"
    "# Bands are 0 low, 1 mid, 2 high.\n";

template <size_t... N>
constexpr auto join(const std::array<ParamLine, N>&... parts) {
    std::array<ParamLine, (N + ...)> all{};
    auto at = all.begin();
    ((at = std::copy(parts.begin(), parts.end(), at)), ...);
    return all;
}

// The staircase Curve::fillSteps(16) draws: two points per step, the second
// 0.002 before the next step, the last one at 1.
constexpr std::array<Point, 32> sixteenSteps(const double (&values)[16]) {
    std::array<Point, 32> points{};
    for (int i = 0; i < 16; ++i) {
        points[2 * i] = {i / 16.0, values[i], 0};
        points[2 * i + 1] = {i == 15 ? 1.0 : (i + 1) / 16.0 - 0.002, values[i], 0};
    }
    return points;
}

namespace render {

constexpr bool sameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

constexpr const char* groupOf(const char* key) {
    for (const plugincore::ParamDesc& desc : kParams)
        if (sameText(desc.key, key)) return desc.group;
    throw "a built-in preset names a parameter the table does not have";
}

// Counts the characters when it has no buffer, writes them when it has one.
class Sink {
public:
    constexpr Sink() = default;
    constexpr explicit Sink(char* buffer) : buffer_(buffer) {}

    constexpr void put(char c) {
        if (buffer_ != nullptr) buffer_[size_] = c;
        ++size_;
    }
    constexpr void put(const char* text) {
        while (*text != '\0') put(*text++);
    }
    // printf("%.*f") for the short, non-negative-exponent numbers of the tables.
    constexpr void putFixed(double value, int decimals) {
        long long scale = 1;
        for (int i = 0; i < decimals; ++i) scale *= 10;
        const double scaled = (value < 0 ? -value : value) * static_cast<double>(scale);
        const long long units = static_cast<long long>(scaled + 0.5);
        if (value < 0 && units != 0) put('-');
        putInteger(units / scale);
        put('.');
        for (long long digit = scale / 10; digit > 0; digit /= 10)
            put(static_cast<char>('0' + units / digit % 10));
    }
    constexpr void putInteger(long long value) {
        if (value >= 10) putInteger(value / 10);
        put(static_cast<char>('0' + value % 10));
    }
    constexpr size_t size() const { return size_; }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
};

constexpr void putCurve(Sink& out, const PresetSpec& spec, int module, int bandIndex) {
    const float neutral = neutralValue(module);
    const Point flat[] = {{0, neutral, 0}, {1, neutral, 0}};
    std::span<const Point> points = flat;
    for (const CurveSpec& curve : spec.curves)
        if (curve.module == module && (curve.bands & band(bandIndex)) != 0) points = curve.points;
    out.put("curve ");
    out.put(moduleKey(module));
    out.put(' ');
    out.put(static_cast<char>('0' + bandIndex));
    out.put(" = ");
    for (size_t i = 0; i < points.size(); ++i) {
        if (i > 0) out.put(", ");
        out.putFixed(points[i].x, 4);
        out.put(' ');
        out.putFixed(points[i].y, 4);
        out.put(' ');
        out.putInteger(points[i].weight);
        if (spec.layout == Layout::Full) {
            out.put(' ');
            out.putFixed(points[i].bend, 3);
        }
    }
    out.put('\n');
}

constexpr void putPreset(Sink& out, const PresetSpec& spec) {
    out.put("# Norvale preset\nformat = 1\nname = ");
    out.put(spec.name);
    out.put("\nauthor = Norvale\ndescription = ");
    out.put(spec.description);
    out.put('\n');
    const char* section = nullptr;
    for (const ParamLine& line : spec.params) {
        const char* group = groupOf(line.key);
        if (section == nullptr || !sameText(group, section)) {
            section = group;
            out.put("\n# ");
            out.put(group);
            out.put('\n');
        }
        out.put(line.key);
        out.put(" = ");
        out.put(line.value);
        out.put('\n');
    }
    out.put('\n');
    const bool full = spec.layout == Layout::Full;
    out.put(full ? kCurveComment : kCompactCurveComment);
    const int modules = full ? kModuleCount : kTim + 1;
    for (int m = 0; m < modules; ++m)
        for (int b = 0; b < kBandCount; ++b) putCurve(out, spec, m, b);
}

}  // namespace render

// The text as a zero-terminated character array.
template <const PresetSpec& spec>
constexpr auto renderText() {
    constexpr size_t size = [] {
        render::Sink counter;
        render::putPreset(counter, spec);
        return counter.size();
    }();
    std::array<char, size + 1> text{};
    render::Sink writer(text.data());
    render::putPreset(writer, spec);
    return text;
}

}  // namespace norvale::builtin
