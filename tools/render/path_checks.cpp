#include "render/path_checks.h"

#include <filesystem>
#include <fmt/format.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "render/errors.h"

namespace norvale::render {
namespace {

namespace fs = std::filesystem;

using NamedPath = std::pair<const char*, std::string>;

// Same device and inode when both exist (links, other spellings), else the
// same normalised absolute path.
bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa{}, sb{};
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    std::error_code error;
    const fs::path pa = fs::weakly_canonical(fs::absolute(a), error);
    const fs::path pb = fs::weakly_canonical(fs::absolute(b), error);
    return !error && pa == pb;
}

void addIfGiven(std::vector<NamedPath>& list, const char* label, const std::string& path) {
    if (!path.empty()) list.emplace_back(label, path);
}

}  // namespace

void checkWrittenPaths(const RenderOptions& options) {
    std::vector<NamedPath> written, read;
    addIfGiven(written, "OUTPUT", options.output);
    addIfGiven(written, "--state-out", options.stateOut);
    addIfGiven(written, "--plot", options.plot);
    addIfGiven(read, "INPUT", options.input);
    addIfGiven(read, "--sidechain", options.sidechain);
    addIfGiven(read, "--state-in", options.stateIn);

    for (std::size_t i = 0; i < written.size(); ++i) {
        const auto& [label, path] = written[i];
        std::error_code error;
        if (fs::is_directory(path, error)) throw RenderError(fmt::format("{} '{}' is a folder", label, path));
        for (const auto& [readLabel, readPath] : read)
            if (sameFile(path, readPath))
                throw UsageError(fmt::format("{} '{}' is the {} file; refusing to overwrite it", label, path,
                                             readLabel));
        for (std::size_t j = i + 1; j < written.size(); ++j)
            if (sameFile(path, written[j].second))
                throw UsageError(fmt::format("{} and {} name the same file '{}'", label, written[j].first, path));
    }
}

}  // namespace norvale::render
