#include "presets/preset_discovery_norvale.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "plugin/descriptor.h"
#include "presets/builtin_presets.h"
#include "presets/norvale_presets.h"
#include "presets/preset_discovery.h"

namespace norvale {

namespace {

constexpr std::string_view kProviderSuffix = ".preset-provider";

// The plug-in id followed by the suffix, zero-terminated.
constexpr auto kProviderId = [] {
    constexpr std::string_view pluginId = kPluginId;
    std::array<char, pluginId.size() + kProviderSuffix.size() + 1> id{};
    std::copy(kProviderSuffix.begin(), kProviderSuffix.end(),
              std::copy(pluginId.begin(), pluginId.end(), id.begin()));
    return id;
}();

// An effect's presets, whatever their own tags say.
constexpr const char* kPresetFeatures[] = {"audio-effect", nullptr};

} // namespace

const clap_preset_discovery_factory* presetDiscoveryFactory() {
    return plugincore::presetDiscoveryFactory({
        .context = presetContext(),
        .providerId = kProviderId.data(),
        .pluginId = kPluginId,
        .vendor = "Kestrelhow",
        .fileTypeDescription = "Norvale curve preset",
        .builtins = kBuiltinPresets.data(),
        .builtinCount = kBuiltinPresetCount,
        .productFeatures = kPresetFeatures,
    });
}

} // namespace norvale
