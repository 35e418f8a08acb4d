#include "presets/norvale_presets.h"

#include "plugin/params.h"
#include "presets/builtin_presets.h"
#include "presets/curve_lines.h"
#include "presets/preset_file.h"
#include "presets/preset_format.h"
#include "presets/preset_paths.h"

namespace norvale {

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
