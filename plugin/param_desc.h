// Parameter rows and the conversions between a row's value space, its real
// quantity and its display text. Works with any constant table of rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace plugincore {

enum class ParamKind : int32_t {
    Plain = 0,   // real units (dB); the value is the quantity
    Percent = 1, // a fraction, shown times 100
    Log = 2,     // 0..1 mapped exponentially onto realMin..realMax
    Stepped = 3, // whole numbers in real units
    Enum = 4,    // an index into items
};

// One automatable parameter. The host sees minValue..maxValue (the value
// space); the DSP asks paramToReal for the quantity behind a value.
struct ParamDesc {
    uint32_t id;
    const char* key; // stable: state and preset files refer to it
    const char* name;
    const char* group;
    double minValue;
    double maxValue;
    double defaultValue;
    ParamKind kind;
    double realMin;           // Log only: real value at 0
    double realMax;           // Log only: real value at 1
    const char* unit;         // "" when none
    const char* const* items; // Enum only
    uint32_t itemCount;
    const char* help;
};

// Row at index id, provided that row carries that id; null otherwise.
const ParamDesc* paramByIdIn(const ParamDesc* table, size_t count, uint32_t id);
// First row whose key equals key exactly; null otherwise.
const ParamDesc* paramByKeyIn(const ParamDesc* table, size_t count, const char* key);

// Clamps to [minValue, maxValue]. Hosts may send NaN; it becomes minValue so
// nothing downstream (rounding, indexing) ever sees it.
constexpr double paramClamp(const ParamDesc& desc, double value) {
    if (!(value >= desc.minValue)) return desc.minValue;
    if (value > desc.maxValue) return desc.maxValue;
    return value;
}

// Both keep their result inside the row's range (paramClamp).
double paramToReal(const ParamDesc& desc, double value);
double realToParam(const ParamDesc& desc, double real);

// Whether two values are one setting: the same step on stepped and choice
// rows, otherwise within a 32-bit float's precision of the range (what a host
// that keeps values as floats echoes back).
bool paramSameValue(const ParamDesc& desc, double a, double b);

// Writes the display text ("1.50 kHz", "15.0 %", "Lowpass"); false when the
// buffer is missing or too small. Allocates nothing.
bool paramValueToText(const ParamDesc& desc, double value, char* buffer, size_t capacity);
// Reads typed text back into the value space. On false (null or unreadable
// text, NaN) out is left untouched. Allocates nothing.
bool paramTextToValue(const ParamDesc& desc, const char* text, double& out);

// Natural logarithm usable in constant expressions (std::log is not
// constexpr): tables store a Log row's default as a position, computed at
// compile time. Anything but a positive finite x gives NaN.
constexpr double constexprLn(double x) {
    constexpr double kLn2 = 0.693147180559945309417232121458176568;
    if (!(x > 0.0 && x <= std::numeric_limits<double>::max()))
        return std::numeric_limits<double>::quiet_NaN();
    int exponent = 0;
    while (x >= 2.0) {
        x *= 0.5;
        ++exponent;
    }
    while (x < 1.0) {
        x *= 2.0;
        --exponent;
    }
    // ln(x) = 2 atanh(z) with z = (x - 1) / (x + 1) < 1/3: the series
    // converges to double precision well within 30 terms.
    const double z = (x - 1.0) / (x + 1.0);
    const double z2 = z * z;
    double term = z;
    double sum = 0.0;
    for (int k = 1; k < 60; k += 2) {
        sum += term / k;
        term *= z2;
    }
    return 2.0 * sum + exponent * kLn2;
}

// Position 0..1 of a real value on a Log row spanning realMin..realMax.
constexpr double logPosition(double realMin, double realMax, double real) {
    return constexprLn(real / realMin) / constexprLn(realMax / realMin);
}

} // namespace plugincore
