// Runs the built norvale-render in a fresh folder per test, with a user
// preset folder of its own, and reads back what it wrote.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "presets/test_files.h"

namespace norvale::render::test {

using presets_test::readFile;

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

struct Sound {
    int sampleRate = 48000; // written as 32-bit float WAV
    std::vector<std::vector<float>> channels;
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(root / "work"); }
    std::string file(const std::string& name) const; // in the work folder
    std::string userPresets() const;
    std::vector<std::string> tree() const; // everything under the test's folder
    // Runs the tool with --plugin set to the built plug-in; an empty value
    // unsets a variable.
    ToolRun run(const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& environment = {}) const;
    presets_test::TempDir dir;
    std::filesystem::path root = dir.path();
};

void writeSound(const std::string& path, const Sound& sound);
Sound readSound(const std::string& path);                         // fails the test when unreadable
void writeText(const std::string& path, const std::string& text); // folders made as needed
// Amplitude of a sine of the given frequency in [start, start + length) of
// one channel, measured through a Hann window.
double toneLevel(const Sound& sound, size_t channel, double frequency, size_t start, size_t length);

} // namespace norvale::render::test
