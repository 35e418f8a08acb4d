// The plug-in's single descriptor and its identifier.
#pragma once

#include <clap/plugin.h>

#include "plugin/product.h"

namespace norvale {

extern const char* const kFeatures[];
extern const clap_plugin_descriptor kDescriptor;

} // namespace norvale
