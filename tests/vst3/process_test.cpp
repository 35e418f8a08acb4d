// One VST 3 process call end to end: flushes, block sizes, busses the host
// leaves out, and notes on the audio thread.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "vst3/vst3_host.h"

// From alloc_count.cpp: allocations on this thread while counting.
extern thread_local bool tCounting;
extern thread_local size_t tAllocations;

namespace vst3host {
namespace {

constexpr ParamID kOutputGain = 2;

struct Block {
    Stereo in, side, out;
    ParamChanges changes;
    EventList events;
    ProcessData data{};
    AudioBusBuffers inputs[2];

    explicit Block(int32 frames, uint32_t seed = 1) : in(frames), side(frames), out(frames) {
        std::minstd_rand noise(seed);
        for (auto* channel : {&in.left, &in.right, &side.left, &side.right})
            for (float& x : *channel)
                x = static_cast<float>(noise()) / noise.max() - 0.5f;
        inputs[0] = in.bus;
        inputs[1] = side.bus;
        data.numSamples = frames;
        data.symbolicSampleSize = kSample32;
        data.numInputs = 1;
        data.inputs = inputs;
        data.numOutputs = 1;
        data.outputs = &out.bus;
        data.inputParameterChanges = &changes;
        data.inputEvents = &events;
    }
    double rms() const {
        double sum = 0;
        for (float x : out.left)
            sum += double(x) * x;
        return std::sqrt(sum / out.left.size());
    }
};

struct Flush {
    const char* name;
    int32 frames;
    bool busses;
    bool nullBuffers;
};

class Flushes : public testing::TestWithParam<Flush> {};

TEST_P(Flushes, SucceedAndDeliverParameterValues) {
    Instance instance;
    ASSERT_TRUE(instance.activate(1024));
    Block before(1024);
    ASSERT_EQ(instance.processor->process(before.data), kResultOk);

    Block flush(1024);
    flush.data.numSamples = GetParam().frames;
    if (!GetParam().busses) flush.data.numInputs = flush.data.numOutputs = 0;
    if (GetParam().nullBuffers)
        flush.inputs[0].channelBuffers32 = flush.out.bus.channelBuffers32 = nullptr;
    flush.changes.set(kOutputGain, 0.0);
    EXPECT_EQ(instance.processor->process(flush.data), kResultOk);

    Block after(1024);
    ASSERT_EQ(instance.processor->process(after.data), kResultOk);
    EXPECT_LT(after.rms(), 0.5 * before.rms());
}

INSTANTIATE_TEST_SUITE_P(Vst3, Flushes,
                         testing::Values(Flush{"ZeroSamples", 0, true, false},
                                         Flush{"NoBusses", 0, false, false},
                                         Flush{"NullBuffers", 64, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Processing, RandomBlockSizesMatchOneClapRender) {
    std::minstd_rand random(7);
    std::vector<int32> sizes(500);
    for (int32& size : sizes)
        size = 1 + static_cast<int32>(random() % 8191);
    int32 total = 0;
    for (int32 size : sizes)
        total += size;
    Block whole(total);

    ClapReference reference;
    ASSERT_TRUE(reference.plugin->activate(reference.plugin, 48000.0, 1, total));
    reference.plugin->start_processing(reference.plugin);
    clap_audio_buffer in{whole.in.channels, nullptr, 2, 0, 0};
    clap_audio_buffer out{whole.out.channels, nullptr, 2, 0, 0};
    clap_process process{};
    process.frames_count = static_cast<uint32_t>(total);
    process.audio_inputs = &in;
    process.audio_inputs_count = 1;
    process.audio_outputs = &out;
    process.audio_outputs_count = 1;
    clap_input_events none{
        nullptr, [](const clap_input_events*) { return 0u; },
        [](const clap_input_events*, uint32_t) -> const clap_event_header* { return nullptr; }};
    clap_output_events sink{
        nullptr, [](const clap_output_events*, const clap_event_header*) { return true; }};
    process.in_events = &none;
    process.out_events = &sink;
    ASSERT_NE(reference.plugin->process(reference.plugin, &process), CLAP_PROCESS_ERROR);
    reference.plugin->stop_processing(reference.plugin);
    reference.plugin->deactivate(reference.plugin);

    Instance instance;
    ASSERT_TRUE(instance.activate(8191));
    Block pieces(total);
    double worst = 0;
    for (int32 at = 0, i = 0; i < 500; at += sizes[i++]) {
        float* inputs[2] = {pieces.in.channels[0] + at, pieces.in.channels[1] + at};
        float* outputs[2] = {pieces.out.channels[0] + at, pieces.out.channels[1] + at};
        pieces.inputs[0].channelBuffers32 = inputs;
        pieces.out.bus.channelBuffers32 = outputs;
        pieces.data.numSamples = sizes[i];
        ASSERT_EQ(instance.processor->process(pieces.data), kResultOk);
    }
    for (size_t i = 0; i < whole.out.left.size(); ++i)
        worst = std::max<double>({worst, std::fabs(whole.out.left[i] - pieces.out.left[i]),
                                  std::fabs(whole.out.right[i] - pieces.out.right[i])});
    EXPECT_LT(worst, 1e-5);
}

struct Missing {
    const char* name;
    void (*change)(Block&);
    bool silent; // a main-bus mismatch writes silence
};

class MissingBusses : public testing::TestWithParam<Missing> {};

TEST_P(MissingBusses, NeverLeaveStaleOutput) {
    Instance instance;
    instance.component->activateBus(kAudio, kInput, 1, true);
    ASSERT_TRUE(instance.activate(512));
    Block block(512);
    block.data.numInputs = 2;
    std::fill(block.out.left.begin(), block.out.left.end(), 1234.0f);
    std::fill(block.out.right.begin(), block.out.right.end(), 1234.0f);
    GetParam().change(block);
    ASSERT_EQ(instance.processor->process(block.data), kResultOk);
    for (float x : block.out.left) {
        ASSERT_NE(x, 1234.0f);
        if (GetParam().silent) {
            ASSERT_EQ(x, 0.0f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Vst3, MissingBusses,
    testing::Values(
        Missing{"NoSidechainBus", [](Block& b) { b.data.numInputs = 1; }, false},
        Missing{"NoSidechainChannels", [](Block& b) { b.inputs[1].numChannels = 0; }, false},
        Missing{"NullSidechain", [](Block& b) { b.inputs[1].channelBuffers32 = nullptr; }, false},
        Missing{"NoMainInput", [](Block& b) { b.data.numInputs = 0; }, false},
        Missing{"MonoMainOutput", [](Block& b) { b.out.bus.numChannels = 1; }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Processing, NoteFloodAllocatesNothing) {
    Instance instance;
    ASSERT_TRUE(instance.activate(256));
    Block block(256);
    for (int i = 0; i < 20000; ++i) {
        Event e{};
        e.sampleOffset = i % 256;
        e.type = i % 2 ? Event::kNoteOffEvent : Event::kNoteOnEvent;
        e.noteOn.channel = static_cast<int16>(i % 16);
        e.noteOn.pitch = static_cast<int16>(i % 128);
        e.noteOn.velocity = 1.0f;
        e.noteOn.noteId = i;
        block.events.events.push_back(e);
    }
    tCounting = true;
    for (int i = 0; i < 20; ++i)
        instance.processor->process(block.data);
    tCounting = false;
    EXPECT_EQ(tAllocations, 0u);
}

} // namespace
} // namespace vst3host
