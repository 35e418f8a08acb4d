#include "presets/preset_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace plugincore {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A host may switch LC_NUMERIC to a decimal comma; numbers in preset files
// are read in the "C" locale whatever it says. Created once, never freed.
locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

// printf("%.*f") in the "C" locale; to_chars never looks at the locale.
std::string fixed(double value, int precision) {
    char buf[400]; // DBL_MAX printed without decimals has 309 digits
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string formatNumber(double value) {
    const double magnitude = std::fabs(value);
    if (std::floor(value) == value && magnitude < 1e9)
        return std::to_string(static_cast<long long>(value));
    int precision = 3; // also NaN
    if (std::isinf(value) || magnitude >= 100) {
        precision = 0;
    } else if (magnitude >= 10) {
        precision = 1;
    } else if (magnitude >= 1) {
        precision = 2;
    }
    std::string text = fixed(value, precision);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    // A tiny negative rounds to zero; "-0" would read back as a different text.
    if (text == "-0") text = "0";
    return text;
}

std::string_view trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string oneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return std::string(trim(line));
}

bool readNumber(std::string_view text, double& out) {
    const std::string terminated(text); // strtod stops at an embedded NUL, as it should
    const char* begin = terminated.c_str();
    char* end = nullptr;
    const locale_t loc = cLocale();
    const double value = loc ? strtod_l(begin, &end, loc) : std::strtod(begin, &end);
    if (end == begin) return false;
    out = value;
    return true;
}

bool readFiniteNumber(std::string_view text, double& out) {
    const std::string terminated(text);
    const char* begin = terminated.c_str();
    char* end = nullptr;
    const locale_t loc = cLocale();
    errno = 0;
    const double value = loc ? strtod_l(begin, &end, loc) : std::strtod(begin, &end);
    if (end == begin || end != begin + terminated.size() || errno == ERANGE ||
        !std::isfinite(value))
        return false;
    out = value;
    return true;
}

bool readWholeNumber(std::string_view text, long long& out) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto r = std::from_chars(begin, end, out);
    return begin != end && r.ec == std::errc() && r.ptr == end;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

int findName(std::string_view text, const char* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (names[i] != nullptr && equalsIgnoringCase(text, names[i])) return static_cast<int>(i);
    return -1;
}

std::string_view skipByteOrderMark(std::string_view text) {
    return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

} // namespace plugincore
