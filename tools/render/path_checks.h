// Guards against a run that would overwrite one of its own inputs.
#pragma once

#include "render/options.h"

namespace norvale::render {

// Throws UsageError when a file the run writes is one it reads, or is
// written twice, and RenderError when the output is a folder.
void checkWrittenPaths(const RenderOptions& options);

}  // namespace norvale::render
