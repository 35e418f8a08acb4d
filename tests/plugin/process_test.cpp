// What a block does inside the plug-in object: the trigger note filter, the
// transport reading and the ring that carries editor events to the host.
#include <gtest/gtest.h>

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

    FakeHost host;
    TestPlugin p;
};

TEST_F(Processing, TriggerNoteFilterInABlock) {
    p.object().values[kParamTrigNote] = 1;    // C
    p.object().values[kParamTrigOctave] = 5;  // octave 3
    AudioBlock block(64);
    block.events.noteOn(3, 48);
    block.events.noteOn(4, 36);
    block.events.noteOn(5, 49);
    block.events.noteOn(6, -1);
    block.events.noteOn(7, 48, 0, 0.8, CLAP_EVENT_NOTE_OFF);
    EXPECT_EQ(triggersOf(block), 1u);

    AudioBlock midi(64);
    midi.events.midi(0, 0x90, 48, 0);  // velocity 0 is a note-off
    midi.events.midi(0, 0x80, 48, 64);
    midi.events.midi(0, 0x91, 48, 100);  // any channel
    midi.events.midi(0, 0x9F, 48, 1);
    EXPECT_EQ(triggersOf(midi), 2u);
}

TEST_F(Processing, AtMostSixtyFourTriggersPerBlock) {
    AudioBlock block(128);
    for (uint32_t i = 0; i < 70; ++i) block.events.noteOn(i, static_cast<int16_t>(i));
    EXPECT_EQ(triggersOf(block), 64u);
}

TEST(NoteFilter, NameAndOctaveChoices) {
    struct Case {
        int note, name, octave;
        bool passes;
    };
    const Case cases[] = {
        {48, 1, 5, true},    {36, 1, 5, false}, {49, 1, 5, false},
        {0, 1, 1, true},     {127, 8, 11, true},                    // C-1, G9
        {61, 2, 0, true},    {60, 2, 0, false},                     // C# in any octave
        {59, 0, 5, true},    {60, 0, 5, false},                     // any note of octave 3
        {0, 0, 0, true},     {127, 0, 0, true},  {128, 0, 0, false}, {-1, 0, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(triggerNotePasses(c.note, c.name, c.octave), c.passes)
            << c.note << " " << c.name << " " << c.octave;
}

TEST(NoteFilter, TriggerListKeepsTheFirstSixtyFour) {
    TriggerList list;
    for (uint32_t i = 0; i < 70; ++i) list.add(i * 2);
    ASSERT_EQ(list.size(), 64u);
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

TEST_F(Processing, RingRefusesBadEntriesAndDropsWhenFull) {
    NorvalePlugin& o = p.object();
    EXPECT_FALSE(o.pushOut(kParamCount, 0.0, kOutValue));
    EXPECT_FALSE(o.pushOut(kParamMix, 0.0, 3));
    for (uint32_t i = 0; i < OutQueue::kCapacity; ++i)
        ASSERT_TRUE(o.pushOut(kParamMix, i / 1000.0, kOutValue));
    EXPECT_FALSE(o.pushOut(kParamMix, 0.9, kOutValue));
    EXPECT_EQ(host.flushRequests, int(OutQueue::kCapacity));

    // Entries wait for a call that brings an output list.
    p.ext<clap_plugin_params>(CLAP_EXT_PARAMS).flush(p.plugin, nullptr, nullptr);
    OutputEvents out;
    p.ext<clap_plugin_params>(CLAP_EXT_PARAMS).flush(p.plugin, nullptr, out.list());
    ASSERT_EQ(out.size(), OutQueue::kCapacity);
    EXPECT_EQ(out.as<clap_event_param_value>(out.size() - 1).value, (OutQueue::kCapacity - 1) / 1000.0);
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
