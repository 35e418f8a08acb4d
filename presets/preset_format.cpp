#include "presets/preset_format.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "presets/preset_text.h"

namespace plugincore {

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

} // namespace plugincore
