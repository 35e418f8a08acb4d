// One run of the tool: read, render through the plug-in, write.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "render/levels.h"
#include "render/options.h"
#include "render/saved_preset.h"

namespace norvale::render {

struct RenderSummary {
    double seconds = 0.0;
    Levels input;
    Levels output;
    double realTimeFactor = 0.0;  // audio seconds per wall second of processing; 0 if nothing ran
    std::optional<SavedPreset> savedPreset;
};

// Writes the output (and the state, plot and preset if asked) only when
// everything succeeded. Throws UsageError or RenderError.
RenderSummary render(const RenderOptions& options);

std::string summaryLine(const RenderSummary& summary);

// The plug-in's parameters with their keys, defaults and ranges.
void listParams(const RenderOptions& options, std::FILE* out);

}  // namespace norvale::render
