// Gestures from two producers, each through its own lane, to one consumer.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "wrapper/edit_queue.h"

namespace norvale::vst3 {
namespace {

constexpr uint32_t kParams = 83;

struct Lane : EditSink {
    EditLane ring{kParams};
    std::vector<int> begins = std::vector<int>(kParams), ends = begins, posted = begins;
    std::vector<double> last = std::vector<double>(kParams, -1.0), lastPosted = last;
    int misordered = 0;
    bool open[kParams] = {};
    void begin(uint32_t i) override { misordered += begins[i]++ != ends[i]; }
    void perform(uint32_t i, double value) override { last[i] = value; }
    void end(uint32_t i) override { misordered += ++ends[i] != begins[i]; }

    // Half a million messages: begin, three values, end, parameter after parameter.
    void produce(int seed) {
        for (int step = 0; step < 100000; ++step) {
            const uint32_t id = static_cast<uint32_t>(step * 7 + seed) % kParams;
            ring.post(EditKind::Begin, id);
            for (int v = 0; v < 3; ++v)
                ring.post(EditKind::Value, id, lastPosted[id] = step + v);
            ring.post(EditKind::End, id);
            ++posted[id];
        }
    }
};

TEST(EditQueue, TwoProducersLoseNoBeginOrEndAndKeepTheLastValue) {
    Lane lanes[2];
    std::atomic<int> running{2};
    std::thread audio([&] { lanes[0].produce(1), --running; });
    std::thread main([&] { lanes[1].produce(4), --running; });
    for (int round = 0; running > 0; ++round) {
        for (Lane& lane : lanes)
            lane.ring.drain(lane, lane.open);
        // A slow consumer now and then fills the rings.
        if (round % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    audio.join();
    main.join();
    for (Lane& lane : lanes) {
        lane.ring.drain(lane, lane.open);
        EXPECT_EQ(lane.misordered, 0);
        EXPECT_EQ(lane.begins, lane.posted);
        EXPECT_EQ(lane.ends, lane.posted);
        EXPECT_EQ(lane.last, lane.lastPosted);
    }
}

// What the host hears of parameter 0, in order: "b" begin, "v" a value, "e" end.
struct Log : EditSink {
    std::string calls;
    bool open[kParams] = {};
    void begin(uint32_t i) override { calls += i == 0 ? "b" : ""; }
    void perform(uint32_t i, double) override { calls += i == 0 ? "v" : ""; }
    void end(uint32_t i) override { calls += i == 0 ? "e" : ""; }
};

// A value posted inside a gesture reaches the host before that gesture's
// end, also when the ring was full (of parameter 1) and the gesture was
// counted instead.
TEST(EditQueue, AValueInsideAGestureArrivesBeforeItsEnd) {
    for (const bool full : {false, true}) {
        EditLane ring{kParams};
        for (uint32_t i = 0; full && i < EditLane::kCapacity; ++i)
            ring.post(EditKind::Begin, 1);
        ring.post(EditKind::Begin, 0);
        ring.post(EditKind::Value, 0, 0.5);
        ring.post(EditKind::End, 0);
        Log log;
        ring.drain(log, log.open);
        EXPECT_EQ(log.calls, "bve") << (full ? "full ring" : "room");
    }
}

} // namespace
} // namespace norvale::vst3
