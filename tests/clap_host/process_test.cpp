// Processing through the ABI: refused records, what reaches the output, gains
// and modulation, note and sidechain triggers, and block sizes.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace claphost {
namespace {

constexpr uint32_t kFrames = 512;

// Material in all three bands, different per channel.
float music(uint32_t i, int ch) {
    const double t = double(i) / 48000.0;
    return float(0.3 * std::sin(6.2832 * 110.0 * t + ch) + 0.2 * std::sin(6.2832 * 900.0 * t) +
                 0.1 * std::sin(6.2832 * 5100.0 * t + 0.5 * ch));
}
float quiet(uint32_t i, int ch) {
    return 0.05f * music(i, ch);
} // under the threshold

// 0 for most of the cycle, 1 at its end: a one-shot at rest passes the sound
// and a fresh trigger mutes it.
const char* kDuckCurve = "0.0000 0.0000 0 0.000, 0.9000 0.0000 0 0.000, 1.0000 1.0000 0 0.000";

using Prepare = std::function<void(AudioBlock&)>;

class ClapProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(inst.activate()); }

    // One block of `signal` through `plugin`; `prepare` adds events or changes ports.
    std::unique_ptr<AudioBlock> run(const Instance& plugin, const Prepare& prepare = {},
                                    float (*signal)(uint32_t, int) = music,
                                    clap_process_status expected = CLAP_PROCESS_CONTINUE) {
        auto block = std::make_unique<AudioBlock>(kFrames);
        block->fillInput(signal);
        std::fill(block->outL.begin(), block->outL.end(), 7.0f); // what a host left there
        std::fill(block->outR.begin(), block->outR.end(), 7.0f);
        if (prepare) prepare(*block);
        EXPECT_EQ(block->run(plugin.plugin()), expected);
        return block;
    }
    // The volume stage as a one-shot started by `mode` (1 MIDI, 2 Audio), in a fresh instance.
    std::unique_ptr<AudioBlock> oneShot(int mode, const Prepare& prepare,
                                        float (*signal)(uint32_t, int) = music) {
        StateImage img = *StateImage::decode(*inst.save());
        for (auto [id, value] : {std::pair{pid::kVolOn, 1.0},
                                 {pid::kVolTrigger, double(mode)},
                                 {pid::kTrigNote, 1.0},
                                 {pid::kTrigOctave, 5.0},
                                 {pid::kVolSmooth, 0.0}})
            img.set(id, value);
        for (int band = 0; band < 3; ++band)
            img.curve(0, band) = kDuckCurve;
        Instance fresh(module, host);
        EXPECT_TRUE(fresh.load(img.encode()) && fresh.activate());
        return run(fresh, prepare, signal);
    }
    // Whether `block` starts ducking near `offset`, against an untriggered run.
    static bool triggeredAt(const AudioBlock& block, const AudioBlock& reference, long offset) {
        const long d = firstDifference(block, reference);
        return d >= offset - 16 && d <= offset + 16 &&
               rms(block.outL, offset + 160, kFrames) <
                   0.05 * rms(reference.outL, offset + 160, kFrames);
    }

    Module module;
    TestHost host;
    Instance inst{module, host};
};

TEST_F(ClapProcessTest, BadRecordsAreRefusedButTheirEventsApply) {
    const std::pair<const char*, Prepare> cases[] = {
        {"no output buffers", [](AudioBlock& b) { b.outputChannels = 0; }},
        {"mono output", [](AudioBlock& b) { b.outputChannels = 1; }},
    };
    for (const auto& [name, prepare] : cases) {
        run(
            inst,
            [&](AudioBlock& b) {
                b.events.paramValue(0, pid::kMix, 0.25);
                prepare(b);
            },
            music, CLAP_PROCESS_ERROR);
        EXPECT_EQ(inst.value(pid::kMix), 0.25) << name;
        inst.flushValue(pid::kMix, 1.0);
    }
    EXPECT_EQ(inst.plugin()->process(inst.plugin(), nullptr), CLAP_PROCESS_ERROR);
}

// With every stage off the output is the input times the gains; whatever the
// main input offers, every output sample is written.
TEST_F(ClapProcessTest, OutputIsAlwaysWrittenFromTheInput) {
    const float gain = float(std::pow(10.0, (6.0 - 12.0) / 20.0));
    inst.flushValue(pid::kInput, 6.0);
    inst.flushValue(pid::kOutput, -12.0);
    const struct {
        const char* name;
        Prepare prepare;
        int left, right; // input channel heard on each side, -1 for silence
    } cases[] = {
        {"stereo", {}, 0, 1},
        {"in place", [](AudioBlock& b) { b.inPlace = true; }, 0, 1},
        {"mono", [](AudioBlock& b) { b.inputChannels = 1; }, 0, 0},
        {"no channels", [](AudioBlock& b) { b.inputChannels = 0; }, -1, -1},
        {"no input port", [](AudioBlock& b) { b.mainInput = false; }, -1, -1},
    };
    for (const auto& c : cases) {
        auto block = run(inst, c.prepare);
        for (uint32_t i = 0; i < kFrames; i += 7) {
            const float expect[2] = {c.left < 0 ? 0.0f : music(i, c.left) * gain,
                                     c.right < 0 ? 0.0f : music(i, c.right) * gain};
            ASSERT_NEAR(block->outL[i], expect[0], 1e-5) << c.name << " " << i;
            ASSERT_NEAR(block->outR[i], expect[1], 1e-5) << c.name << " " << i;
        }
    }
}

// The host's modulation moves what the engine hears, not the value the host
// and the state see; it stays until changed and goes with reset.
TEST_F(ClapProcessTest, ModulationAddsToTheValueForTheEngineOnly) {
    const auto level = [](const AudioBlock& b) { return rms(b.outL, 0, kFrames); };
    const double plain = level(*run(inst));
    const auto modulated = [&](double amount, int32_t noteId = -1) {
        return level(
            *run(inst, [&](AudioBlock& b) { b.events.paramMod(0, pid::kOutput, amount, noteId); }));
    };
    EXPECT_NEAR(modulated(-6.0) / plain, std::pow(10.0, -6.0 / 20.0), 1e-4);
    EXPECT_NEAR(level(*run(inst)) / plain, std::pow(10.0, -6.0 / 20.0), 1e-4); // kept
    EXPECT_EQ(inst.value(pid::kOutput), 0.0);
    EXPECT_EQ(StateImage::decode(*inst.save())->get(pid::kOutput), 0.0);
    inst.flushValue(pid::kOutput, 12.0); // the value moves under it
    EXPECT_NEAR(level(*run(inst)) / plain, std::pow(10.0, 6.0 / 20.0), 1e-4);
    EXPECT_NEAR(modulated(100.0) / plain, std::pow(10.0, 24.0 / 20.0), 1e-4); // clamped
    EXPECT_NEAR(modulated(-24.0, 3) / plain, std::pow(10.0, 24.0 / 20.0),
                1e-4); // per voice: ignored
    inst.plugin()->reset(inst.plugin());
    EXPECT_NEAR(level(*run(inst)) / plain, std::pow(10.0, 12.0 / 20.0), 1e-4);
}

// Notes pass the trigger-note filter (here C3, note 48) through both dialects.
TEST_F(ClapProcessTest, NotesTriggerAtTheirOffset) {
    const auto reference = oneShot(1, {});
    const struct {
        const char* name;
        Prepare prepare;
        long triggersAt; // -1: no trigger
    } cases[] = {
        {"C3", [](AudioBlock& b) { b.events.noteOn(17, 48); }, 17},
        {"MIDI channel 2", [](AudioBlock& b) { b.events.midi(200, 0x91, 48, 90); }, 200},
        {"C2", [](AudioBlock& b) { b.events.noteOn(200, 36); }, -1},
        {"C#3", [](AudioBlock& b) { b.events.noteOn(200, 49); }, -1},
        {"MIDI velocity 0", [](AudioBlock& b) { b.events.midi(200, 0x90, 48, 0); }, -1},
        {"note-off", [](AudioBlock& b) { b.events.noteOn(200, 48, CLAP_EVENT_NOTE_OFF); }, -1},
        {"filter changed first",
         [](AudioBlock& b) {
             b.events.paramValue(0, pid::kTrigNote, 2);
             b.events.noteOn(200, 48);
         },
         -1},
        {"seventy notes",
         [](AudioBlock& b) {
             for (uint32_t i = 0; i < 70; ++i)
                 b.events.noteOn(100 + i, 48);
         },
         100},
    };
    for (const auto& c : cases) {
        const auto block = oneShot(1, c.prepare);
        if (c.triggersAt >= 0)
            EXPECT_TRUE(triggeredAt(*block, *reference, c.triggersAt)) << c.name;
        else
            EXPECT_EQ(firstDifference(*block, *reference), -1) << c.name;
    }
}

TEST_F(ClapProcessTest, SidechainChannelsThatTrigger) {
    std::vector<float> hit(kFrames, 0.0f), silence(kFrames, 0.0f);
    std::fill(hit.begin() + 300, hit.end(), 0.5f); // -6 dB from frame 300 on
    const auto reference = oneShot(
        2,
        [&](AudioBlock& b) {
            b.sidechain = {silence, silence};
        },
        quiet);
    const struct {
        const char* name;
        std::vector<std::vector<float>> channels;
        bool triggers;
    } cases[] = {
        {"mono", {hit}, true},
        {"right alone", {silence, hit}, true},
        {"null right: left", {hit, {}}, true},
        {"null left", {{}, hit}, false},
        {"no channels", {}, false},
    };
    for (const auto& c : cases) {
        const auto block = oneShot(
            2, [&](AudioBlock& b) { b.sidechain = c.channels; }, quiet);
        EXPECT_EQ(triggeredAt(*block, *reference, 300), c.triggers) << c.name;
    }
}

// Block borders are the host's choice and must not be heard.
TEST_F(ClapProcessTest, RaggedBlocksSoundLikeOneBlock) {
    inst.flushValue(pid::kVolOn, 1.0);
    inst.flushValue(pid::kDrvOn, 1.0);
    Instance other(module, host);
    ASSERT_TRUE(other.activate(48000.0, 1, 4096));
    other.flushValue(pid::kVolOn, 1.0);
    other.flushValue(pid::kDrvOn, 1.0);
    AudioBlock whole(4096);
    whole.fillInput(music);
    ASSERT_EQ(whole.run(other.plugin()), CLAP_PROCESS_CONTINUE);
    std::mt19937 rng(7);
    for (uint32_t at = 0; at < 4096;) {
        AudioBlock part(std::min<uint32_t>(4096 - at, 1 + rng() % 700));
        part.fillInput(music, at);
        ASSERT_EQ(part.run(inst.plugin()), CLAP_PROCESS_CONTINUE);
        for (uint32_t i = 0; i < part.frames; ++i, ++at)
            ASSERT_NEAR(part.outL[i], whole.outL[at], 1e-3) << at;
    }
}

#if defined(__x86_64__)
// Denormals are flushed inside the block; the host's own mode comes back.
TEST_F(ClapProcessTest, HostsFloatingPointModeIsRestored) {
    const unsigned before = _mm_getcsr();
    run(inst);
    EXPECT_EQ(_mm_getcsr(), before);
}
#endif

} // namespace
} // namespace claphost
