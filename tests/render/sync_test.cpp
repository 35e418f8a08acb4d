// A volume duck drawn on the curve follows the tempo given on the command
// line: it dips at the start of every cycle of the chosen rate.
#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <string>

#include "render_harness.h"

namespace norvale::render::test {
namespace {

constexpr int kRate = 48000;
constexpr double kTempo = 100.0;  // not the default, so a wrong tempo shows
constexpr double kSamplesPerBeat = kRate * 60.0 / kTempo;
// Low at the cycle start (0.1, squared 0.01), back to full level half-way.
constexpr const char* kDuck = "0.0000 0.1000 0 0.000, 0.5000 1.0000 0 0.000, 1.0000 1.0000 0 0.000";

struct DuckCase {
    const char* rateText;
    double cycleBeats;
    const char* block;
};

void PrintTo(const DuckCase& c, std::ostream* out) { *out << c.rateText << " at block " << c.block; }

class SyncDuck : public RenderTest, public ::testing::WithParamInterface<DuckCase> {};

Sound steadySine(double seconds) {
    Sound sound;
    sound.sampleRate = kRate;
    sound.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    sound.channels.assign(2, std::vector<float>(static_cast<std::size_t>(seconds * kRate)));
    for (std::size_t i = 0; i < sound.frames(); ++i)
        sound.channels[0][i] = sound.channels[1][i] =
            static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 330.0 * i / kRate));
    return sound;
}

TEST_P(SyncDuck, DipsAtEveryCycleStartAtTheGivenTempo) {
    const DuckCase c = GetParam();
    writeSound(file("in.wav"), steadySine(4.0));
    writeBytes(file("duck.state"), stateWithVolumeCurve(kDuck));

    const ToolRun result = run({"--state-in", file("duck.state"), "--set", "vol_on=On", "--set",
                                std::string("vol_rate=") + c.rateText, "--tempo", "100", "--block", c.block,
                                file("in.wav"), file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Sound output = readSound(file("out.wav"));
    ASSERT_EQ(output.frames(), static_cast<std::size_t>(4 * kRate));

    const double cycle = c.cycleBeats * kSamplesPerBeat;
    const auto at = [](double sample) { return static_cast<std::size_t>(sample); };
    const double ms = kRate / 1000.0;
    for (int k = 1; (k + 1) * cycle < output.frames(); ++k) {
        const double start = k * cycle;
        const double duck = windowRms(output, at(start + 15 * ms), at(start + 35 * ms));
        const double full = windowRms(output, at(start + 0.55 * cycle), at(start + 0.95 * cycle));
        EXPECT_NEAR(full, 0.5 / std::sqrt(2.0), 0.02) << "cycle " << k;
        EXPECT_LT(duck, 0.25 * full) << "cycle " << k << " does not dip at sample " << start;
    }
    if (c.cycleBeats == 1.0) {  // a quarter-note duck leaves the off-beats alone
        for (int beat = 1; beat + 1 < 4 * kRate / kSamplesPerBeat; ++beat) {
            const double offBeat = (beat + 0.5) * kSamplesPerBeat;
            EXPECT_GT(windowRms(output, at(offBeat + 15 * ms), at(offBeat + 35 * ms)), 0.33) << "beat " << beat;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, SyncDuck,
                         ::testing::Values(DuckCase{"1/4", 1.0, "512"}, DuckCase{"1/8", 0.5, "100"}),
                         [](const auto& info) { return std::string(info.param.cycleBeats == 1.0 ? "Quarter" : "Eighth"); });

}  // namespace
}  // namespace norvale::render::test
