// norvale-render: renders audio files through the Norvale plug-in.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "render/editor_png.h"
#include "render/options.h"
#include "render/preset_commands.h"
#include "render/renderer.h"

int main(int argc, char** argv) {
    using namespace norvale::render;
    try {
        const RenderOptions options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        }
        if (!options.editorPng.empty()) {
            std::printf("%s\n", writeEditorPng(options).c_str());
            return 0;
        }
        if (options.listParams) {
            listParams(options, stdout);
            return 0;
        }
        if (options.listPresets) {
            listPresets(options, stdout);
            return 0;
        }
        if (options.output.empty()) {
            std::printf("%s\n", savedPresetLine(saveSoundAsPreset(options)).c_str());
            return 0;
        }
        const RenderSummary summary = render(options);
        std::printf("%s\n", summaryLine(summary).c_str());
        if (summary.savedPreset) std::printf("%s\n", savedPresetLine(*summary.savedPreset).c_str());
        return 0;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "norvale-render: %s\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "norvale-render: %s\n", error.what());
        return 1;
    }
}
