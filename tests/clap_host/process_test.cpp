// Processing through the ABI: parameter events, buffers and gains, note and
// sidechain triggers reaching the sound, reset and block sizes.
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
    // A host that sends NaN must not get NaN back, neither as a value nor as sound.
    for (clap_id id : {pid::kInput, pid::kFltCutoff}) block.events.paramValue(70, id, std::nan(""));
    ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    EXPECT_DOUBLE_EQ(inst->value(pid::kMix), 0.6);
    EXPECT_DOUBLE_EQ(inst->value(pid::kVolRate), 7.0);
    EXPECT_DOUBLE_EQ(inst->value(pid::kDrvStyle), 2.6);
    EXPECT_DOUBLE_EQ(inst->value(pid::kTrigThreshold), -60.0);
    EXPECT_DOUBLE_EQ(inst->value(pid::kOutput), 0.0);
    for (clap_id id : {pid::kInput, pid::kFltCutoff}) {
        const clap_param_info_t info = inst->info(id);
        const double v = inst->value(id);
        EXPECT_TRUE(v >= info.min_value && v <= info.max_value) << id << ": " << v;
    }
    for (uint32_t i = 0; i < kFrames; ++i)
        ASSERT_TRUE(std::isfinite(block.outL[i]) && std::isfinite(block.outR[i])) << i;
    EXPECT_EQ(block.outEvents.size(), 0u);
}

TEST_F(ClapProcessTest, ZeroFrameBlockNeedsNoBuffersAndConsumesEvents) {
    auto inst = make();
    InputEvents in;
    in.paramValue(0, pid::kOutput, -12.0);
    OutputEvents out;
    clap_process_t p{};
    p.steady_time = -1;
    p.in_events = in.list();
    p.out_events = out.list();
    EXPECT_EQ(inst->plugin()->process(inst->plugin(), &p), CLAP_PROCESS_CONTINUE);
    EXPECT_DOUBLE_EQ(inst->value(pid::kOutput), -12.0);
    EXPECT_EQ(out.size(), 0u);

    // The change reaches the sound at the next block.
    AudioBlock block(kFrames);
    block.fillInput(music);
    ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
    const float gain = float(std::pow(10.0, -12.0 / 20.0));
    for (uint32_t i = 0; i < kFrames; ++i)
        ASSERT_NEAR(block.outL[i], block.inL[i] * gain, 1e-6) << i;
}

// ------------------------------------------------------------ buffers

// With every stage off the output is the input times the gains; one value per
// parameter and block, so a change late in a block applies to all of it.
TEST_F(ClapProcessTest, EveryModuleOffGivesInputTimesGains) {
    auto inst = make();
    for (int b = 0; b < 4; ++b) {
        AudioBlock block(kFrames);
        block.fillInput(music, b * kFrames);
        block.inPlace = b == 3;
        if (b == 1) {
            block.events.paramValue(500, pid::kInput, 6.0);
            block.events.paramValue(500, pid::kOutput, -9.0);
            block.events.paramValue(500, pid::kMix, 0.3);  // no effect without modules
        }
        ASSERT_EQ(block.run(inst->plugin()), CLAP_PROCESS_CONTINUE);
        if (b == 0) {
            EXPECT_EQ(block.outL, block.inL);
            EXPECT_EQ(block.outR, block.inR);
            continue;
        }
        const double gain = std::pow(10.0, 6.0 / 20.0) * std::pow(10.0, -9.0 / 20.0);
        for (uint32_t i = 0; i < kFrames; ++i) {
            ASSERT_NEAR(block.outL[i], block.inL[i] * gain, 2e-6) << b << ":" << i;
            ASSERT_NEAR(block.outR[i], block.inR[i] * gain, 2e-6) << b << ":" << i;
        }
    }
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
    clap_process_t monoOut = record();
    EXPECT_EQ(p->process(p, &monoOut), CLAP_PROCESS_ERROR);
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

    // A mono input fills the left output and leaves the right one as given.
    input.channel_count = 1;
    std::fill(or_.begin(), or_.end(), 3.0f);
    std::fill(l.begin(), l.end(), 0.25f);
    clap_process_t monoIn = record();
    EXPECT_EQ(p->process(p, &monoIn), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(ol, l);
    EXPECT_EQ(or_, std::vector<float>(kFrames, 3.0f));
}

#ifdef CLAPHOST_HAVE_MXCSR
// Denormals are flushed inside the block; the host's own mode comes back.
TEST_F(ClapProcessTest, DenormalsFlushedInsideTheBlockOnly) {
    auto inst = make();
    constexpr unsigned kFtzDaz = 0x8040;
    constexpr unsigned kControl = 0xFFC0;  // without the sticky exception flags
    const unsigned saved = _mm_getcsr();
    for (unsigned mode : {0u, kFtzDaz}) {
        _mm_setcsr((saved & ~kFtzDaz) | mode);
        const unsigned before = _mm_getcsr();
        AudioBlock block(kFrames);
        std::fill(block.inL.begin(), block.inL.end(), 2e-38f);  // normal; a quarter is not
        std::fill(block.inR.begin(), block.inR.end(), 2e-38f);
        block.events.paramValue(0, pid::kOutput, -12.0);
        const clap_process_status status = block.run(inst->plugin());
        const unsigned after = _mm_getcsr();
        _mm_setcsr(saved);
        ASSERT_EQ(status, CLAP_PROCESS_CONTINUE);
        EXPECT_EQ(after & kControl, before & kControl) << "host mode " << mode;
        for (uint32_t i = 0; i < kFrames; ++i) ASSERT_EQ(block.outL[i], 0.0f) << i;
    }
}
#endif

// ------------------------------------------------------------ triggers

// The note filter itself is tested inside the plug-in; here notes must reach
// the sound at their offset, through both dialects.
TEST_F(ClapProcessTest, NotesTriggerAtTheirOffset) {
    StateImage img = oneShotVolume(1);
    img.set(pid::kTrigNote, 1);    // C
    img.set(pid::kTrigOctave, 5);  // "3": notes 48..59
    auto reference = runOnce(img);
    for (uint32_t offset : {0u, 17u, 333u}) {
        auto block = runOnce(img, [&](AudioBlock& b) { b.events.noteOn(offset, 48); });
        EXPECT_TRUE(triggeredAt(*block, *reference, offset)) << offset;
    }
    auto midi = runOnce(img, [](AudioBlock& b) { b.events.midi(200, 0x91, 48, 90); });
    EXPECT_TRUE(triggeredAt(*midi, *reference, 200));

    const std::vector<std::pair<const char*, std::function<void(AudioBlock&)>>> ignored = {
        {"other note", [](AudioBlock& b) { b.events.noteOn(200, 49); }},
        {"midi velocity 0", [](AudioBlock& b) { b.events.midi(200, 0x90, 48, 0); }},
        {"filter changed earlier in the block",
         [](AudioBlock& b) {
             b.events.paramValue(0, pid::kTrigNote, 2);  // C#
             b.events.noteOn(200, 48);
         }},
        {"note on outside the core space",
         [](AudioBlock& b) {
             clap_event_note_t ev{};
             ev.header = {sizeof ev, 200, 7, CLAP_EVENT_NOTE_ON, 0};
             ev.note_id = -1;
             ev.key = 48;
             ev.velocity = 1.0;
             b.events.add(ev.header);
         }},
    };
    for (const auto& [name, add] : ignored)
        EXPECT_TRUE(untouched(*runOnce(img, add), *reference)) << name;
    EXPECT_TRUE(host.logs.empty());
    EXPECT_EQ(host.flushRequests, 0);
}

TEST_F(ClapProcessTest, SidechainPortsThatTriggerAndThoseThatCannot) {
    const StateImage img = oneShotVolume(2);
    auto hit = [] {  // 0.5 (-6 dB) from frame 300 on
        std::vector<float> v(kFrames, 0.0f);
        std::fill(v.begin() + 300, v.end(), 0.5f);
        return v;
    };
    const std::vector<float> silence(kFrames, 0.0f);
    auto reference = runOnce(img, [&](AudioBlock& b) { b.sidechain = {silence, silence}; }, quiet);
    struct Case {
        const char* name;
        std::function<void(AudioBlock&)> prepare;
        bool triggers;
    };
    const Case cases[] = {
        {"stereo", [&](AudioBlock& b) { b.sidechain = {hit(), hit()}; }, true},
        {"mono", [&](AudioBlock& b) { b.sidechain = {hit()}; }, true},
        {"right channel alone", [&](AudioBlock& b) { b.sidechain = {silence, hit()}; }, true},
        {"null right falls back to left", [&](AudioBlock& b) { b.sidechain = {hit(), {}}; }, true},
        {"no port", [](AudioBlock& b) { b.sidechainPort = false; }, false},
        {"no channels", [](AudioBlock& b) { b.sidechain.clear(); }, false},
        {"null left", [&](AudioBlock& b) { b.sidechain = {{}, hit()}; }, false},
        {"64-bit buffers only",
         [&](AudioBlock& b) {
             b.sidechain = {hit(), hit()};
             b.sidechain64Only = true;
         },
         false},
    };
    for (const Case& c : cases) {
        auto block = runOnce(img, c.prepare, quiet);
        if (c.triggers) {
            EXPECT_TRUE(triggeredAt(*block, *reference, 300)) << c.name;
        } else {
            EXPECT_TRUE(untouched(*block, *reference)) << c.name;
        }
    }
}

// ------------------------------------------------------------ lifecycle

TEST_F(ClapProcessTest, ResetAndReactivationRestartTheRunningState) {
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
    ASSERT_TRUE(inst->activate(48000.0));
    EXPECT_EQ(runBlock(0), first);
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
TEST_F(ClapBlockSizeTest, InstancesProcessIndependently) {
    const auto alone = render({512}, 1024, {700});
    Instance other(module, host);
    ASSERT_TRUE(other.load(img.encode()));
    ASSERT_TRUE(other.activate());
    std::vector<float> together;
    {
        Instance inst(module, host);
        ASSERT_TRUE(inst.load(img.encode()));
        ASSERT_TRUE(inst.activate(48000.0, 1, 1024));
        std::vector<float> right;
        for (uint32_t start = 0; start < kTotal; start += 512) {
            AudioBlock block(512), noise(512);
            block.fillInput(music, start);
            noise.fillInput(music, start + 99);
            if (start == 512) block.events.noteOn(700 - 512, 60);
            noise.events.noteOn(5, 60);
            ASSERT_EQ(noise.run(other.plugin()), CLAP_PROCESS_CONTINUE);
            ASSERT_EQ(block.run(inst.plugin()), CLAP_PROCESS_CONTINUE);
            together.insert(together.end(), block.outL.begin(), block.outL.end());
            right.insert(right.end(), block.outR.begin(), block.outR.end());
        }
        together.insert(together.end(), right.begin(), right.end());
    }
    EXPECT_EQ(together, alone);
}

}  // namespace
}  // namespace claphost
