#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plugin/param_desc.h"

namespace plugincore {
namespace {

const char* unitOf(const ParamDesc& desc) { return desc.unit != nullptr ? desc.unit : ""; }

bool isMilliseconds(const ParamDesc& desc) { return std::strcmp(unitOf(desc), "ms") == 0; }

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (asciiLower(*a) != asciiLower(*b)) return false;
    return *a == *b;
}

struct Rounded {
    double value;
    int decimals;
};

// The shown precision follows the magnitude: 1.23 kHz, 456 Hz, 78.9 Hz, 1.23 Hz.
Rounded roundForDisplay(double x) {
    if (x >= 1000.0) return {std::round(x / 1000.0 * 100.0) / 100.0 * 1000.0, 2};
    if (x >= 100.0) return {std::round(x), 0};
    if (x >= 10.0) return {std::round(x * 10.0) / 10.0, 1};
    return {std::round(x * 100.0) / 100.0, 2};
}

int formatLog(const ParamDesc& desc, double value, char* buffer, size_t capacity) {
    // Rounding can carry a number into the next magnitude (999.7 -> 1000),
    // which then wants that magnitude's precision, so repeat until it settles.
    double from = desc.realMin * std::pow(desc.realMax / desc.realMin, value);
    Rounded rounded = roundForDisplay(from);
    for (int step = 1; step < 4 && rounded.value != from; ++step) {
        from = rounded.value;
        rounded = roundForDisplay(from);
    }
    if (from >= 1000.0) {
        const bool ms = isMilliseconds(desc);
        return std::snprintf(buffer, capacity, "%.2f %s%s", rounded.value / 1000.0, ms ? "" : "k",
                             ms ? "s" : unitOf(desc));
    }
    return std::snprintf(buffer, capacity, "%.*f %s", rounded.decimals, rounded.value,
                         unitOf(desc));
}

int formatEnum(const ParamDesc& desc, double value, char* buffer, size_t capacity) {
    const double index = std::floor(value + 0.5);
    const uint32_t i = index > 0.0 ? static_cast<uint32_t>(index) : 0;
    const bool known = desc.items != nullptr && i < desc.itemCount && desc.items[i] != nullptr;
    return std::snprintf(buffer, capacity, "%s", known ? desc.items[i] : "?");
}

}  // namespace

bool paramValueToText(const ParamDesc& desc, double value, char* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return false;
    const double v = paramClamp(desc, value);
    const char* unit = unitOf(desc);
    int written = 0;
    switch (desc.kind) {
        case ParamKind::Log:
            written = formatLog(desc, v, buffer, capacity);
            break;
        case ParamKind::Stepped:
            written = std::snprintf(buffer, capacity, "%lld%s%s",
                                    static_cast<long long>(std::floor(v + 0.5)),
                                    unit[0] != '\0' ? " " : "", unit);
            break;
        case ParamKind::Enum:
            written = formatEnum(desc, v, buffer, capacity);
            break;
        case ParamKind::Percent:
            written = std::snprintf(buffer, capacity, "%.1f %%", v * 100.0);
            break;
        case ParamKind::Plain:
            if (std::strcmp(unit, "dB") == 0 && v <= -59.95)
                written = std::snprintf(buffer, capacity, "-inf dB");
            else
                written = std::snprintf(buffer, capacity, "%.2f %s", v, unit);
            break;
    }
    return written > 0 && static_cast<size_t>(written) < capacity;
}

bool paramTextToValue(const ParamDesc& desc, const char* text, double& out) {
    if (text == nullptr) return false;
    if (desc.kind == ParamKind::Enum && desc.items != nullptr) {
        for (uint32_t i = 0; i < desc.itemCount; ++i) {
            if (desc.items[i] != nullptr && equalsIgnoringCase(desc.items[i], text)) {
                out = i;
                return true;
            }
        }
    }

    char* end = nullptr;
    double number = std::strtod(text, &end);
    if (end == text || std::isnan(number)) return false;

    // A suffix may scale the number ("2k", "2 kHz", "0.5 s" on a ms row);
    // anything else after it is ignored ("12 dB", "8x").
    while (*end == ' ' || *end == '\t') ++end;
    const char suffix = asciiLower(*end);
    if (suffix == 'k' || (suffix == 's' && isMilliseconds(desc))) number *= 1000.0;

    if (desc.kind == ParamKind::Percent) number *= 0.01;
    if (desc.kind == ParamKind::Log) number = realToParam(desc, number);
    if (std::isnan(number)) return false;
    out = paramClamp(desc, number);
    return true;
}

}  // namespace plugincore
