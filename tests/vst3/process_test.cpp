// One VST 3 process call end to end, and the lifecycle around it: flushes,
// block sizes, busses the host leaves out, notes on the audio thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

#include "vst3/vst3_host.h"

// From alloc_count.cpp: allocations on this thread while counting.
extern thread_local bool tCounting;
extern thread_local size_t tAllocations;

namespace vst3host {
namespace {

constexpr ParamID kOutputGain = 2;
constexpr float kStale = 1234.0f;

// Noise in (main and sidechain), a stale output, parameter changes, events.
struct Block {
    std::vector<float> buffers[6];
    float* channels[3][2];
    AudioBusBuffers inputs[2]{}, out{};
    ParamChanges changes;
    EventList events;
    ProcessData data{};

    explicit Block(int32 frames) {
        std::minstd_rand noise(1);
        for (int i = 0; i < 6; ++i) {
            buffers[i].resize(frames, kStale);
            for (float& x : buffers[i])
                x = i < 4 ? float(noise()) / float(noise.max()) - 0.5f : kStale;
            channels[i / 2][i % 2] = buffers[i].data();
        }
        for (int bus = 0; bus < 3; ++bus)
            (bus < 2 ? inputs[bus] : out).channelBuffers32 = channels[bus];
        inputs[0].numChannels = inputs[1].numChannels = out.numChannels = 2;
        data.numSamples = frames;
        data.numInputs = data.numOutputs = 1;
        data.inputs = inputs;
        data.outputs = &out;
        data.inputParameterChanges = &changes;
        data.inputEvents = &events;
    }
    double rms(int channel = 0) const {
        double sum = 0;
        for (float x : buffers[4 + channel])
            sum += double(x) * x;
        return std::sqrt(sum / double(buffers[4].size()));
    }
};

// The validators cycle the lifecycle; what they never try is a block before
// activation, which must fail and write nothing. The sidechain is an aux bus.
TEST(Lifecycle, ProcessBeforeActivationFailsAndTheSidechainIsAux) {
    Instance instance;
    ASSERT_TRUE(instance.component);
    BusInfo side{};
    instance.component->getBusInfo(kAudio, kInput, 1, side);
    EXPECT_EQ(side.busType, kAux);
    Block block(256);
    EXPECT_EQ(instance.processor->process(block.data), kNotInitialized);
    EXPECT_EQ(block.buffers[4][0], kStale);
    ASSERT_TRUE(instance.activate(512));
    EXPECT_EQ(instance.processor->process(block.data), kResultOk);
    EXPECT_NE(block.buffers[4][0], kStale);
}

struct Irregular {
    const char* name;
    void (*change)(Block&);
    bool silent; // a main-bus mismatch writes silence
};

class IrregularBlocks : public testing::TestWithParam<Irregular> {};

// Every irregular block succeeds, delivers its parameter changes and leaves
// no stale output behind.
TEST_P(IrregularBlocks, SucceedDeliverValuesAndLeaveNoStaleOutput) {
    Instance instance;
    instance.component->activateBus(kAudio, kInput, 1, true);
    ASSERT_TRUE(instance.activate(512));
    Block before(512), block(512), after(512);
    ASSERT_EQ(instance.processor->process(before.data), kResultOk);
    block.data.numInputs = 2;
    block.changes.set(kOutputGain, 0.0);
    GetParam().change(block);
    EXPECT_EQ(instance.processor->process(block.data), kResultOk);
    ASSERT_EQ(instance.processor->process(after.data), kResultOk);
    EXPECT_LT(after.rms(), 0.5 * before.rms());
    if (block.data.numSamples == 0 || block.data.numOutputs == 0 || !block.out.channelBuffers32)
        return;
    for (float x : block.buffers[4]) {
        ASSERT_NE(x, kStale);
        ASSERT_TRUE(!GetParam().silent || x == 0.0f);
    }
    for (int c = 0; c < block.out.numChannels; ++c) // a silent channel is flagged
        EXPECT_EQ(block.out.silenceFlags >> c & 1, block.rms(c) == 0.0) << c;
}

INSTANTIATE_TEST_SUITE_P(
    Vst3, IrregularBlocks,
    testing::Values(
        Irregular{"ZeroSamples", [](Block& b) { b.data.numSamples = 0; }, false},
        Irregular{"NoBusses", [](Block& b) { b.data.numInputs = b.data.numOutputs = 0; }, false},
        Irregular{"NullBuffers", [](Block& b) { b.out.channelBuffers32 = nullptr; }, false},
        Irregular{"NoSidechainBus", [](Block& b) { b.data.numInputs = 1; }, false},
        Irregular{"NoSidechainChannels", [](Block& b) { b.inputs[1].numChannels = 0; }, false},
        Irregular{"NullSidechain", [](Block& b) { b.inputs[1].channelBuffers32 = nullptr; }, false},
        Irregular{"MonoMainInput", [](Block& b) { b.inputs[0].numChannels = 1; }, false},
        Irregular{"MonoMainOutput", [](Block& b) { b.out.numChannels = 1; }, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A block without a main input sounds as one whose input is silent, whatever
// old audio the host's output buffers still hold.
TEST(Processing, NoMainInputIsSilenceNotTheOldOutput) {
    Block missing(512), silent(512);
    for (Block* block : {&missing, &silent})
        for (int c = 0; c < 2; ++c) // the noise also stands as old audio in the output
            std::copy(block->buffers[c].begin(), block->buffers[c].end(),
                      block->buffers[4 + c].begin());
    missing.data.numInputs = 0;
    for (int c = 0; c < 2; ++c)
        std::fill(silent.buffers[c].begin(), silent.buffers[c].end(), 0.0f);
    for (Block* block : {&missing, &silent}) {
        Instance instance;
        ASSERT_TRUE(instance.activate(512));
        ASSERT_EQ(instance.processor->process(block->data), kResultOk);
    }
    EXPECT_EQ(missing.buffers[4], silent.buffers[4]);
    EXPECT_EQ(missing.buffers[5], silent.buffers[5]);
}

// Every automation point of a queue lands on its sample, as in one CLAP block.
TEST(Processing, RandomBlockSizesMatchOneClapRender) {
    std::minstd_rand random(7);
    std::vector<int32> sizes(500);
    int32 total = 0;
    for (int32& size : sizes)
        total += size = 1 + int32(random() % 8191);
    Block pieces(total);
    claphost::TestHost host;
    claphost::Instance reference(clapFace(), host);
    claphost::AudioBlock whole{uint32_t(total)};
    whole.inL = pieces.buffers[0], whole.inR = pieces.buffers[1];
    Instance instance;
    ASSERT_TRUE(reference.activate(48000.0, 1, uint32_t(total)) && instance.activate(8191));
    std::vector<ParamChanges> changes(500);
    for (int32 at = 0, i = 0; i < 500; at += sizes[i++])
        for (const int32 offset : {0, sizes[i] / 3, sizes[i] / 2}) {
            const double normalized = double(random() % 100) / 100.0;
            changes[i].set(kOutputGain, normalized, offset);
            whole.events.paramValue(
                uint32_t(at + offset), kOutputGain,
                instance.controller->normalizedParamToPlain(kOutputGain, normalized));
        }
    ASSERT_EQ(whole.run(reference.plugin()), CLAP_PROCESS_CONTINUE);
    for (int32 at = 0, i = 0; i < 500; at += sizes[i++]) {
        float* in[2] = {pieces.channels[0][0] + at, pieces.channels[0][1] + at};
        float* out[2] = {pieces.channels[2][0] + at, pieces.channels[2][1] + at};
        pieces.inputs[0].channelBuffers32 = in;
        pieces.out.channelBuffers32 = out;
        pieces.data.numSamples = sizes[i];
        pieces.data.inputParameterChanges = &changes[i];
        ASSERT_EQ(instance.processor->process(pieces.data), kResultOk);
    }
    double worst = 0;
    for (int32 i = 0; i < total; ++i)
        worst = std::max({worst, double(std::fabs(whole.outL[i] - pieces.buffers[4][i])),
                          double(std::fabs(whole.outR[i] - pieces.buffers[5][i]))});
    EXPECT_LT(worst, 1e-5);
}

// Main-thread calls (the tail asked for densely, as some hosts do) never
// silence a block, and a state saved while blocks run holds the value the
// host set just before.
TEST(Processing, MainThreadCallsNeverSilenceABlock) {
    Instance instance, reader;
    ASSERT_TRUE(instance.activate(32));
    std::atomic<bool> running{true};
    std::thread tail([&] {
        while (running)
            instance.processor->getTailSamples();
    });
    int saves = 0, stale = 0;
    std::thread main([&] { // the resonance and the output set, then saved
        for (int i = 0; running; ++i) {
            const double value = (i % 10) / 10.0;
            instance.controller->setParamNormalized(15, value);
            instance.controller->setParamNormalized(kOutputGain, value);
            reader.setState(instance.state());
            ++saves;
            stale += std::abs(reader.controller->getParamNormalized(kOutputGain) - value) > 1e-9;
        }
    });
    int silent = 0;
    for (int32 i = 0; i < 20000; ++i) {
        Block block(32);
        instance.processor->process(block.data);
        silent += block.rms() == 0.0;
    }
    running = false;
    tail.join(), main.join();
    EXPECT_EQ(silent, 0);
    EXPECT_GT(saves, 10);
    EXPECT_EQ(stale, 0);
}

struct Restarts : Local<IComponentHandler> {
    std::vector<int32> flags;
    tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
    tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32 f) override { return flags.push_back(f), kResultOk; }
};

// A new tail reaches the host on the main thread as a latency restart, the
// flag VST 3 has for it. A mono main input is taken, surround refused.
TEST(Processing, TailChangesRestartAndTheInputMayBeMono) {
    Restarts handler; // outlives the instance
    Instance instance;
    instance.controller->setComponentHandler(&handler);
    SpeakerArrangement surround[] = {SpeakerArr::k51, SpeakerArr::kStereo},
                       mono[] = {SpeakerArr::kMono, SpeakerArr::kStereo}, out = SpeakerArr::kStereo;
    EXPECT_EQ(instance.processor->setBusArrangements(surround, 2, &out, 1), kResultFalse);
    EXPECT_EQ(instance.processor->setBusArrangements(mono, 2, &out, 1), kResultTrue);
    ASSERT_TRUE(instance.activate(256));
    Block block(256);
    block.changes.set(34, 1.0); // time on
    instance.processor->process(block.data);
    EXPECT_TRUE(handler.flags.empty()); // not from the audio thread
    instance.state();                   // a main-thread call does the deferred work
    EXPECT_EQ(handler.flags, std::vector<int32>{kLatencyChanged});
    EXPECT_GT(instance.processor->getTailSamples(), 24000u);
}

TEST(Processing, NoteFloodAllocatesNothing) {
    Instance instance;
    ASSERT_TRUE(instance.activate(256));
    Block block(256);
    for (int i = 0; i < 20000; ++i) {
        Event e{};
        e.sampleOffset = i % 256;
        e.type = i % 2 ? Event::kNoteOffEvent : Event::kNoteOnEvent;
        e.noteOn = {int16(i % 16), int16(i % 128), 0.0f, 1.0f, 0, i};
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
