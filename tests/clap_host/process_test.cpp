// Processing through the ABI: parameter events, buffers and gains, MIDI and
// note triggers with the note filter, sidechain triggers, transport, reset.
#include "test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#define CLAPHOST_HAVE_MXCSR 1
#endif

namespace claphost {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr uint32_t kFrames = 512;

// Material in all three bands, different per channel.
float music(uint32_t i, int ch) {
    const double t = double(i) / 48000.0;
    return float(0.3 * std::sin(kTwoPi * 110.0 * t + ch) + 0.2 * std::sin(kTwoPi * 900.0 * t) +
                 0.1 * std::sin(kTwoPi * 5100.0 * t + 0.5 * ch));
}

// Well below the -24 dB trigger threshold.
float quiet(uint32_t i, int ch) { return 0.05f * music(i, ch); }

// Stays at 0 for most of the cycle and rises to 1 at its very end, so a
// one-shot at rest (End 100 %) passes the sound and a fresh trigger mutes it.
const char* kDuckCurve = "0.0000 0.0000 0 0.000, 0.9000 0.0000 0 0.000, 1.0000 1.0000 0 0.000";
const char* kRampCurve = "0.0000 0.0000 0 0.000, 1.0000 1.0000 0 0.000";

class ClapProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.ok()) << module.error();
        Instance fresh(module, host);
        ASSERT_NE(fresh.plugin(), nullptr);
        auto bytes = fresh.save();
        ASSERT_TRUE(bytes);
        std::string why;
        auto img = StateImage::decode(*bytes, &why);
        ASSERT_TRUE(img) << why;
        base = *img;
    }

    std::unique_ptr<Instance> make(const StateImage* img = nullptr, double rate = 48000.0) {
        auto inst = std::make_unique<Instance>(module, host);
        EXPECT_NE(inst->plugin(), nullptr);
        if (img) {
            EXPECT_TRUE(inst->load(img->encode()));
        }
        EXPECT_TRUE(inst->activate(rate));
        return inst;
    }

    // The volume stage as a one-shot started by `mode` (1 MIDI, 2 Audio).
    StateImage oneShotVolume(int mode, const char* curve = kDuckCurve) const {
        StateImage img = base;
        img.set(pid::kVolOn, 1);
        img.set(pid::kVolTrigger, mode);
        img.set(pid::kVolLoop, 0);
        img.set(pid::kVolEnd, 1.0);
        img.set(pid::kVolSmooth, 0.0);
        for (int band = 0; band < 3; ++band) img.curve(0, band) = curve;
        return img;
    }

    // One block of `music` through a fresh instance; `prepare` adds events.
    std::unique_ptr<AudioBlock> runOnce(const StateImage& img,
                                        const std::function<void(AudioBlock&)>& prepare = {},
                                        float (*signal)(uint32_t, int) = music) {
        auto inst = make(&img);
        auto block = std::make_unique<AudioBlock>(kFrames);
        block->fillInput(signal);
        if (prepare) prepare(*block);
        EXPECT_EQ(block->run(inst->plugin()), CLAP_PROCESS_CONTINUE);
        EXPECT_EQ(block->outEvents.size(), 0u);
        return block;
    }

    // Whether `block` starts the duck near `offset` compared with `reference`.
    static ::testing::AssertionResult triggeredAt(const AudioBlock& block,
                                                  const AudioBlock& reference, uint32_t offset) {
        const long d = firstDifference(block, reference);
        if (d < 0) return ::testing::AssertionFailure() << "nothing triggered";
        if (d < long(offset) - 16 || d > long(offset) + 16)
            return ::testing::AssertionFailure() << "output changed at " << d << ", note at " << offset;
        const double after = rms(block.outL, offset + 160, kFrames);
        const double before = rms(reference.outL, offset + 160, kFrames);
        if (!(after < 0.05 * before))
            return ::testing::AssertionFailure() << "not ducked: " << after << " vs " << before;
        return ::testing::AssertionSuccess();
    }

    static ::testing::AssertionResult untouched(const AudioBlock& block, const AudioBlock& reference) {
        const long d = firstDifference(block, reference);
        if (d >= 0) return ::testing::AssertionFailure() << "output changed at " << d;
        return ::testing::AssertionSuccess();
    }

    Module module;
    TestHost host;
    StateImage base;
};

// ------------------------------------------------------------ parameters

TEST_F(ClapProcessTest, ParameterEventsSetValues) {
    auto inst = make();
    AudioBlock block(kFrames);
    block.fillInput(music);
    block.events.paramValue(0, pid::kMix, 0.4);
    block.events.paramValue(10, pid::kVolRate, 12.0);     // clamped to 7
    block.events.paramValue(20, pid::kTrigThreshold, -80.0);  // clamped to -60
    block.events.paramValue(30, kParamCount, 0.5);           // no such parameter
    block.events.paramValue(40, pid::kMix, 0.6);           // the last value wins
    block.events.paramMod(50, pid::kOutput, 12.0);         // modulation is ignored
    block.events.paramValue(60, pid::kDrvStyle, 2.6);      // stored as sent, rounded on use
    ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    EXPECT_DOUBLE_EQ(inst->value(pid::kMix), 0.6);
    EXPECT_DOUBLE_EQ(inst->value(pid::kVolRate), 7.0);
    EXPECT_DOUBLE_EQ(inst->value(pid::kDrvStyle), 2.6);
    EXPECT_DOUBLE_EQ(inst->value(pid::kTrigThreshold), -60.0);
    EXPECT_DOUBLE_EQ(inst->value(pid::kOutput), 0.0);
    EXPECT_EQ(block.outEvents.size(), 0u);
}

// A host that sends NaN must not get NaN back, neither as a value nor as sound.
TEST_F(ClapProcessTest, NanParameterValuesStayInRange) {
    auto inst = make();
    AudioBlock block(kFrames);
    block.fillInput(music);
    for (clap_id id : {pid::kMix, pid::kInput, pid::kOutput, pid::kVolRate, pid::kFltCutoff})
        block.events.paramValue(0, id, std::nan(""));
    ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    for (clap_id id : {pid::kMix, pid::kInput, pid::kOutput, pid::kVolRate, pid::kFltCutoff}) {
        const clap_param_info_t info = inst->info(id);
        const double v = inst->value(id);
        EXPECT_TRUE(v >= info.min_value && v <= info.max_value) << id << ": " << v;
    }
    for (uint32_t i = 0; i < kFrames; ++i)
        ASSERT_TRUE(std::isfinite(block.outL[i]) && std::isfinite(block.outR[i])) << i;
}

TEST_F(ClapProcessTest, ZeroFrameBlockConsumesParameterEvents) {
    auto inst = make();
    AudioBlock empty(0);
    empty.events.paramValue(0, pid::kOutput, -12.0);
    EXPECT_EQ(empty.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    EXPECT_DOUBLE_EQ(inst->value(pid::kOutput), -12.0);
    EXPECT_EQ(empty.outEvents.size(), 0u);

    // The change reaches the sound at the next block.
    AudioBlock block(kFrames);
    block.fillInput(music);
    ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    const float gain = float(std::pow(10.0, -12.0 / 20.0));
    for (uint32_t i = 0; i < kFrames; ++i)
        ASSERT_NEAR(block.outL[i], block.inL[i] * gain, 1e-6) << i;
}

TEST_F(ClapProcessTest, ZeroFrameBlockNeedsNoBuffers) {
    auto inst = make();
    InputEvents in;
    in.paramValue(0, pid::kMix, 0.1);
    OutputEvents out;
    clap_process_t p{};
    p.steady_time = -1;
    p.frames_count = 0;
    p.in_events = in.list();
    p.out_events = out.list();
    EXPECT_EQ(inst->plugin()->process(inst->plugin(), &p), CLAP_PROCESS_CONTINUE);
    EXPECT_DOUBLE_EQ(inst->value(pid::kMix), 0.1);
}

// One value per parameter and block: a change late in the block already
// applies to its first sample.
TEST_F(ClapProcessTest, ParameterChangeAppliesToTheWholeBlock) {
    auto inst = make();
    AudioBlock block(kFrames);
    block.fillInput(music);
    block.events.paramValue(500, pid::kOutput, -24.0);
    ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    const float gain = float(std::pow(10.0, -24.0 / 20.0));
    for (uint32_t i = 0; i < kFrames; ++i)
        ASSERT_NEAR(block.outL[i], block.inL[i] * gain, 1e-6) << i;
}

// ------------------------------------------------------------ buffers

TEST_F(ClapProcessTest, DefaultsPassTheInputUnchanged) {
    auto inst = make();
    AudioBlock block(kFrames);
    block.fillInput(music);
    ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(block.outL, block.inL);
    EXPECT_EQ(block.outR, block.inR);
}

TEST_F(ClapProcessTest, EveryModuleOffGivesInputTimesGains) {
    auto inst = make();
    for (int b = 0; b < 3; ++b) {
        AudioBlock block(kFrames);
        block.fillInput(music, b * kFrames);
        if (b == 0) {
            block.events.paramValue(0, pid::kInput, 6.0);
            block.events.paramValue(0, pid::kOutput, -9.0);
            block.events.paramValue(0, pid::kMix, 0.3);  // no effect without modules
        }
        ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
        const double gain = std::pow(10.0, 6.0 / 20.0) * std::pow(10.0, -9.0 / 20.0);
        for (uint32_t i = 0; i < kFrames; ++i) {
            ASSERT_NEAR(block.outL[i], block.inL[i] * gain, 2e-6) << b << ":" << i;
            ASSERT_NEAR(block.outR[i], block.inR[i] * gain, 2e-6) << b << ":" << i;
        }
    }
}

TEST_F(ClapProcessTest, InPlaceBuffersWork) {
    auto inst = make();
    AudioBlock block(kFrames);
    block.fillInput(music);
    block.inPlace = true;
    block.events.paramValue(0, pid::kOutput, -6.0);
    ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    const double gain = std::pow(10.0, -6.0 / 20.0);
    for (uint32_t i = 0; i < kFrames; ++i) ASSERT_NEAR(block.outR[i], block.inR[i] * gain, 1e-6);
}

TEST_F(ClapProcessTest, MixZeroGivesTheDryInputWithModulesOn) {
    StateImage img = base;
    for (clap_id on : {pid::kVolOn, pid::kFltOn, pid::kDrvOn, pid::kTimOn})
        img.set(on, 1);
    img.set(pid::kDrvDrive, 1.0);
    img.set(pid::kInput, 12.0);
    img.set(pid::kOutput, -20.0);
    img.set(pid::kMix, 0.0);
    for (int band = 0; band < 3; ++band) img.curve(1, band) = kRampCurve;
    auto block = runOnce(img);
    EXPECT_EQ(block->outL, block->inL);
    EXPECT_EQ(block->outR, block->inR);
}

TEST_F(ClapProcessTest, VolumeTrimReachesTheSound) {
    StateImage img = base;
    img.set(pid::kVolOn, 1);
    auto reference = runOnce(img);
    img.set(pid::kVolTrim, -6.0);
    auto trimmed = runOnce(img);
    const double gain = std::pow(10.0, -6.0 / 20.0);
    for (uint32_t i = 0; i < kFrames; ++i)
        ASSERT_NEAR(trimmed->outL[i], reference->outL[i] * gain, 1e-5) << i;
}

TEST_F(ClapProcessTest, BadProcessRecordsAreRefused) {
    auto inst = make();
    const clap_plugin_t* p = inst->plugin();
    EXPECT_EQ(p->process(p, nullptr), CLAP_PROCESS_ERROR);

    std::vector<float> l(kFrames, 0.5f), r(kFrames, 0.5f), ol(kFrames, 9.0f), or_(kFrames, 9.0f);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), or_.data()};
    clap_audio_buffer_t input{};
    input.data32 = in;
    input.channel_count = 2;
    clap_audio_buffer_t output{};
    output.data32 = out;
    output.channel_count = 2;
    InputEvents events;
    events.paramValue(0, pid::kMix, 0.2);
    OutputEvents outEvents;

    auto record = [&] {
        clap_process_t rec{};
        rec.steady_time = -1;
        rec.frames_count = kFrames;
        rec.audio_inputs = &input;
        rec.audio_inputs_count = 1;
        rec.audio_outputs = &output;
        rec.audio_outputs_count = 1;
        rec.in_events = events.list();
        rec.out_events = outEvents.list();
        return rec;
    };

    clap_process_t noOutputs = record();
    noOutputs.audio_outputs_count = 0;
    noOutputs.audio_outputs = nullptr;
    EXPECT_EQ(p->process(p, &noOutputs), CLAP_PROCESS_ERROR);
    // Events of a refused block are applied all the same.
    EXPECT_DOUBLE_EQ(inst->value(pid::kMix), 0.2);

    clap_process_t noInputs = record();
    noInputs.audio_inputs_count = 0;
    noInputs.audio_inputs = nullptr;
    EXPECT_EQ(p->process(p, &noInputs), CLAP_PROCESS_ERROR);

    output.channel_count = 1;
    clap_process_t mono = record();
    EXPECT_EQ(p->process(p, &mono), CLAP_PROCESS_ERROR);
    output.channel_count = 2;

    out[1] = nullptr;
    clap_process_t nullChannel = record();
    EXPECT_EQ(p->process(p, &nullChannel), CLAP_PROCESS_ERROR);
    out[1] = or_.data();

    output.data32 = nullptr;
    clap_process_t no32 = record();
    EXPECT_EQ(p->process(p, &no32), CLAP_PROCESS_ERROR);
    output.data32 = out;

    for (float v : ol) ASSERT_EQ(v, 9.0f);  // nothing written by refused blocks
    clap_process_t good = record();
    EXPECT_EQ(p->process(p, &good), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(ol, l);
}

TEST_F(ClapProcessTest, MonoInputLeavesTheRightOutputAsGiven) {
    auto inst = make();
    std::vector<float> l(kFrames), ol(kFrames, 0.0f), or_(kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) {
        l[i] = music(i, 0);
        or_[i] = music(i, 1);
    }
    const std::vector<float> rightBefore = or_;
    float* in[1] = {l.data()};
    float* out[2] = {ol.data(), or_.data()};
    clap_audio_buffer_t input{};
    input.data32 = in;
    input.channel_count = 1;
    clap_audio_buffer_t output{};
    output.data32 = out;
    output.channel_count = 2;
    InputEvents events;
    OutputEvents outEvents;
    clap_process_t rec{};
    rec.steady_time = -1;
    rec.frames_count = kFrames;
    rec.audio_inputs = &input;
    rec.audio_inputs_count = 1;
    rec.audio_outputs = &output;
    rec.audio_outputs_count = 1;
    rec.in_events = events.list();
    rec.out_events = outEvents.list();
    ASSERT_EQ(inst->plugin()->process(inst->plugin(), &rec), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(ol, l);
    EXPECT_EQ(or_, rightBefore);
}

#ifdef CLAPHOST_HAVE_MXCSR
// Denormals are flushed inside the block; the host's own mode comes back.
TEST_F(ClapProcessTest, FloatingPointModeIsRestored) {
    auto inst = make();
    constexpr unsigned kFtzDaz = 0x8040;
    constexpr unsigned kControl = 0xFFC0;  // without the sticky exception flags
    const unsigned saved = _mm_getcsr();

    for (unsigned mode : {0u, kFtzDaz}) {
        _mm_setcsr((saved & ~kFtzDaz) | mode);
        const unsigned before = _mm_getcsr();
        AudioBlock block(kFrames);
        block.fillInput(music);
        block.run(inst->plugin());
        const unsigned after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after & kControl, before & kControl) << "host mode " << mode;
    }
}

TEST_F(ClapProcessTest, DenormalResultsAreFlushedInsideTheBlock) {
    auto inst = make();
    const unsigned saved = _mm_getcsr();
    _mm_setcsr(saved & ~0x8040u);
    AudioBlock block(kFrames);
    std::fill(block.inL.begin(), block.inL.end(), 2e-38f);  // normal; a quarter is not
    std::fill(block.inR.begin(), block.inR.end(), 2e-38f);
    block.events.paramValue(0, pid::kOutput, -12.0);
    const clap_process_status status = block.run(inst->plugin());
    _mm_setcsr(saved);
    ASSERT_EQ(status, CLAP_PROCESS_CONTINUE);
    for (uint32_t i = 0; i < kFrames; ++i) ASSERT_EQ(block.outL[i], 0.0f) << i;
}
#endif

// ------------------------------------------------------------ note triggers

TEST_F(ClapProcessTest, ClapNoteOnStartsAMidiOneShot) {
    const StateImage img = oneShotVolume(1);
    auto reference = runOnce(img);
    auto block = runOnce(img, [](AudioBlock& b) { b.events.noteOn(200, 60); });
    EXPECT_TRUE(triggeredAt(*block, *reference, 200));
}

TEST_F(ClapProcessTest, TriggerLandsAtTheNoteOffset) {
    const StateImage img = oneShotVolume(1);
    auto reference = runOnce(img);
    for (uint32_t offset : {0u, 17u, 255u, 333u}) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.noteOn(offset, 60); });
        EXPECT_TRUE(triggeredAt(*block, *reference, offset)) << offset;
    }
}

TEST_F(ClapProcessTest, MidiNoteOnOfAnyChannelTriggers) {
    const StateImage img = oneShotVolume(1);
    auto reference = runOnce(img);
    for (uint8_t status : {0x90, 0x91, 0x9F}) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.midi(200, status, 60, 100); });
        EXPECT_TRUE(triggeredAt(*block, *reference, 200)) << int(status);
    }
}

TEST_F(ClapProcessTest, OtherNoteEventsDoNotTrigger) {
    const StateImage img = oneShotVolume(1);
    auto reference = runOnce(img);
    const std::vector<std::pair<const char*, std::function<void(AudioBlock&)>>> cases = {
        {"midi velocity 0", [](AudioBlock& b) { b.events.midi(200, 0x90, 60, 0); }},
        {"midi note off", [](AudioBlock& b) { b.events.midi(200, 0x80, 60, 100); }},
        {"midi controller", [](AudioBlock& b) { b.events.midi(200, 0xB0, 60, 100); }},
        {"midi key above 127", [](AudioBlock& b) { b.events.midi(200, 0x90, 200, 100); }},
        {"clap note off", [](AudioBlock& b) { b.events.noteOff(200, 60); }},
        {"clap wildcard key", [](AudioBlock& b) { b.events.noteOn(200, -1); }},
        {"clap key above 127", [](AudioBlock& b) { b.events.noteOn(200, 128); }},
        {"note on outside the core space",
         [](AudioBlock& b) {
             clap_event_note_t ev{};
             ev.header.size = sizeof ev;
             ev.header.time = 200;
             ev.header.space_id = 7;
             ev.header.type = CLAP_EVENT_NOTE_ON;
             ev.note_id = -1;
             ev.key = 60;
             ev.velocity = 1.0;
             b.events.add(ev.header);
         }},
    };
    for (const auto& [name, add] : cases) {
        auto block = runOnce(img, add);
        EXPECT_TRUE(untouched(*block, *reference)) << name;
    }
}

TEST_F(ClapProcessTest, NoteFilterNameAndOctave) {
    StateImage img = oneShotVolume(1);
    img.set(pid::kTrigNote, 1);    // C
    img.set(pid::kTrigOctave, 5);  // "3": notes 48..59
    auto reference = runOnce(img);
    auto c3 = runOnce(img, [](AudioBlock& b) { b.events.noteOn(200, 48); });
    EXPECT_TRUE(triggeredAt(*c3, *reference, 200));
    for (int16_t key : {36, 49, 60, 47, 0}) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.noteOn(200, key); });
        EXPECT_TRUE(untouched(*block, *reference)) << key;
    }
    // The MIDI dialect goes through the same filter.
    auto midi48 = runOnce(img, [](AudioBlock& b) { b.events.midi(200, 0x90, 48, 90); });
    EXPECT_TRUE(triggeredAt(*midi48, *reference, 200));
    auto midi49 = runOnce(img, [](AudioBlock& b) { b.events.midi(200, 0x90, 49, 90); });
    EXPECT_TRUE(untouched(*midi49, *reference));
}

TEST_F(ClapProcessTest, NoteFilterNameInAnyOctave) {
    StateImage img = oneShotVolume(1);
    img.set(pid::kTrigNote, 10);  // A
    auto reference = runOnce(img);
    for (int16_t key : {9, 57, 69, 117}) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.noteOn(200, key); });
        EXPECT_TRUE(triggeredAt(*block, *reference, 200)) << key;
    }
    for (int16_t key : {8, 10, 60, 127}) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.noteOn(200, key); });
        EXPECT_TRUE(untouched(*block, *reference)) << key;
    }
}

TEST_F(ClapProcessTest, NoteFilterOctaveWithAnyName) {
    StateImage img = oneShotVolume(1);
    img.set(pid::kTrigOctave, 1);  // "-1": notes 0..11
    auto reference = runOnce(img);
    for (int16_t key : {0, 5, 11}) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.noteOn(200, key); });
        EXPECT_TRUE(triggeredAt(*block, *reference, 200)) << key;
    }
    for (int16_t key : {12, 48, 127}) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.noteOn(200, key); });
        EXPECT_TRUE(untouched(*block, *reference)) << key;
    }
}

TEST_F(ClapProcessTest, EveryNoteTriggersWhenTheFilterIsAny) {
    const StateImage img = oneShotVolume(1);
    auto reference = runOnce(img);
    for (int16_t key = 0; key <= 127; ++key) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.noteOn(200, key); });
        ASSERT_TRUE(triggeredAt(*block, *reference, 200)) << key;
    }
}

TEST_F(ClapProcessTest, FilterSetInTheSameBlockAppliesToLaterNotes) {
    StateImage img = oneShotVolume(1);
    auto reference = runOnce(img);
    auto block = runOnce(img, [](AudioBlock& b) {
        b.events.paramValue(0, pid::kTrigNote, 2);  // C#
        b.events.noteOn(200, 60);
    });
    EXPECT_TRUE(untouched(*block, *reference));
}

// Hosts should sort events and keep them inside the block; if they do not,
// a note still lands inside the block and never before an earlier one.
TEST_F(ClapProcessTest, NoteTimesOutsideOrderOrBlockAreTamed) {
    const StateImage img = oneShotVolume(1);
    auto reference = runOnce(img);
    auto late = runOnce(img, [](AudioBlock& b) { b.events.noteOn(5000, 60); });
    const long d = firstDifference(*late, *reference);
    EXPECT_GE(d, long(kFrames) - 16);

    auto at300 = runOnce(img, [](AudioBlock& b) { b.events.noteOn(300, 60); });
    auto unsorted = runOnce(img, [](AudioBlock& b) {
        b.events.noteOn(300, 60);
        b.events.noteOn(100, 60);
    });
    EXPECT_TRUE(untouched(*unsorted, *at300));
}

TEST_F(ClapProcessTest, OnlySixtyFourNotesPerBlockCount) {
    StateImage img = oneShotVolume(1, kRampCurve);
    img.set(pid::kVolRate, 0);  // 1/32: the phase moves fast enough to tell offsets apart
    auto notes = [](std::vector<uint32_t> offsets) {
        return [offsets](AudioBlock& b) {
            for (uint32_t o : offsets) b.events.noteOn(o, 60);
        };
    };
    std::vector<uint32_t> first64, all70, other64;
    for (uint32_t i = 0; i < 70; ++i) all70.push_back(i);
    for (uint32_t i = 0; i < 64; ++i) first64.push_back(i);
    for (uint32_t i = 0; i < 63; ++i) other64.push_back(i);
    other64.push_back(69);

    auto sixtyFour = runOnce(img, notes(first64));
    auto seventy = runOnce(img, notes(all70));
    auto moved = runOnce(img, notes(other64));
    EXPECT_TRUE(untouched(*seventy, *sixtyFour));
    // The comparison can see a later last trigger at all.
    EXPECT_GE(firstDifference(*moved, *sixtyFour), 0);
}

// ------------------------------------------------------------ audio triggers

class ClapSidechainTest : public ClapProcessTest {
protected:
    void SetUp() override {
        ClapProcessTest::SetUp();
        img = oneShotVolume(2);
        reference = runOnce(img, [](AudioBlock& b) { b.sidechain = {silence(), silence()}; }, quiet);
    }

    // A hit of 0.5 (-6 dB) from `offset` on.
    static std::vector<float> hit(uint32_t offset) {
        std::vector<float> v(kFrames, 0.0f);
        for (uint32_t i = offset; i < kFrames; ++i) v[i] = 0.5f;
        return v;
    }
    static std::vector<float> silence() { return std::vector<float>(kFrames, 0.0f); }

    StateImage img;
    std::unique_ptr<AudioBlock> reference;
};

TEST_F(ClapSidechainTest, StereoSidechainTriggersAnAudioModule) {
    auto block = runOnce(img, [](AudioBlock& b) { b.sidechain = {hit(300), hit(300)}; }, quiet);
    EXPECT_TRUE(triggeredAt(*block, *reference, 300));
}

TEST_F(ClapSidechainTest, MonoSidechainTriggers) {
    auto block = runOnce(img, [](AudioBlock& b) { b.sidechain = {hit(300)}; }, quiet);
    EXPECT_TRUE(triggeredAt(*block, *reference, 300));
    auto stereo = runOnce(img, [](AudioBlock& b) { b.sidechain = {hit(300), hit(300)}; }, quiet);
    EXPECT_TRUE(untouched(*block, *stereo));
    // A null right channel falls back to the left one.
    auto nullRight = runOnce(img, [](AudioBlock& b) { b.sidechain = {hit(300), {}}; }, quiet);
    EXPECT_TRUE(untouched(*nullRight, *stereo));
}

TEST_F(ClapSidechainTest, RightChannelAloneTriggers) {
    auto block = runOnce(img, [](AudioBlock& b) { b.sidechain = {silence(), hit(300)}; }, quiet);
    EXPECT_TRUE(triggeredAt(*block, *reference, 300));
}

TEST_F(ClapSidechainTest, MissingSidechainNeverTriggers) {
    auto noPort = runOnce(img, [](AudioBlock& b) { b.sidechainPort = false; }, quiet);
    EXPECT_TRUE(untouched(*noPort, *reference));
    auto noChannels = runOnce(img, [](AudioBlock& b) { b.sidechain.clear(); }, quiet);
    EXPECT_TRUE(untouched(*noChannels, *reference));
    auto nullFirst = runOnce(img, [](AudioBlock& b) { b.sidechain = {{}, hit(300)}; }, quiet);
    EXPECT_TRUE(untouched(*nullFirst, *reference));
}

TEST_F(ClapSidechainTest, SidechainWithout32BitBuffersIsIgnored) {
    auto block = runOnce(img, [](AudioBlock& b) {
        b.sidechain = {hit(300), hit(300)};
        b.sidechain64Only = true;
    }, quiet);
    EXPECT_TRUE(untouched(*block, *reference));
}

TEST_F(ClapSidechainTest, HitBelowTheThresholdDoesNotTrigger) {
    img.set(pid::kTrigThreshold, -3.0);  // 0.5 is -6 dB
    auto ref = runOnce(img, [](AudioBlock& b) { b.sidechain = {silence()}; }, quiet);
    auto block = runOnce(img, [](AudioBlock& b) { b.sidechain = {hit(300)}; }, quiet);
    EXPECT_TRUE(untouched(*block, *ref));
}

TEST_F(ClapSidechainTest, InputSourceListensToTheMainInput) {
    img.set(pid::kTrigSource, 1);
    auto sidechainOnly = runOnce(img, [](AudioBlock& b) { b.sidechain = {hit(300)}; }, quiet);
    EXPECT_TRUE(untouched(*sidechainOnly, *reference));

    // The same loud onset in the input, heard by the input source only.
    auto loudOnset = [](uint32_t i, int ch) { return i < 300 ? quiet(i, ch) : 0.5f; };
    StateImage sidechainSource = img;
    sidechainSource.set(pid::kTrigSource, 0);
    auto notHeard = runOnce(sidechainSource, {}, loudOnset);
    auto heard = runOnce(img, {}, loudOnset);
    EXPECT_TRUE(triggeredAt(*heard, *notHeard, 300));
}

// A second hit within the hold time does not restart the shape.
TEST_F(ClapSidechainTest, HoldTimeSuppressesASecondHit) {
    img = oneShotVolume(2, kRampCurve);
    auto run = [&](double hold, std::vector<uint32_t> hits) {
        auto inst = make(&img);
        std::vector<float> out;
        for (uint32_t b = 0; b < 16; ++b) {
            AudioBlock block(kFrames);
            block.fillInput(quiet, b * kFrames);
            if (b == 0) block.events.paramValue(0, 59, hold);
            std::vector<float> side(kFrames, 0.0f);
            for (uint32_t h : hits)
                for (uint32_t i = 0; i < 20; ++i)
                    if (h + i >= b * kFrames && h + i < (b + 1) * kFrames)
                        side[h + i - b * kFrames] = 0.5f;
            block.sidechain = {side};
            EXPECT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
            out.insert(out.end(), block.outL.begin(), block.outL.end());
        }
        return out;
    };
    // Hold 1000 ms, then 5 ms; the detector re-arms some 4000 samples after a hit.
    const auto once = run(1.0, {100});
    const auto heldOff = run(1.0, {100, 6000});
    const auto shortHold = run(0.0, {100});
    const auto twice = run(0.0, {100, 6000});
    EXPECT_EQ(once, heldOff);
    ASSERT_EQ(shortHold.size(), twice.size());
    size_t d = 0;
    while (d < twice.size() && twice[d] == shortHold[d]) ++d;
    EXPECT_GE(d, 6000u - 16u);
    EXPECT_LE(d, 6000u + 16u);
}

// ------------------------------------------------------------ transport

class ClapTransportTest : public ClapProcessTest {
protected:
    void SetUp() override {
        ClapProcessTest::SetUp();
        img = base;
        img.set(pid::kVolOn, 1);
        img.set(pid::kVolSmooth, 0.0);
        for (int band = 0; band < 3; ++band) img.curve(0, band) = kRampCurve;
    }

    // Output of `blocks` consecutive blocks, each with the transport `t` gives.
    std::vector<float> play(const std::function<std::optional<clap_event_transport_t>(int)>& t,
                            int blocks = 3) {
        auto inst = make(&img);
        std::vector<float> out;
        for (int b = 0; b < blocks; ++b) {
            AudioBlock block(kFrames);
            block.fillInput(music, b * kFrames);
            block.transport = t(b);
            EXPECT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
            out.insert(out.end(), block.outL.begin(), block.outL.end());
        }
        return out;
    }

    StateImage img;
};

TEST_F(ClapTransportTest, WithoutTransportTheClockRunsAt120Bpm) {
    auto none = play([](int) { return std::nullopt; });
    auto stopped120 = play([](int) { return makeTransport(120.0, 37.5, false); });
    EXPECT_EQ(none, stopped120);
    for (float v : none) ASSERT_TRUE(std::isfinite(v));
}

TEST_F(ClapTransportTest, StoppedTransportIgnoresTheSongPosition) {
    auto at0 = play([](int) { return makeTransport(120.0, 0.0, false); });
    auto at37 = play([](int) { return makeTransport(120.0, 37.5, false); });
    EXPECT_EQ(at0, at37);
}

TEST_F(ClapTransportTest, PlayingTransportFollowsTheSongPosition) {
    auto none = play([](int) { return std::nullopt; }, 1);
    auto fromZero = play([](int) { return makeTransport(120.0, 0.0, true); }, 1);
    auto halfBeat = play([](int) { return makeTransport(120.0, 37.5, true); }, 1);
    EXPECT_EQ(none, fromZero);
    EXPECT_NE(none, halfBeat);

    // Without the beats timeline the position is not read.
    auto noTimeline = play(
        [](int) {
            auto t = makeTransport(120.0, 37.5, true);
            t.flags &= ~uint32_t(CLAP_TRANSPORT_HAS_BEATS_TIMELINE);
            return std::optional(t);
        },
        1);
    EXPECT_EQ(none, noTimeline);
}

TEST_F(ClapTransportTest, TempoChangesTheCycleLength) {
    auto at120 = play([](int) { return makeTransport(120.0, 0.0, false); });
    auto at90 = play([](int) { return makeTransport(90.0, 0.0, false); });
    EXPECT_NE(at120, at90);
    // The tempo field is read even without its flag.
    auto at90NoFlag = play([](int) {
        auto t = makeTransport(90.0, 0.0, false);
        t.flags &= ~uint32_t(CLAP_TRANSPORT_HAS_TEMPO);
        return std::optional(t);
    });
    EXPECT_EQ(at90, at90NoFlag);
}

// ------------------------------------------------------------ lifecycle

TEST_F(ClapProcessTest, ResetRestartsTheRunningState) {
    StateImage img = base;
    img.set(pid::kVolOn, 1);
    img.set(pid::kTimOn, 1);
    for (int band = 0; band < 3; ++band) {
        img.curve(0, band) = "0.0000 0.4000 0 0.000, 1.0000 1.0000 0 0.000";
        // A short look-back, so the output is not just the silence before the start.
        img.curve(3, band) = "0.0000 0.9500 0 0.000, 1.0000 0.9900 0 0.000";
    }
    auto inst = make(&img);
    auto runBlock = [&](uint32_t start) {
        AudioBlock block(kFrames);
        block.fillInput(music, start);
        EXPECT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
        return block.outL;
    };
    const auto first = runBlock(0);
    const auto second = runBlock(kFrames);
    EXPECT_NE(runBlock(0), first);  // the state moved on
    inst->plugin()->reset(inst->plugin());
    EXPECT_EQ(runBlock(0), first);
    EXPECT_EQ(runBlock(kFrames), second);
}

TEST_F(ClapProcessTest, ReactivationStartsAfresh) {
    StateImage img = base;
    img.set(pid::kVolOn, 1);
    for (int band = 0; band < 3; ++band) img.curve(0, band) = kRampCurve;
    auto inst = make(&img);
    auto runBlock = [&] {
        AudioBlock block(kFrames);
        block.fillInput(music);
        EXPECT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
        return block.outL;
    };
    const auto first = runBlock();
    runBlock();
    ASSERT_TRUE(inst->activate(48000.0));
    EXPECT_EQ(runBlock(), first);
}

// The host chooses the block sizes, up to the maximum it activated with.
class ClapBlockSizeTest : public ClapProcessTest {
protected:
    static constexpr uint32_t kTotal = 8192;

    void SetUp() override {
        ClapProcessTest::SetUp();
        img = base;
        for (clap_id on : {pid::kVolOn, pid::kFltOn, pid::kDrvOn, pid::kTimOn, clap_id(48),
                           clap_id(52)})
            img.set(on, 1);
        img.set(pid::kVolRate, 1);
        img.set(pid::kDrvDrive, 0.3);
        // Continuous across the cycle's wrap, so no sub-block straddles a jump.
        for (int band = 0; band < 3; ++band) {
            img.curve(0, band) = "0.0000 1.0000 0 0.000, 0.5000 0.3000 2 0.000, 1.0000 1.0000 0 0.000";
            img.curve(1, band) = "0.0000 0.6000 0 0.000, 0.5000 1.0000 1 0.000, 1.0000 0.6000 0 0.000";
            img.curve(2, band) = "0.0000 0.2000 0 0.000, 0.5000 0.9000 0 0.000, 1.0000 0.2000 0 0.000";
            img.curve(3, band) = "0.0000 0.9500 0 0.000, 0.5000 1.0000 0 0.000, 1.0000 0.9500 0 0.000";
            img.curve(5, band) = "0.0000 0.3000 0 0.000, 0.5000 0.7000 0 0.000, 1.0000 0.3000 0 0.000";
            img.curve(6, band) = "0.0000 0.8000 0 0.000, 0.5000 0.2000 0 0.000, 1.0000 0.8000 0 0.000";
        }
    }

    // Both channels of the whole render, left then right; notes at absolute frames.
    std::vector<float> render(const std::vector<uint32_t>& sizes, uint32_t maxFrames,
                              const std::vector<uint32_t>& notes = {}) {
        Instance inst(module, host);
        EXPECT_TRUE(inst.load(img.encode()));
        EXPECT_TRUE(inst.activate(48000.0, 1, maxFrames));
        std::vector<float> left, right;
        uint32_t start = 0;
        for (size_t k = 0; start < kTotal; ++k) {
            const uint32_t n = std::min(sizes[k % sizes.size()], kTotal - start);
            AudioBlock block(n);
            block.fillInput(music, start);
            for (uint32_t t : notes)
                if (t >= start && t < start + n) block.events.noteOn(t - start, 60);
            EXPECT_EQ(block.run(inst.plugin()), CLAP_PROCESS_CONTINUE);
            left.insert(left.end(), block.outL.begin(), block.outL.end());
            right.insert(right.end(), block.outR.begin(), block.outR.end());
            start += n;
        }
        left.insert(left.end(), right.begin(), right.end());
        return left;
    }

    StateImage img;
};

// Larger blocks than the engine's usual 1024 frames are processed whole, with
// the same 16-frame sub-blocks as smaller ones.
TEST_F(ClapBlockSizeTest, LargeBlocksSoundLikeSmallOnes) {
    img.set(pid::kVolTrigger, 1);
    img.set(pid::kVolLoop, 1);
    const std::vector<uint32_t> notes = {100, 3000, 3001, 6500};
    const auto reference = render({512}, 1024, notes);
    const auto big = render({4096}, 4096, notes);
    const auto huge = render({8192}, 8192, notes);
    for (size_t i = 0; i < reference.size(); ++i) {
        ASSERT_NEAR(big[i], reference[i], 1e-5) << "4096-frame blocks, sample " << i;
        ASSERT_NEAR(huge[i], reference[i], 1e-5) << "8192-frame blocks, sample " << i;
    }
}

// Block borders that cut sub-blocks short shift the curve by at most a
// sample or so; nothing restarts at a border.
TEST_F(ClapBlockSizeTest, RaggedBlocksSoundLikeRegularOnes) {
    const auto reference = render({512}, 1024);
    const auto ragged = render({1, 3, 16, 17, 100, 511, 7, 1024}, 1024);
    double peak = 0.0;
    for (float v : reference) peak = std::max(peak, double(std::fabs(v)));
    ASSERT_GT(peak, 0.05);
    for (size_t i = 0; i < reference.size(); ++i)
        ASSERT_NEAR(ragged[i], reference[i], 1e-3) << "sample " << i;
}

// Nothing of one instance's running state may leak into another.
TEST_F(ClapProcessTest, InstancesProcessIndependently) {
    StateImage a = oneShotVolume(1, kRampCurve);
    a.set(pid::kTimOn, 1);
    StateImage b = base;
    b.set(pid::kDrvOn, 1);
    b.set(pid::kFltOn, 1);
    auto alone = [&](const StateImage& img, bool note) {
        auto inst = make(&img);
        std::vector<float> out;
        for (uint32_t k = 0; k < 4; ++k) {
            AudioBlock block(kFrames);
            block.fillInput(music, k * kFrames);
            if (note && k == 1) block.events.noteOn(40, 60);
            EXPECT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
            out.insert(out.end(), block.outL.begin(), block.outL.end());
        }
        return out;
    };
    const auto aAlone = alone(a, true);
    const auto bAlone = alone(b, false);

    auto ia = make(&a);
    auto ib = make(&b);
    std::vector<float> aTogether, bTogether;
    for (uint32_t k = 0; k < 4; ++k) {
        AudioBlock blockA(kFrames), blockB(kFrames);
        blockA.fillInput(music, k * kFrames);
        blockB.fillInput(music, k * kFrames);
        if (k == 1) blockA.events.noteOn(40, 60);
        ASSERT_EQ(blockA.run(ia->plugin()), CLAP_PROCESS_CONTINUE);
        ASSERT_EQ(blockB.run(ib->plugin()), CLAP_PROCESS_CONTINUE);
        aTogether.insert(aTogether.end(), blockA.outL.begin(), blockA.outL.end());
        bTogether.insert(bTogether.end(), blockB.outL.begin(), blockB.outL.end());
    }
    EXPECT_EQ(aTogether, aAlone);
    EXPECT_EQ(bTogether, bAlone);
}

TEST_F(ClapProcessTest, ProcessingNeverLogs) {
    StateImage img = oneShotVolume(1);
    runOnce(img, [](AudioBlock& b) { b.events.noteOn(10, 60); });
    EXPECT_TRUE(host.logs.empty());
    EXPECT_EQ(host.flushRequests, 0);
}

}  // namespace
}  // namespace claphost
