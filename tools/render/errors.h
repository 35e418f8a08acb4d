// The two ways a render can fail; main turns them into exit codes 2 and 1.
#pragma once

#include <stdexcept>
#include <string>

namespace norvale::render {

// Something wrong with the command line itself.
struct UsageError : std::runtime_error {
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

// Files, the plug-in or the render failed.
struct RenderError : std::runtime_error {
    explicit RenderError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace norvale::render
