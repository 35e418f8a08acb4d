// --editor-png: the plug-in's editor for one sound, painted off-screen into
// a PNG without an X server, by the editor's own painting code.
#pragma once

#include <string>

#include "render/options.h"

namespace norvale::render {

// Builds the plug-in in this process, applies --preset and --set, paints the
// editor at options.editorScale and writes options.editorPng. Returns the
// line to print. Throws UsageError or RenderError.
std::string writeEditorPng(const RenderOptions& options);

} // namespace norvale::render
