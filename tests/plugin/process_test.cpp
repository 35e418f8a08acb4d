#include <gtest/gtest.h>

#include <clap/ext/params.h>

#include "plugin/denormals.h"
#include "plugin/note_filter.h"
#include "plugin/transport.h"
#include "tests/plugin/fake_host.h"

namespace norvale::test {
namespace {

class Processing : public ::testing::Test {
protected:
    Processing() : p(host) { p.plugin->activate(p.plugin, 48000.0, 1, 1024); }

    uint32_t triggersOf(AudioBlock& block) {
        const uint32_t before = p.object().engine.triggerCount();
        EXPECT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
        return p.object().engine.triggerCount() - before;
    }
    void chooseTriggerNote(double note, double octave) {
        p.object().values[kParamTrigNote] = note;
        p.object().values[kParamTrigOctave] = octave;
    }

    FakeHost host;
    TestPlugin p;
};

TEST_F(Processing, ParameterEventsAreClampedAndUnknownIdsIgnored) {
    AudioBlock block(32);
    block.events.paramValue(kParamMix, 3.0);
    block.events.paramValue(kParamInput, -100.0);
    block.events.paramValue(kParamVolRate, 2.0);
    block.events.paramValue(kParamVolRate, 5.0);  // the last value of a block wins
    block.events.paramValue(kParamCount, 0.5);
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(p.value(kParamMix), 1.0);
    EXPECT_EQ(p.value(kParamInput), -24.0);
    EXPECT_EQ(p.value(kParamVolRate), 5.0);
    EXPECT_EQ(p.object().engine.params().volRate, 5);
    EXPECT_TRUE(p.object().presetEdited.load());
}

TEST_F(Processing, FlushAppliesValuesOnlyAndIgnoresUnknownIds) {
    EventList events;
    events.paramValue(kParamCount, 0.5);
    events.noteOn(60);  // notes mean nothing outside a block
    const auto& params = p.ext<clap_plugin_params>(CLAP_EXT_PARAMS);
    p.object().paramsDirty = false;
    params.flush(p.plugin, events.input(), nullptr);
    EXPECT_FALSE(p.object().paramsDirty.load());
    EXPECT_FALSE(p.object().presetEdited.load());

    events.paramValue(kParamOutput, 6.0);
    params.flush(p.plugin, events.input(), nullptr);
    EXPECT_EQ(p.value(kParamOutput), 6.0);
    EXPECT_TRUE(p.object().paramsDirty.load());
    EXPECT_EQ(p.object().engine.triggerCount(), 0u);
}

TEST_F(Processing, CopiesInputToOutputUnlessInPlace) {
    AudioBlock block(64);
    for (size_t i = 0; i < 64; ++i) {
        block.inLeft[i] = 0.01f * i;
        block.inRight[i] = -0.02f * i;
    }
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    // Every stage is off and every gain at 0 dB: the rack passes the input.
    EXPECT_EQ(block.outLeft, block.inLeft);
    EXPECT_EQ(block.outRight, block.inRight);

    float* same[2] = {block.outLeft.data(), block.outRight.data()};
    clap_audio_buffer inPlace[2] = {};
    inPlace[0].data32 = same;
    inPlace[0].channel_count = 2;
    block.process.audio_inputs = inPlace;
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(block.outLeft, block.inLeft);
}

TEST_F(Processing, MissingOutputIsAnErrorButEventsStillApply) {
    AudioBlock block(16);
    block.events.paramValue(kParamMix, 0.5);
    block.process.audio_outputs_count = 0;
    EXPECT_EQ(block.run(p), CLAP_PROCESS_ERROR);
    EXPECT_EQ(p.value(kParamMix), 0.5);

    EXPECT_EQ(p.plugin->process(p.plugin, nullptr), CLAP_PROCESS_ERROR);
}

TEST_F(Processing, TriggerNoteFilterInABlock) {
    chooseTriggerNote(1, 5);  // C, octave 3
    AudioBlock block(64);
    block.events.noteOn(48, 3);
    block.events.noteOn(36, 4);
    block.events.noteOn(49, 5);
    block.events.noteOn(-1, 6);
    block.events.noteOn(48, 7, CLAP_EVENT_NOTE_OFF);
    EXPECT_EQ(triggersOf(block), 1u);

    AudioBlock midi(64);
    midi.events.midi(0x90, 48, 0);  // velocity 0 is a note-off
    midi.events.midi(0x80, 48, 64);
    midi.events.midi(0x91, 48, 100);  // any channel
    midi.events.midi(0x9F, 48, 1);
    EXPECT_EQ(triggersOf(midi), 2u);
}

TEST_F(Processing, AtMostSixtyFourTriggersPerBlock) {
    AudioBlock block(128);
    for (uint32_t i = 0; i < 70; ++i) block.events.noteOn(static_cast<int16_t>(i), i);
    EXPECT_EQ(triggersOf(block), 64u);
}

TEST(NoteFilter, NameAndOctaveChoices) {
    EXPECT_TRUE(triggerNotePasses(48, 1, 5));
    EXPECT_FALSE(triggerNotePasses(36, 1, 5));
    EXPECT_FALSE(triggerNotePasses(49, 1, 5));
    EXPECT_TRUE(triggerNotePasses(0, 1, 1));     // C-1
    EXPECT_TRUE(triggerNotePasses(127, 8, 11));  // G9
    EXPECT_TRUE(triggerNotePasses(61, 2, 0));    // C# in any octave
    EXPECT_FALSE(triggerNotePasses(60, 2, 0));
    EXPECT_TRUE(triggerNotePasses(59, 0, 5));  // any note of octave 3
    EXPECT_FALSE(triggerNotePasses(60, 0, 5));
    for (int note = 0; note < 128; ++note) EXPECT_TRUE(triggerNotePasses(note, 0, 0));
    EXPECT_FALSE(triggerNotePasses(128, 0, 0));
    EXPECT_FALSE(triggerNotePasses(-1, 0, 0));
}

TEST(NoteFilter, TriggerListKeepsTheFirstSixtyFour) {
    TriggerList list;
    for (uint32_t i = 0; i < 70; ++i) list.add(i * 2);
    ASSERT_EQ(list.size(), 64u);
    EXPECT_EQ(list.data()[0], 0u);
    EXPECT_EQ(list.data()[63], 126u);
}

TEST(Transport, PositionOnlyWhilePlayingOnATimeline) {
    EXPECT_EQ(readTransport(nullptr).songBeats, -1.0);
    EXPECT_EQ(readTransport(nullptr).tempo, 0.0);

    clap_event_transport t = {};
    t.song_pos_beats = 5 * CLAP_BEATTIME_FACTOR / 2;
    t.tempo = 140.0;
    t.flags = CLAP_TRANSPORT_HAS_BEATS_TIMELINE;  // stopped
    EXPECT_EQ(readTransport(&t).songBeats, -1.0);
    EXPECT_EQ(readTransport(&t).tempo, 140.0);  // read without its flag

    t.flags = CLAP_TRANSPORT_IS_PLAYING;
    EXPECT_EQ(readTransport(&t).songBeats, -1.0);

    t.flags = CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_IS_PLAYING;
    EXPECT_EQ(readTransport(&t).songBeats, 2.5);
}

TEST_F(Processing, WithoutSongPositionTheEngineKeepsItsOwnBeat) {
    AudioBlock block(480);
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    EXPECT_DOUBLE_EQ(p.object().engine.beatPosition(), 0.02);  // 120 BPM without a tempo

    clap_event_transport t = {};
    t.flags = CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_IS_PLAYING;
    t.tempo = 60.0;
    block.process.transport = &t;
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    EXPECT_DOUBLE_EQ(p.object().engine.beatPosition(), 0.02);

    t.flags = CLAP_TRANSPORT_HAS_BEATS_TIMELINE;
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    EXPECT_DOUBLE_EQ(p.object().engine.beatPosition(), 0.03);
}

#if defined(__SSE2__)
TEST(Denormals, FlushModesHoldOnlyWithinTheGuard) {
    const unsigned before = _mm_getcsr();
    {
        const ScopedFlushToZero guard;
        EXPECT_EQ(_mm_getcsr() & 0x8040u, 0x8040u);
    }
    EXPECT_EQ(_mm_getcsr(), before);
}
#endif

// Gestures and values from the editor on their way to the host.
TEST_F(Processing, QueuedEventsReachTheHostInOrderEvenInEmptyBlocks) {
    NorvalePlugin& o = p.object();
    ASSERT_TRUE(o.pushOut(kParamMix, 0.0, kOutGestureBegin));
    ASSERT_TRUE(o.pushOut(kParamMix, 0.2, kOutValue));
    ASSERT_TRUE(o.pushOut(kParamMix, 0.4, kOutValue));
    ASSERT_TRUE(o.pushOut(kParamMix, 9.0, kOutValue));
    ASSERT_TRUE(o.pushOut(kParamMix, 0.0, kOutGestureEnd));
    EXPECT_EQ(host.flushRequests, 5);
    EXPECT_FALSE(o.pushOut(kParamCount, 0.0, kOutValue));
    EXPECT_FALSE(o.pushOut(kParamMix, 0.0, 3));

    AudioBlock block(0);
    block.process.audio_outputs_count = 0;  // not needed for an empty block
    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    const auto& seen = block.sent.seen;
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(seen[0].size, sizeof(clap_event_param_gesture));
    EXPECT_EQ(seen[1].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(seen[1].size, sizeof(clap_event_param_value));
    EXPECT_EQ(seen[1].value, 0.2);
    EXPECT_EQ(seen[1].noteId, -1);
    EXPECT_EQ(seen[1].port, -1);
    EXPECT_EQ(seen[1].channel, -1);
    EXPECT_EQ(seen[1].key, -1);
    EXPECT_EQ(seen[2].value, 0.4);
    EXPECT_EQ(seen[3].value, 1.0);  // clamped to the row
    EXPECT_EQ(seen[4].type, CLAP_EVENT_PARAM_GESTURE_END);
    for (const auto& e : seen) EXPECT_EQ(e.paramId, uint32_t(kParamMix));

    ASSERT_EQ(block.run(p), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(seen.size(), 5u);
}

TEST_F(Processing, EntriesWaitForACallWithAnOutputList) {
    NorvalePlugin& o = p.object();
    ASSERT_TRUE(o.pushOut(kParamOutput, 1.0, kOutValue));
    const auto& params = p.ext<clap_plugin_params>(CLAP_EXT_PARAMS);
    params.flush(p.plugin, nullptr, nullptr);
    OutputEvents out;
    params.flush(p.plugin, nullptr, out.output());
    ASSERT_EQ(out.seen.size(), 1u);
    EXPECT_EQ(out.seen[0].paramId, uint32_t(kParamOutput));
}

TEST_F(Processing, FullRingDropsNewEntries) {
    NorvalePlugin& o = p.object();
    for (uint32_t i = 0; i < OutQueue::kCapacity; ++i)
        ASSERT_TRUE(o.pushOut(kParamMix, i / 1000.0, kOutValue));
    EXPECT_FALSE(o.pushOut(kParamMix, 0.9, kOutValue));
    EXPECT_EQ(host.flushRequests, int(OutQueue::kCapacity));

    OutputEvents out;
    p.ext<clap_plugin_params>(CLAP_EXT_PARAMS).flush(p.plugin, nullptr, out.output());
    ASSERT_EQ(out.seen.size(), OutQueue::kCapacity);
    EXPECT_EQ(out.seen.back().value, (OutQueue::kCapacity - 1) / 1000.0);
    EXPECT_TRUE(o.pushOut(kParamMix, 0.9, kOutValue));
}

TEST(OutQueueRing, SlotsAreReusedInOrder) {
    OutQueue queue;
    uint32_t delivered = 0;
    for (uint32_t round = 0; round < 3 * OutQueue::kCapacity + 7; ++round) {
        ASSERT_TRUE(queue.push({round, 0.0, kOutValue}));
        queue.drain([&](const OutEvent& e) { EXPECT_EQ(e.paramId, delivered++); });
    }
    EXPECT_EQ(queue.pending(), 0u);
}

}  // namespace
}  // namespace norvale::test
