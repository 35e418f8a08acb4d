#include "render/param_keys.h"

#include <algorithm>
#include <numeric>

namespace norvale::render {

std::optional<uint32_t> paramIdForKey(std::string_view key) {
    for (std::size_t id = 0; id < kParamKeys.size(); ++id)
        if (kParamKeys[id] == key) return static_cast<uint32_t>(id);
    return std::nullopt;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> previous(b.size() + 1), current(b.size() + 1);
    std::iota(previous.begin(), previous.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

std::vector<std::string_view> nearestKeys(std::string_view key, std::size_t limit) {
    std::vector<std::size_t> ids(kParamKeys.size());
    std::iota(ids.begin(), ids.end(), std::size_t{0});
    std::vector<std::size_t> distance(kParamKeys.size());
    for (std::size_t id : ids) distance[id] = editDistance(key, kParamKeys[id]);
    std::stable_sort(ids.begin(), ids.end(),
                     [&](std::size_t a, std::size_t b) { return distance[a] < distance[b]; });
    std::vector<std::string_view> nearest;
    for (std::size_t i = 0; i < ids.size() && i < limit; ++i) nearest.push_back(kParamKeys[ids[i]]);
    return nearest;
}

}  // namespace norvale::render
