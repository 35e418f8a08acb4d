// The parameter table's conversions and its display text (the "clap.params"
// extension over them lives with the plug-in object). Text is locale-independent: a host running
// with a decimal-comma locale still gets "0.50 dB", and may type either separator.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "plugin/params.h"

namespace plugincore {

// ---- lookup and conversions ----

const ParamDesc* paramByIdIn(const ParamDesc* table, size_t count, uint32_t id) {
    if (table == nullptr || id >= count) return nullptr;
    return table[id].id == id ? &table[id] : nullptr;
}

const ParamDesc* paramByKeyIn(const ParamDesc* table, size_t count, const char* key) {
    if (table == nullptr || key == nullptr) return nullptr;
    for (size_t i = 0; i < count; ++i)
        if (table[i].key != nullptr && std::strcmp(table[i].key, key) == 0) return &table[i];
    return nullptr;
}

double paramToReal(const ParamDesc& desc, double value) {
    const double v = paramClamp(desc, value);
    switch (desc.kind) {
    case ParamKind::Log: return desc.realMin * std::pow(desc.realMax / desc.realMin, v);
    case ParamKind::Stepped:
    case ParamKind::Enum: return std::floor(v + 0.5);
    case ParamKind::Plain:
    case ParamKind::Percent: break;
    }
    return v;
}

double realToParam(const ParamDesc& desc, double real) {
    if (desc.kind == ParamKind::Log) {
        if (!(real > 0.0)) return paramClamp(desc, 0.0);
        real = std::log(real / desc.realMin) / std::log(desc.realMax / desc.realMin);
    }
    return paramClamp(desc, real);
}

bool paramSameValue(const ParamDesc& desc, double a, double b) {
    a = paramClamp(desc, a);
    b = paramClamp(desc, b);
    if (desc.kind == ParamKind::Stepped || desc.kind == ParamKind::Enum)
        return std::floor(a + 0.5) == std::floor(b + 0.5);
    // A float carries 24 bits; a few of its steps of the whole range.
    return std::fabs(a - b) <= (desc.maxValue - desc.minValue) * 1e-6;
}

// ---- value text ----

namespace {

const char* unitOf(const ParamDesc& desc) {
    return desc.unit != nullptr ? desc.unit : "";
}

bool isMilliseconds(const ParamDesc& desc) {
    return std::strcmp(unitOf(desc), "ms") == 0;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (asciiLower(*a) != asciiLower(*b)) return false;
    return *a == *b;
}

// "%.*f" followed by suffix, always with a decimal point. Returns the length
// it needs, like snprintf, or -1.
int formatFixed(char* buffer, size_t capacity, double value, int decimals, const char* suffix) {
    char number[64];
    const auto [end, error] =
        std::to_chars(number, number + sizeof number, value, std::chars_format::fixed, decimals);
    if (error != std::errc{}) return -1;
    return std::snprintf(buffer, capacity, "%.*s%s", static_cast<int>(end - number), number,
                         suffix);
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
    double from = paramToReal(desc, value);
    Rounded rounded = roundForDisplay(from);
    for (int step = 1; step < 4 && rounded.value != from; ++step) {
        from = rounded.value;
        rounded = roundForDisplay(from);
    }
    char suffix[32];
    if (from >= 1000.0) {
        const bool ms = isMilliseconds(desc);
        std::snprintf(suffix, sizeof suffix, " %s%s", ms ? "" : "k", ms ? "s" : unitOf(desc));
        return formatFixed(buffer, capacity, rounded.value / 1000.0, 2, suffix);
    }
    std::snprintf(suffix, sizeof suffix, " %s", unitOf(desc));
    return formatFixed(buffer, capacity, rounded.value, rounded.decimals, suffix);
}

int formatEnum(const ParamDesc& desc, double value, char* buffer, size_t capacity) {
    const double index = std::floor(value + 0.5);
    const uint32_t i = index > 0.0 ? static_cast<uint32_t>(index) : 0;
    const bool known = desc.items != nullptr && i < desc.itemCount && desc.items[i] != nullptr;
    return std::snprintf(buffer, capacity, "%s", known ? desc.items[i] : "?");
}

// Reads a number the way strtod does in the C locale, but with "," taken as
// a decimal point too. Returns the end of the number, or text when none.
const char* readNumber(const char* text, double& number) {
    const char* start = text;
    while (*start == ' ' || *start == '\t' || *start == '\n')
        ++start;
    // from_chars takes neither a plus sign nor a comma.
    const bool plus = *start == '+';
    if (plus) ++start;
    char copy[64];
    size_t length = 0;
    for (; start[length] != '\0' && length + 1 < sizeof copy; ++length)
        copy[length] = start[length] == ',' ? '.' : start[length];
    if (plus && (copy[0] == '-' || copy[0] == '+')) return text;
    const auto [end, error] = std::from_chars(copy, copy + length, number);
    if (error == std::errc::invalid_argument) return text;
    // Out of range: strtod's answer, an infinity or zero with the sign.
    if (error == std::errc::result_out_of_range) {
        const char* exponent = std::find_if(static_cast<const char*>(copy), end,
                                            [](char c) { return (c | 0x20) == 'e'; });
        const bool tiny = exponent + 1 < end && exponent[1] == '-';
        number = (copy[0] == '-' ? -1.0 : 1.0) * (tiny ? 0.0 : HUGE_VAL);
    }
    return start + (end - copy);
}

} // namespace

bool paramValueToText(const ParamDesc& desc, double value, char* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return false;
    const double v = paramClamp(desc, value);
    const char* unit = unitOf(desc);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " %s", unit);
    int written = 0;
    switch (desc.kind) {
    case ParamKind::Log: written = formatLog(desc, v, buffer, capacity); break;
    case ParamKind::Stepped:
        written =
            std::snprintf(buffer, capacity, "%lld%s%s", static_cast<long long>(std::floor(v + 0.5)),
                          unit[0] != '\0' ? " " : "", unit);
        break;
    case ParamKind::Enum: written = formatEnum(desc, v, buffer, capacity); break;
    case ParamKind::Percent: written = formatFixed(buffer, capacity, v * 100.0, 1, " %"); break;
    case ParamKind::Plain:
        if (std::strcmp(unit, "dB") == 0 && v <= -59.95)
            written = std::snprintf(buffer, capacity, "-inf dB");
        else
            written = formatFixed(buffer, capacity, v, 2, suffix);
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

    double number = 0.0;
    const char* end = readNumber(text, number);
    if (end == text || std::isnan(number)) return false;

    // A suffix may scale the number ("2k", "2 kHz", "0.5 s" on a ms row);
    // anything else after it is ignored ("12 dB", "8x").
    while (*end == ' ' || *end == '\t')
        ++end;
    const char suffix = asciiLower(*end);
    if (suffix == 'k' || (suffix == 's' && isMilliseconds(desc))) number *= 1000.0;

    if (desc.kind == ParamKind::Percent) number *= 0.01;
    if (desc.kind == ParamKind::Log) number = realToParam(desc, number);
    if (std::isnan(number)) return false;
    out = paramClamp(desc, number);
    return true;
}

} // namespace plugincore

namespace norvale {

// ---- table lookup ----

const plugincore::ParamDesc* paramById(uint32_t id) {
    return plugincore::paramByIdIn(kParams.data(), kParams.size(), id);
}

const plugincore::ParamDesc* paramByKey(const char* key) {
    return plugincore::paramByKeyIn(kParams.data(), kParams.size(), key);
}

} // namespace norvale
