#include "presets/preset_paths.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace plugincore {

namespace {

const char* absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] == '/') ? value : nullptr;
}


// Every byte of a multi-byte UTF-8 character is kept, so names in any
// script keep their letters.
bool isStemChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c >= 0x80;
}

// A folder counts only when it holds a preset, directly or one folder down.
bool holdsPresetFile(const std::filesystem::path& folder, const char* extension) {
    namespace fs = std::filesystem;
    const std::string suffix = std::string(".") + extension;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it.depth() > 1) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string name = it->path().filename().string();
        std::error_code statError;
        if (name.size() > suffix.size() && name.ends_with(suffix) &&
            fs::is_regular_file(it->path(), statError))
            return true;
    }
    return false;
}

} // namespace

std::string userPresetDir(const PresetContext& ctx) {
    if (const char* config = absoluteEnv("XDG_CONFIG_HOME"))
        return std::string(config) + "/" + ctx.dirName + "/presets";
    if (const char* home = absoluteEnv("HOME"))
        return std::string(home) + "/.config/" + ctx.dirName + "/presets";
    return "";
}

std::string factoryPresetDir(const PresetContext& ctx) {
    // Any function of this file names the shared object the plug-in lives in.
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&factoryPresetDir), &info) == 0 ||
        info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        return "";
    return factoryPresetDirBeside(ctx, info.dli_fname);
}

std::string factoryPresetDirBeside(const PresetContext& ctx, const std::string& binaryPath) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(binaryPath).parent_path();
    if (dir.empty() || dir == dir.root_path()) return "";
    const std::string word = ctx.dirName;
    const auto ours = [&word](const fs::path& folder) {
        const std::string name = folder.filename().string();
        return name == word || name == word + ".clap" || name == word + ".vst3";
    };
    // Inside the plug-in's own bundle, or in a folder named for it; a folder
    // that merely sits near the plug-in file (~/presets beside ~/.clap) is
    // someone else's.
    std::vector<fs::path> candidates;
    if (ours(dir)) candidates.push_back(dir / "presets");
    const fs::path contents = dir.parent_path();
    if (contents.filename() == "Contents" && contents.parent_path().extension() == ".vst3")
        candidates.push_back(contents / "Resources" / "presets");
    candidates.push_back(dir / (word + ".clap") / "presets");
    candidates.push_back(dir / word / "presets");
    for (const fs::path& candidate : candidates)
        if (holdsPresetFile(candidate, ctx.extension)) return candidate.string();
    return "";
}

std::string presetFileStem(const std::string& name) {
    std::string stem;
    bool replaced = false; // the last character written stands for other bytes
    for (const char c : name) {
        if (isStemChar(static_cast<unsigned char>(c))) {
            stem += c;
            replaced = false;
        } else if (!stem.empty() && !replaced) {
            stem += '_';
            replaced = true;
        }
    }
    while (!stem.empty() && stem.back() == '_')
        stem.pop_back();
    return stem;
}

std::string userPresetPathIn(const PresetContext& ctx, const std::string& folder,
                             const std::string& name) {
    const std::string dir = userPresetDir(ctx);
    if (dir.empty()) return "";
    std::string stem = presetFileStem(name);
    if (stem.empty()) stem = "preset";
    const std::string sub = presetFileStem(folder);
    const std::string file = stem + "." + ctx.extension;
    return sub.empty() ? dir + "/" + file : dir + "/" + sub + "/" + file;
}

std::string userPresetPath(const PresetContext& ctx, const std::string& name) {
    return userPresetPathIn(ctx, "", name);
}

} // namespace plugincore
