// Where the tool looks for the plug-in file.
#pragma once

#include <string>

namespace norvale::render {

// The explicit path if given, else $NORVALE_CLAP, else the first existing
// default place. Throws RenderError when there is nothing to load.
std::string locatePlugin(const std::string& explicitPath);

}  // namespace norvale::render
