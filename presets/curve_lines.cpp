#include "presets/curve_lines.h"

#include <charconv>
#include <string_view>

#include "presets/preset_text.h"

namespace norvale {

namespace {

constexpr const char* kChainError = "the effect chain line could not be read";
constexpr const char* kCurveError = "a shape curve line could not be read";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trimEnds(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Cuts the next whitespace-separated token off the front of rest.
std::string_view nextToken(std::string_view& rest) {
    while (!rest.empty() && isSpace(rest.front()))
        rest.remove_prefix(1);
    size_t n = 0;
    while (n < rest.size() && !isSpace(rest[n]))
        ++n;
    const std::string_view token = rest.substr(0, n);
    rest.remove_prefix(n);
    return token;
}

// A leading decimal integer with an optional sign; what follows the digits
// is ignored ("1st" is 1).
bool readBand(std::string_view token, int& band) {
    bool negative = false;
    if (!token.empty() && (token.front() == '+' || token.front() == '-')) {
        negative = token.front() == '-';
        token.remove_prefix(1);
    }
    if (token.empty() || token.front() < '0' || token.front() > '9') return false;
    long value = 0;
    const auto r = std::from_chars(token.data(), token.data() + token.size(), value);
    if (r.ec != std::errc()) return false;
    if (negative) value = -value;
    if (value < 0 || value >= kBandCount) return false;
    band = static_cast<int>(value);
    return true;
}

bool readCurveLine(std::string_view line, CurveSet& curves) {
    std::string_view rest = line;
    if (nextToken(rest) != "curve") return false;
    const int module = moduleFromKey(nextToken(rest));
    int band = 0;
    if (module < 0 || !readBand(nextToken(rest), band)) return false;
    if (nextToken(rest) != "=") return false;
    Curve curve = curves.curves[module][band];
    if (!curve.parse(trimEnds(rest))) return false;
    curves.curves[module][band] = curve;
    return true;
}

} // namespace

std::string formatCurveLines(const CurveSet& curves) {
    std::string text;
    if (curves.chainLength >= 1) {
        text += '\n';
        text += kChainComment;
        text += "chain = " + formatChain(curves) + "\n";
    }
    text += '\n';
    text += kCurveComment;
    for (int m = 0; m < kModuleCount; ++m) {
        for (int b = 0; b < kBandCount; ++b) {
            text += "curve ";
            text += moduleKey(m);
            text += ' ';
            text += static_cast<char>('0' + b);
            text += " = " + curves.curves[m][b].format() + "\n";
        }
    }
    return text;
}

bool scanCurveLines(const char* data, size_t size, CurveSet& curves, std::string& err) {
    if (data == nullptr) return true;
    const std::string_view text = plugincore::skipByteOrderMark({data, size});
    std::string firstError;
    unsigned lineNumber = 0;
    const auto note = [&](const char* message) {
        if (firstError.empty()) firstError = "line " + std::to_string(lineNumber) + ": " + message;
    };
    size_t start = 0;
    while (start < text.size()) {
        ++lineNumber;
        const size_t lf = text.find('\n', start);
        const size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = trimEnds(line);
        if (line.empty()) continue;
        if (line.substr(0, 5) == "chain") {
            const size_t eq = line.find('=');
            if (eq != std::string_view::npos && !parseChain(line.substr(eq + 1), curves))
                note(kChainError);
            continue;
        }
        if (line.front() == '#' || line.substr(0, 6) != "curve ") continue;
        if (!readCurveLine(line, curves)) note(kCurveError);
    }
    if (firstError.empty()) return true;
    err = firstError;
    return false;
}

} // namespace norvale
