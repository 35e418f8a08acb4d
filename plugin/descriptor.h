// The plug-in's single descriptor and its identifier.
#pragma once

#include <clap/plugin.h>

namespace norvale {

// factoryCreate compares against these exact bytes.
inline constexpr char kPluginId[] = "org.kestrelhow.norvale";

extern const char* const kFeatures[];
extern const clap_plugin_descriptor kDescriptor;

} // namespace norvale
