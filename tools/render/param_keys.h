// The plug-in's stable parameter keys. Its parameter info carries ids and
// display names only, so the tool takes the keys from the parameter table it
// is built with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "plugin/params.h"

namespace norvale::render {

// Indexed by parameter id.
inline constexpr std::array<std::string_view, kParamCount> kParamKeys = [] {
    std::array<std::string_view, kParamCount> keys{};
    for (std::size_t id = 0; id < kParamCount; ++id) keys[id] = kParams[id].key;
    return keys;
}();

std::optional<uint32_t> paramIdForKey(std::string_view key);

// Levenshtein distance: insertions, deletions and substitutions cost one.
std::size_t editDistance(std::string_view a, std::string_view b);

// The keys closest to a mistyped one, nearest first, ties in id order.
std::vector<std::string_view> nearestKeys(std::string_view key, std::size_t limit = 3);

}  // namespace norvale::render
