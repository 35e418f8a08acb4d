#include "presets/preset_format.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "plugin/params.h"
#include "presets/preset_files.h"
#include "presets/preset_text.h"

namespace plugincore {

// ---- generic text ----

namespace {

constexpr int kNoValue = -1;

std::string valueText(const ParamDesc& desc, double value) {
    if (desc.kind == ParamKind::Enum && desc.items != nullptr) {
        // Range test before the conversion: a NaN or huge value must not
        // reach the integer cast.
        const double shifted = value + 0.5;
        if (desc.itemCount > 0 && shifted > -1.0 && shifted < static_cast<double>(desc.itemCount))
            return desc.items[static_cast<long long>(shifted)];
        return formatNumber(value);
    }
    return formatNumber(paramToReal(desc, value));
}

enum class Read { Value, Skip, Error };

// A choice is one of its names or a whole index; anything else is a mistake
// worth a message (1/64 is not a rate, and must not read as index 1). Other
// parameters take a real number; text that is none is skipped.
Read readParamValue(const ParamDesc& desc, std::string_view text, double& value) {
    if (desc.kind == ParamKind::Enum && desc.items != nullptr) {
        if (const int item = findName(text, desc.items, desc.itemCount); item >= 0) {
            value = item;
            return Read::Value;
        }
        long long index = 0;
        if (!readWholeNumber(text, index)) return Read::Error;
        value = realToParam(desc, static_cast<double>(index));
        return Read::Value;
    }
    double real = 0.0;
    if (!readNumber(text, real)) return Read::Skip;
    value = realToParam(desc, real);
    return Read::Value;
}

void appendFeatures(std::string_view list, std::vector<std::string>& features) {
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string_view part =
            trim(list.substr(start, comma == std::string_view::npos ? list.npos : comma - start));
        if (!part.empty()) features.emplace_back(part);
        if (comma == std::string_view::npos) return;
        start = comma + 1;
    }
}

const ParamDesc* findParam(const PresetContext& ctx, std::string_view key) {
    // Table keys hold no NUL; a key with one must not match its prefix.
    if (key.find('\0') != std::string_view::npos) return nullptr;
    return paramByKeyIn(ctx.params, ctx.paramCount, std::string(key).c_str());
}

std::string lineError(unsigned line, const std::string& message) {
    return "line " + std::to_string(line) + ": " + message;
}

// False with err set for a line that is wrong rather than merely unknown.
bool readEntry(const PresetContext& ctx, std::string_view key, std::string_view value,
               unsigned line, bool strict, PresetData& out, std::string& err) {
    if (key == "name") {
        out.name = value;
    } else if (key == "author" || key == "creator") {
        out.author = value;
    } else if (key == "description") {
        out.description = value;
    } else if (key == "features" || key == "tags") {
        appendFeatures(value, out.features);
    } else if (const ParamDesc* desc = findParam(ctx, key)) {
        double v = 0.0;
        const Read read = readParamValue(*desc, value, v);
        if (read == Read::Error) {
            err = lineError(line, "'" + std::string(value) + "' is not a choice of " + desc->key);
            return false;
        }
        if (read == Read::Value) out.values.push_back({desc->id, v});
    } else if (strict && key != "format" && key != "chain" && !key.starts_with("curve ")) {
        err = lineError(line, "unknown key '" + std::string(key) + "'");
        return false;
    }
    // "format", "<extension>_version" and the product's own lines are
    // skipped, and so are unknown keys unless strict.
    return true;
}

} // namespace

std::string formatPreset(const PresetContext& ctx, const PresetData& data) {
    std::string text = "# ";
    text += ctx.dirName;
    text += " preset\nformat = 1\n";
    const auto metadata = [&text](const char* key, const std::string& value) {
        if (value.empty()) return;
        text += key;
        text += " = ";
        text += oneLine(value);
        text += '\n';
    };
    metadata("name", data.name);
    metadata("author", data.author);
    metadata("description", data.description);
    if (!data.features.empty()) {
        text += "features = ";
        for (size_t i = 0; i < data.features.size(); ++i) {
            if (i > 0) text += ", ";
            text += oneLine(data.features[i]);
        }
        text += '\n';
    }

    // Row index -> index of the first entry in data.values for that row.
    std::vector<int> firstEntry(ctx.paramCount, kNoValue);
    for (size_t i = 0; i < data.values.size(); ++i) {
        for (uint32_t row = 0; row < ctx.paramCount; ++row) {
            if (ctx.params[row].id == data.values[i].id) {
                if (firstEntry[row] == kNoValue) firstEntry[row] = static_cast<int>(i);
                break;
            }
        }
    }

    std::vector<std::string_view> groups;
    for (uint32_t row = 0; row < ctx.paramCount; ++row) {
        const std::string_view group = ctx.params[row].group ? ctx.params[row].group : "";
        bool known = false;
        for (std::string_view g : groups)
            known = known || g == group;
        if (!known) groups.push_back(group);
    }
    for (std::string_view group : groups) {
        std::string lines;
        for (uint32_t row = 0; row < ctx.paramCount; ++row) {
            const ParamDesc& desc = ctx.params[row];
            if (firstEntry[row] == kNoValue || group != (desc.group ? desc.group : "")) continue;
            lines += desc.key;
            lines += " = ";
            lines += valueText(desc, data.values[static_cast<size_t>(firstEntry[row])].value);
            lines += '\n';
        }
        if (lines.empty()) continue;
        text += "\n# ";
        text += group;
        text += '\n';
        text += lines;
    }
    return text;
}

bool parsePreset(const PresetContext& ctx, const char* data, size_t size, PresetData& out,
                 std::string& err, bool strict) {
    if (data == nullptr) {
        err = "no preset data";
        return false;
    }
    out = PresetData{};
    if (size == 0) {
        err = "preset is empty";
        return false;
    }
    const std::string_view text = skipByteOrderMark({data, size});
    const std::string versionKey = std::string(ctx.extension ? ctx.extension : "") + "_version";
    bool seen = false;
    unsigned lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        ++lineNumber;
        const size_t lf = text.find('\n', start);
        const size_t end = lf == std::string_view::npos ? text.size() : lf;
        const std::string_view line = trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            err = lineError(lineNumber, "expected 'key = value'");
            return false;
        }
        const std::string_view key = trim(line.substr(0, eq));
        if (key.empty()) continue;
        seen = true;
        if (key == versionKey) continue;
        if (!readEntry(ctx, key, trim(line.substr(eq + 1)), lineNumber, strict, out, err))
            return false;
    }
    if (!seen) {
        err = "preset is empty";
        return false;
    }
    return true;
}

namespace {

std::string nameFromPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

} // namespace

bool parsePresetFile(const PresetContext& ctx, const std::string& path, PresetData& out,
                     std::string& err) {
    std::string bytes;
    if (!readPresetBytes(path, bytes, err)) return false;
    std::string message;
    if (!parsePreset(ctx, bytes.data(), bytes.size(), out, message)) {
        err = path + ": " + message;
        return false;
    }
    if (out.name.empty()) out.name = nameFromPath(path);
    return true;
}

} // namespace plugincore

// ---- chain and curve lines ----
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

// ---- Norvale's presets ----

const plugincore::PresetContext& presetContext() {
    static const plugincore::PresetContext context{"Norvale", "norvale", paramTable(), kParamCount};
    return context;
}

bool parsePreset(const char* data, size_t size, plugincore::PresetData& out, std::string& err) {
    return plugincore::parsePreset(presetContext(), data, size, out, err);
}

bool parsePresetFile(const std::string& path, plugincore::PresetData& out, std::string& err) {
    return plugincore::parsePresetFile(presetContext(), path, out, err);
}

std::string formatPreset(const plugincore::PresetData& data) {
    return plugincore::formatPreset(presetContext(), data);
}

std::string formatPreset(const plugincore::PresetData& data, const CurveSet& curves) {
    return plugincore::formatPreset(presetContext(), data) + formatCurveLines(curves);
}

bool parsePreset(const char* data, size_t size, plugincore::PresetData& out, CurveSet& curves,
                 std::string& err, bool strict) {
    if (!plugincore::parsePreset(presetContext(), data, size, out, err, strict)) return false;
    resetCurves(curves);
    return scanCurveLines(data, size, curves, err);
}

bool parsePresetFileWithCurves(const std::string& path, plugincore::PresetData& out,
                               CurveSet& curves, std::string& err) {
    std::string bytes;
    if (!plugincore::readPresetBytes(path, bytes, err)) return false;
    std::string message;
    if (!parsePreset(bytes.data(), bytes.size(), out, curves, message)) {
        err = path + ": " + message;
        return false;
    }
    return true;
}

const plugincore::BuiltinPreset* findBuiltinPreset(std::string_view key) {
    for (const plugincore::BuiltinPreset& builtin : kBuiltinPresets)
        if (key == builtin.key) return &builtin;
    return nullptr;
}

std::string userPresetDir() {
    return plugincore::userPresetDir(presetContext());
}

} // namespace norvale

// ---- saving a sound ----
namespace norvale {

namespace {

std::string_view trimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

bool splitPresetSaveName(const std::string& typed, PresetSaveName& out, std::string& err) {
    const std::string_view text = typed;
    const size_t split = text.find_last_of("/\\");
    std::string name(trimSpaces(split == std::string_view::npos ? text : text.substr(split + 1)));
    if (name.empty()) {
        err = "Give the preset a name after the folder.";
        return false;
    }
    out.folder =
        trimSpaces(split == std::string_view::npos ? std::string_view{} : text.substr(0, split));
    out.name = std::move(name);
    return true;
}

bool presetSavePath(const PresetSaveName& name, std::string& path, std::string& err) {
    const std::string first = plugincore::userPresetPathIn(presetContext(), name.folder, name.name);
    if (first.empty()) {
        err = "No user preset directory: neither XDG_CONFIG_HOME nor HOME is set.";
        return false;
    }
    // Names that share a stem ("Deep Duck" and "Deep Duck!") get files of
    // their own: a file is replaced only when it holds this very preset.
    const std::string extension = std::string(".") + presetContext().extension;
    const std::string stem = first.substr(0, first.size() - extension.size());
    for (int n = 1; n < 1000; ++n) {
        std::string candidate = n == 1 ? first : stem + "_" + std::to_string(n) + extension;
        struct stat st;
        if (lstat(candidate.c_str(), &st) != 0) { // free, or the write will say why not
            path = std::move(candidate);
            return true;
        }
        plugincore::PresetData held;
        std::string ignored;
        if (parsePresetFile(candidate, held, ignored) && held.name == name.name) {
            path = std::move(candidate);
            return true;
        }
    }
    err = "no free file name for " + first;
    return false;
}

std::string savedPresetText(const plugincore::PresetData& metadata,
                            std::span<const double, kParamCount> values, const CurveSet& curves) {
    plugincore::PresetData data = metadata;
    data.values.clear();
    data.values.reserve(kParamCount);
    for (const plugincore::ParamDesc& desc : kParams)
        if (partOfSound(desc.id)) data.values.push_back({desc.id, values[desc.id]});
    return formatPreset(data, curves);
}

} // namespace norvale
