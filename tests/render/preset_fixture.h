// Runs with a user preset folder of the test's own, a test signal with one
// tone in each band, and the tool's preset list read back.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "render_harness.h"

namespace norvale::render::test {

struct ListedPreset {
    std::string folder;
    std::string name;
    std::string keyOrFile;
};

// One tone in each band at every split the built-ins use.
inline constexpr double kLowTone = 60.0, kMidTone = 1000.0, kHighTone = 8000.0;
inline constexpr double kToneLevel = 0.2;

class PresetRender : public RenderTest {
protected:
    std::string configHome() const { return besideWork("config"); }
    std::string userPresets() const { return configHome() + "/Norvale/presets"; }

    ToolRun runWithPresets(const std::vector<std::string>& args) const {
        return run(args, {{"XDG_CONFIG_HOME", configHome()}});
    }

    std::vector<ListedPreset> listPresets() const {
        const ToolRun result = runWithPresets({"--list-presets"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::istringstream lines(result.out);
        std::string header, line;
        std::getline(lines, header);
        const std::size_t nameAt = header.find("name"), keyAt = header.find("key or file");
        EXPECT_EQ(header.find("folder"), 0u) << header;
        std::vector<ListedPreset> listed;
        while (std::getline(lines, line)) {
            const auto field = [&](std::size_t from, std::size_t to) {
                std::string text = line.substr(from, to - from);
                return text.erase(text.find_last_not_of(' ') + 1);
            };
            listed.push_back({field(0, nameAt), field(nameAt, keyAt), line.substr(keyAt)});
        }
        return listed;
    }

    // Writes the three tones, the same on both channels, to the work folder.
    std::string writeTones(double seconds) const {
        Sound sound;
        sound.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        sound.channels.assign(2, std::vector<float>(static_cast<std::size_t>(seconds * sound.sampleRate)));
        for (std::size_t i = 0; i < sound.frames(); ++i) {
            const double t = double(i) / sound.sampleRate;
            double sum = 0.0;
            for (double tone : {kLowTone, kMidTone, kHighTone}) sum += kToneLevel * std::sin(2.0 * M_PI * tone * t);
            sound.channels[0][i] = sound.channels[1][i] = static_cast<float>(sum);
        }
        const std::string path = file("tones.wav");
        writeSound(path, sound);
        return path;
    }
};

}  // namespace norvale::render::test
