// The built-in presets sound as their descriptions say, measured on one tone
// per band: which band moves, how, and on which note length.
#include <algorithm>
#include <cmath>

#include "preset_fixture.h"

namespace norvale::render::test {
namespace {

constexpr int kRate = 48000;

using BuiltinSound = PresetRender;

struct ToneLevels {
    double low, mid, high;
};

// Relative to the input's level, on the left channel.
ToneLevels levelsAt(const Sound& sound, std::size_t start, std::size_t length) {
    return {toneLevel(sound, 0, kLowTone, start, length) / kToneLevel,
            toneLevel(sound, 0, kMidTone, start, length) / kToneLevel,
            toneLevel(sound, 0, kHighTone, start, length) / kToneLevel};
}

// -1 all left, +1 all right.
double balance(const Sound& sound, double tone, std::size_t start, std::size_t length) {
    const double left = toneLevel(sound, 0, tone, start, length);
    const double right = toneLevel(sound, 1, tone, start, length);
    return (right - left) / (right + left);
}

std::size_t framesPerBeat(double tempo) { return static_cast<std::size_t>(std::lround(kRate * 60.0 / tempo)); }

TEST_F(BuiltinSound, KickDuckDipsOnlyTheLowBandOnEveryQuarterNote) {
    const std::string tones = writeTones(4.0);
    const std::size_t beat = framesPerBeat(130);
    ToolRun result = runWithPresets({"--preset", "Kick Duck", "--tempo", "130", tones, file("duck.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Sound duck = readSound(file("duck.wav"));
    for (std::size_t onset = 0; onset + beat <= duck.frames(); onset += beat) {
        const ToneLevels dip = levelsAt(duck, onset, 1200);
        EXPECT_LT(dip.low, 0.3) << "beat at frame " << onset;
        EXPECT_GT(dip.mid, 0.95) << "beat at frame " << onset;
        EXPECT_GT(dip.high, 0.95) << "beat at frame " << onset;
        for (std::size_t quarter = 1; quarter < 4; ++quarter)
            EXPECT_GT(levelsAt(duck, onset + quarter * beat / 4, 2400).low, 0.95) << "frame " << onset;
    }

    // --set applies on top of the preset.
    result = runWithPresets({"--preset", "kick_duck", "--set", "vol_on=Off", "--tempo", "130", tones, file("off.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_GT(levelsAt(readSound(file("off.wav")), 2 * beat, 1200).low, 0.95);
}

TEST_F(BuiltinSound, GatedStabsChopsEverySixteenthAlike) {
    const std::string tones = writeTones(2.0);
    const double inputRms = windowRms(readSound(tones), 0, kRate);
    const ToolRun result = runWithPresets({"--preset", "gated_stabs", tones, file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Sound output = readSound(file("out.wav"));

    constexpr std::size_t kSlices = 10;
    const std::size_t sixteenth = framesPerBeat(120) / 4, slice = sixteenth / kSlices;
    const auto envelope = [&](std::size_t start) {
        std::vector<double> levels;
        for (std::size_t i = 0; i < kSlices; ++i)
            levels.push_back(windowRms(output, start + i * slice, start + (i + 1) * slice) / inputRms);
        return levels;
    };
    const std::vector<double> first = envelope(0);
    EXPECT_GT(*std::max_element(first.begin(), first.end()), 0.3);
    EXPECT_LT(*std::min_element(first.begin(), first.end()), 0.02);
    for (std::size_t start = sixteenth; start + sixteenth <= output.frames(); start += sixteenth) {
        const std::vector<double> next = envelope(start);
        for (std::size_t i = 0; i < kSlices; ++i)
            EXPECT_NEAR(next[i], first[i], 0.03) << "slice " << i << " of the sixteenth at frame " << start;
    }
}

TEST_F(BuiltinSound, PanStepsMovesOnlyTheLowBand) {
    const std::string tones = writeTones(2.0);
    const ToolRun result = runWithPresets({"--preset", "Pan Steps", tones, file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Sound output = readSound(file("out.wav"));

    // The middle of each sixteenth of the first bar.
    const std::size_t step = framesPerBeat(120) / 4, window = step * 3 / 10;
    double lowest = 0.0, highest = 0.0;
    for (std::size_t s = 0; s < 16; ++s) {
        const std::size_t at = s * step + step * 3 / 10;
        const double low = balance(output, kLowTone, at, window);
        lowest = std::min(lowest, low), highest = std::max(highest, low);
        for (double tone : {kMidTone, kHighTone}) {
            EXPECT_NEAR(balance(output, tone, at, window), 0.0, 0.02) << tone << " Hz, step " << s;
            EXPECT_GT(toneLevel(output, 0, tone, at, window), 0.95 * kToneLevel) << tone << " Hz, step " << s;
        }
    }
    EXPECT_LT(lowest, -0.3);
    EXPECT_GT(highest, 0.3);
}

TEST_F(BuiltinSound, SidechainDuckDipsEverythingOnEachHitAndNothingWithoutHits) {
    const std::string tones = writeTones(4.0);
    const std::vector<double> hitSeconds = {0.3, 1.1, 1.75, 2.9};  // off the beat grid on purpose
    Sound kick;
    kick.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    kick.channels.assign(1, std::vector<float>(4 * kRate, 0.0f));
    for (double seconds : hitSeconds)
        std::fill_n(kick.channels[0].begin() + static_cast<long>(seconds * kRate), 100, 0.9f);
    writeSound(file("kick.wav"), kick);

    ToolRun result =
        runWithPresets({"--preset", "sidechain_duck", "--sidechain", file("kick.wav"), tones, file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Sound ducked = readSound(file("out.wav"));
    for (double seconds : hitSeconds) {
        const auto hit = static_cast<std::size_t>(seconds * kRate);
        const ToneLevels before = levelsAt(ducked, hit - 2400, 1200), at = levelsAt(ducked, hit, 1200),
                         after = levelsAt(ducked, hit + kRate / 4, 1200);
        EXPECT_GT(std::min({before.low, before.mid, before.high}), 0.95) << "before the hit at " << seconds << " s";
        EXPECT_LT(std::max({at.low, at.mid, at.high}), 0.3) << "at the hit at " << seconds << " s";
        EXPECT_GT(std::min({after.low, after.mid, after.high}), 0.95) << "after the hit at " << seconds << " s";
    }

    result = runWithPresets({"--preset", "sidechain_duck", tones, file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Sound untouched = readSound(file("out.wav"));
    for (std::size_t start = 0; start + 1200 <= untouched.frames(); start += 1200) {
        const ToneLevels levels = levelsAt(untouched, start, 1200);
        EXPECT_GT(std::min({levels.low, levels.mid, levels.high}), 0.97) << "frame " << start;
    }
}

}  // namespace
}  // namespace norvale::render::test
