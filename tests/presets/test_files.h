// Scratch folders, files, case files and environment variables for the tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace presets_test {

// A fresh folder under the system's temporary folder, removed with its contents.
struct TempDir {
    std::string path_ = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "norvale-XXXXXX").string();
        return mkdtemp(pattern.data()) ? pattern : std::string();
    }();
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
};

// Sets (or, with nullopt, removes) a variable and restores it afterwards.
struct ScopedEnv {
    ScopedEnv(const char* name, std::optional<std::string> value) : name(name) {
        if (const char* old = std::getenv(name)) previous = old;
        set(value);
    }
    ~ScopedEnv() { set(previous); }
    void set(const std::optional<std::string>& value) {
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    const char* name;
    std::optional<std::string> previous;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A case file of tests/golden: its lines (comments apart) split at " | ".
inline std::vector<std::vector<std::string>> caseFile(const char* name) {
    std::ifstream in(std::filesystem::path(NORVALE_TESTS_DIR) / "golden" / name);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('#')) continue;
        rows.emplace_back();
        for (size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 3)
            rows.back().push_back(line.substr(at, (bar = line.find(" | ", at)) - at));
    }
    return rows;
}

} // namespace presets_test
