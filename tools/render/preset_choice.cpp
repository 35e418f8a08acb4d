#include "render/preset_choice.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <numeric>
#include <system_error>

#include "presets/preset_save.h"
#include "render/errors.h"
#include "render/param_keys.h"

namespace norvale::render {
namespace {

constexpr std::string_view kPresetExtension = ".norvale";

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool looksLikeFile(const std::string& wanted) {
    return wanted.find('/') != std::string::npos || wanted.ends_with(kPresetExtension);
}

PresetChoice choiceOf(const PresetEntry& entry) { return {entry.kind, entry.location, entry.loadKey}; }

template <typename Match>
const PresetEntry* firstMatch(const std::vector<PresetEntry>& presets, Match&& matches) {
    const auto found = std::find_if(presets.begin(), presets.end(), matches);
    return found == presets.end() ? nullptr : &*found;
}

// Split as a save splits what it is given, so a saved "Bass / My Duck" loads by the same text.
const PresetEntry* byFolderAndName(const std::string& wanted, const std::vector<PresetEntry>& presets) {
    if (wanted.find_first_of("/\\") == std::string::npos) return nullptr;
    PresetSaveName typed;
    std::string ignored;
    if (!splitPresetSaveName(wanted, typed, ignored)) return nullptr;
    const std::string folder = lowered(typed.folder), name = lowered(typed.name);
    return firstMatch(presets,
                      [&](const PresetEntry& p) { return lowered(p.folder) == folder && lowered(p.name) == name; });
}

std::vector<std::string> nearestNames(const std::string& wanted, const std::vector<PresetEntry>& presets) {
    const std::string key = lowered(wanted);
    std::vector<std::size_t> distance(presets.size());
    for (std::size_t i = 0; i < presets.size(); ++i) {
        distance[i] = editDistance(key, lowered(presets[i].name));
        if (!presets[i].loadKey.empty()) distance[i] = std::min(distance[i], editDistance(key, presets[i].loadKey));
    }
    std::vector<std::size_t> order(presets.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return distance[a] < distance[b]; });
    std::vector<std::string> names;
    for (std::size_t i : order) {
        if (names.size() == 3) break;
        if (std::find(names.begin(), names.end(), presets[i].name) == names.end()) names.push_back(presets[i].name);
    }
    return names;
}

}  // namespace

bool namesPresetFile(const std::string& wanted) {
    std::error_code error;
    return looksLikeFile(wanted) && std::filesystem::is_regular_file(wanted, error);
}

PresetChoice choosePreset(const std::string& wanted, const std::vector<PresetEntry>& presets) {
    const std::string folded = lowered(wanted);
    const PresetEntry* found =
        firstMatch(presets, [&](const PresetEntry& p) { return !p.loadKey.empty() && p.loadKey == wanted; });
    if (!found) found = firstMatch(presets, [&](const PresetEntry& p) { return p.name == wanted; });
    if (!found) found = firstMatch(presets, [&](const PresetEntry& p) { return lowered(p.name) == folded; });
    if (!found) found = byFolderAndName(wanted, presets);
    if (found) return choiceOf(*found);
    if (looksLikeFile(wanted)) return {CLAP_PRESET_DISCOVERY_LOCATION_FILE, wanted, ""};
    if (presets.empty()) throw UsageError(fmt::format("unknown preset '{}': the plug-in lists none", wanted));
    throw UsageError(fmt::format("unknown preset '{}' (nearest: {}; --list-presets shows all)", wanted,
                                 fmt::join(nearestNames(wanted, presets), ", ")));
}

}  // namespace norvale::render
