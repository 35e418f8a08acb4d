// Norvale's preset-discovery factory, as the CLAP entry hands it to hosts.
#pragma once

#include <clap/factory/preset-discovery.h>

namespace norvale {

// The same factory on every call; null only if making it ran out of memory.
const clap_preset_discovery_factory* presetDiscoveryFactory();

} // namespace norvale
