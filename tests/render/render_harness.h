// Runs the built norvale-render on files written into a fresh folder per
// test, and reads back what it wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace norvale::render::test {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

struct Sound {
    int sampleRate = 48000;
    int format = 0;
    std::vector<std::vector<float>> channels;

    std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A path inside the test's work folder.
    std::string file(const std::string& name) const;
    // A path in the test's folder but outside the work folder.
    std::string besideWork(const std::string& name) const;
    // Names in the work folder, sorted: what a run left behind.
    std::vector<std::string> workFiles() const;

    // Runs the tool with --plugin set to the built plug-in, and with these
    // environment changes (an empty value unsets the variable).
    ToolRun run(const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& environment = {}) const;
    // Runs the tool with exactly these arguments and environment changes
    // (an empty value unsets the variable).
    ToolRun runRaw(const std::vector<std::string>& args,
                   const std::vector<std::pair<std::string, std::string>>& environment = {}) const;

private:
    std::filesystem::path root_;
};

void writeSound(const std::string& path, const Sound& sound);
Sound readSound(const std::string& path);  // fails the test when unreadable
std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// RMS over both channels of frames [start, end).
double windowRms(const Sound& sound, std::size_t start, std::size_t end);

// Amplitude of a sine of the given frequency in frames [start, start +
// length) of one channel, measured through a Hann window.
double toneLevel(const Sound& sound, std::size_t channel, double frequency, std::size_t start, std::size_t length);

// A plug-in state stream holding no parameter values (all take their
// defaults), the volume curve in all three bands, the other curves flat at
// their neutral value, and an empty chain.
std::vector<uint8_t> stateWithVolumeCurve(const std::string& volumeCurve);

}  // namespace norvale::render::test
