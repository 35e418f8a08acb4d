#include "presets/editor_prefs.h"

#include <filesystem>

#include "presets/preset_files.h"
#include "presets/preset_format.h"
#include "presets/preset_text.h"

namespace norvale {

namespace {

// Far more than a few preferences; a larger file is not ours.
constexpr size_t kMaxPrefsBytes = 64 * 1024;

bool isKeyChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

bool isKey(std::string_view key) {
    if (key.empty()) return false;
    for (const char c : key)
        if (!isKeyChar(c)) return false;
    return true;
}

} // namespace

std::string editorPrefsPath() {
    const std::string presets = userPresetDir();
    if (presets.empty()) return "";
    return (std::filesystem::path(presets).parent_path() / "editor.conf").string();
}

std::map<std::string, std::string> loadEditorPrefs() {
    std::map<std::string, std::string> prefs;
    const std::string path = editorPrefsPath();
    std::string bytes, ignored;
    if (path.empty() || !plugincore::readPresetBytes(path, bytes, ignored) ||
        bytes.size() > kMaxPrefsBytes)
        return prefs;
    std::string_view text = bytes;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = plugincore::trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
        const std::string_view key = plugincore::trim(line.substr(0, equals));
        if (isKey(key)) prefs[std::string(key)] = plugincore::trim(line.substr(equals + 1));
    }
    return prefs;
}

bool saveEditorPref(const std::string& key, const std::string& value, std::string& err) {
    if (!isKey(key)) {
        err = "not a preference name: '" + key + "'";
        return false;
    }
    if (value.find_first_of("\r\n") != std::string::npos) {
        err = "a preference value is one line";
        return false;
    }
    const std::string path = editorPrefsPath();
    if (path.empty()) {
        err = "No configuration folder: neither XDG_CONFIG_HOME nor HOME is an absolute path";
        return false;
    }
    std::map<std::string, std::string> prefs = loadEditorPrefs();
    prefs[key] = plugincore::trim(value);
    std::string text = "# Norvale editor preferences, rewritten by the editor.\n";
    for (const auto& [name, setting] : prefs)
        text += name + " = " + setting + "\n";
    return plugincore::writePresetFile(path, text, err);
}

} // namespace norvale
