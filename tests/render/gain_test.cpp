// With every stage off the render is the input times the two gains, sample
// for sample, in the input's format and length.
#include <sndfile.h>

#include <cmath>
#include <random>

#include "render_harness.h"

namespace norvale::render::test {
namespace {

using GainRender = RenderTest;

std::vector<float> noise(std::size_t frames, unsigned seed, float amplitude) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    std::vector<float> samples(frames);
    for (float& s : samples) s = uniform(random);
    return samples;
}

TEST_F(GainRender, MonoInputFeedsBothChannelsTimesInputAndOutputGain) {
    Sound input;
    input.sampleRate = 44100;
    input.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    input.channels = {noise(44100, 1, 0.5f)};
    writeSound(file("in.wav"), input);

    // An odd block size: the gains must hold across every block boundary.
    const ToolRun result = run({"--set", "input=-6 dB", "--set", "output=+3 dB", "--block", "37",
                                file("in.wav"), file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const Sound output = readSound(file("out.wav"));
    ASSERT_EQ(output.channels.size(), 2u);
    EXPECT_EQ(output.sampleRate, 44100);
    EXPECT_EQ(output.format, input.format);
    ASSERT_EQ(output.frames(), input.frames());
    const double gain = std::pow(10.0, -3.0 / 20.0);
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < input.frames(); ++i)
            ASSERT_NEAR(output.channels[c][i], input.channels[0][i] * gain, 1e-6) << "channel " << c << " frame " << i;
}

TEST_F(GainRender, StereoIntegerFileComesBackBitExactInItsOwnFormat) {
    Sound input;
    input.sampleRate = 22050;
    input.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    input.channels = {noise(10000, 2, 0.9f), noise(10000, 3, 0.2f)};
    writeSound(file("in.wav"), input);
    const Sound written = readSound(file("in.wav"));  // quantised as the tool will read it

    const ToolRun result = run({file("in.wav"), file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const Sound output = readSound(file("out.wav"));
    EXPECT_EQ(output.format, input.format);
    EXPECT_EQ(output.sampleRate, 22050);
    EXPECT_EQ(output.channels, written.channels);  // left stays left, nothing mixed
}

}  // namespace
}  // namespace norvale::render::test
