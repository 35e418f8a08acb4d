#include "render/plugin_locator.h"

#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <system_error>
#include <vector>

#include "render/errors.h"

namespace norvale::render {
namespace {

namespace fs = std::filesystem;

std::string requireFile(const std::string& path, const char* origin) {
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        throw RenderError(fmt::format("plug-in {} '{}' is not a file", origin, path));
    return path;
}

std::vector<std::string> defaultPlaces() {
    std::vector<std::string> places;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) places.push_back((self.parent_path().parent_path() / "bundles" / "Norvale.clap").string());
    if (const char* home = std::getenv("HOME"); home && *home)
        places.push_back((fs::path(home) / ".clap" / "Norvale.clap").string());
    places.push_back("/usr/lib/clap/Norvale.clap");
    return places;
}

}  // namespace

std::string locatePlugin(const std::string& explicitPath) {
    if (!explicitPath.empty()) return requireFile(explicitPath, "given by --plugin");
    if (const char* fromEnvironment = std::getenv("NORVALE_CLAP"); fromEnvironment && *fromEnvironment)
        return requireFile(fromEnvironment, "given by $NORVALE_CLAP");
    const std::vector<std::string> places = defaultPlaces();
    for (const std::string& place : places) {
        std::error_code error;
        if (fs::is_regular_file(place, error)) return place;
    }
    throw RenderError(fmt::format("cannot find the plug-in (looked at {}); give it with --plugin PATH",
                                  fmt::join(places, ", ")));
}

}  // namespace norvale::render
