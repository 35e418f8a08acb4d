// Triggered modules start where the host says: a note at its beat, to the
// sample, and a hit in the sidechain file at its sample.
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <optional>

#include "render_harness.h"

namespace norvale::render::test {
namespace {

constexpr int kRate = 48000;
constexpr double kLevel = 0.5;
// Silent from the trigger until 90 % of the cycle, then back up; at rest
// (never triggered, or run out) it sits on its full-level end point.
constexpr const char* kGate = "0.0000 0.0000 0 0.000, 0.9000 0.0000 0 0.000, 1.0000 1.0000 0 0.000";
constexpr std::size_t kSubBlock = 16;

using TriggerRender = RenderTest;

// Constant level on both channels: after the crossovers settle the output
// sample is the level times the volume gain.
Sound steadyLevel(double seconds) {
    Sound sound;
    sound.sampleRate = kRate;
    sound.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    sound.channels.assign(2, std::vector<float>(static_cast<std::size_t>(seconds * kRate), float(kLevel)));
    return sound;
}

// First frame from `from` on where the output falls below 90 % of the level.
std::optional<std::size_t> firstDip(const Sound& output, std::size_t from) {
    for (std::size_t i = from; i < output.frames(); ++i)
        if (output.channels[0][i] < 0.9 * kLevel) return i;
    return std::nullopt;
}

void expectSteady(const Sound& output, std::size_t at) {
    EXPECT_NEAR(output.channels[0][at], kLevel, 1e-3) << "frame " << at;
    EXPECT_NEAR(output.channels[1][at], kLevel, 1e-3) << "frame " << at;
}

std::vector<std::string> gateArgs(const std::string& state, const char* trigger) {
    return {"--state-in", state, "--set", "vol_on=On", "--set", std::string("vol_trigger=") + trigger,
            "--set", "vol_smooth=0"};
}

TEST_F(TriggerRender, NotesStartAOneShotAtTheirSample) {
    writeSound(file("in.wav"), steadyLevel(2.0));
    writeBytes(file("gate.state"), stateWithVolumeCurve(kGate));
    // At 120 BPM, beats 1.2345 and 3 fall on frames 29628 and 72000: the
    // first inside a 512-frame block, the second on a block boundary.
    auto args = gateArgs(file("gate.state"), "MIDI");
    args.insert(args.end(), {"--notes", "3,1.2345", "--block", "512", file("in.wav"), file("out.wav")});
    const ToolRun result = run(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Sound output = readSound(file("out.wav"));

    expectSteady(output, 20000);
    const auto first = firstDip(output, 20000);
    ASSERT_TRUE(first.has_value());
    EXPECT_LE(std::labs(long(*first) - 29628), long(kSubBlock)) << "first note heard at " << *first;
    expectSteady(output, 68000);  // ran once through its cycle and rests at the end
    const auto second = firstDip(output, 68000);
    ASSERT_TRUE(second.has_value());
    EXPECT_LE(std::labs(long(*second) - 72000), long(kSubBlock)) << "second note heard at " << *second;
}

TEST_F(TriggerRender, NoteKeyIsTheOneGivenWithNote) {
    writeSound(file("in.wav"), steadyLevel(1.0));
    writeBytes(file("gate.state"), stateWithVolumeCurve(kGate));
    for (const char* key : {"60", "61"}) {
        auto args = gateArgs(file("gate.state"), "MIDI");
        args.insert(args.end(), {"--set", "trig_note=C", "--notes", "1", "--note", key, file("in.wav"), file("out.wav")});
        const ToolRun result = run(args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const bool dipped = firstDip(readSound(file("out.wav")), 20000).has_value();
        EXPECT_EQ(dipped, std::string(key) == "60") << "note " << key;
    }
}

TEST_F(TriggerRender, MonoSidechainHitStartsAnAudioTrigger) {
    writeSound(file("in.wav"), steadyLevel(1.0));
    writeBytes(file("gate.state"), stateWithVolumeCurve(kGate));
    Sound kick;  // mono and shorter than the input: padded with silence
    kick.sampleRate = kRate;
    kick.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    kick.channels.assign(1, std::vector<float>(kRate / 2, 0.0f));
    for (std::size_t i = 20000; i < 20100; ++i) kick.channels[0][i] = 0.9f;
    writeSound(file("kick.wav"), kick);

    auto args = gateArgs(file("gate.state"), "Audio");
    args.insert(args.end(), {"--sidechain", file("kick.wav"), file("in.wav"), file("out.wav")});
    ToolRun result = run(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    Sound output = readSound(file("out.wav"));
    expectSteady(output, 15000);
    const auto dip = firstDip(output, 15000);
    ASSERT_TRUE(dip.has_value());
    EXPECT_LE(std::labs(long(*dip) - 20000), long(kSubBlock)) << "hit heard at " << *dip;

    // Without the sidechain file the port carries no channels and nothing triggers.
    args = gateArgs(file("gate.state"), "Audio");
    args.insert(args.end(), {file("in.wav"), file("out.wav")});
    result = run(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    output = readSound(file("out.wav"));
    EXPECT_FALSE(firstDip(output, 15000).has_value());
}

}  // namespace
}  // namespace norvale::render::test
