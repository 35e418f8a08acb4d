#include "presets/preset_paths.h"

#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>

namespace plugincore {

namespace {

const char* absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] == '/') ? value : nullptr;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isStemChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '-';
}

}  // namespace

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
    const size_t slash = binaryPath.rfind('/');
    if (slash == std::string::npos || slash == 0) return "";
    const std::string dir = binaryPath.substr(0, slash);
    const std::string candidates[] = {
        dir + "/presets",
        dir + "/../Resources/presets",
        dir + "/../presets",
        dir + "/" + ctx.dirName + ".clap/presets",
    };
    for (const std::string& candidate : candidates)
        if (isDirectory(candidate)) return candidate;
    return "";
}

std::string presetFileStem(const std::string& name) {
    std::string stem;
    bool replaced = false;  // the last character written stands for other bytes
    for (const char c : name) {
        if (isStemChar(static_cast<unsigned char>(c))) {
            stem += c;
            replaced = false;
        } else if (!stem.empty() && !replaced) {
            stem += '_';
            replaced = true;
        }
    }
    while (!stem.empty() && stem.back() == '_') stem.pop_back();
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

}  // namespace plugincore
