// Gestures from two producers through their own lanes to one consumer.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "wrapper/edit_queue.h"

namespace norvale::vst3 {
namespace {

constexpr uint32_t kParams = 83;
constexpr int kMessagesPerProducer = 500000;

struct Recorder : EditSink {
    std::vector<int> begins = std::vector<int>(kParams), ends = std::vector<int>(kParams);
    std::vector<double> last = std::vector<double>(kParams, -1.0);
    int misordered = 0;
    bool open[kParams] = {};
    void begin(uint32_t i) override { misordered += begins[i]++ != ends[i]; }
    void perform(uint32_t i, double value) override { last[i] = value; }
    void end(uint32_t i) override { misordered += ++ends[i] != begins[i]; }
};

// begin, three values, end, on parameter after parameter.
struct Expected {
    std::vector<int> gestures = std::vector<int>(kParams);
    std::vector<double> last = std::vector<double>(kParams, -1.0);
};

Expected produce(EditLane& lane, int seed) {
    Expected expected;
    for (int n = 0, step = 0; n < kMessagesPerProducer; ++step) {
        const uint32_t id = static_cast<uint32_t>(step * 7 + seed) % kParams;
        lane.post(EditKind::Begin, id);
        for (int v = 0; v < 3; ++v)
            lane.post(EditKind::Value, id, expected.last[id] = step + v);
        lane.post(EditKind::End, id);
        ++expected.gestures[id];
        n += 5;
    }
    return expected;
}

TEST(EditQueue, TwoProducersLoseNoBeginOrEndAndKeepTheLastValue) {
    EditLane audio(kParams), main(kParams);
    Recorder fromAudio, fromMain;
    std::atomic<int> running{2};
    Expected expectAudio, expectMain;
    std::thread a([&] { expectAudio = produce(audio, 1), --running; });
    std::thread m([&] { expectMain = produce(main, 4), --running; });
    for (int round = 0; running > 0; ++round) {
        audio.drain(fromAudio, fromAudio.open);
        main.drain(fromMain, fromMain.open);
        // A slow consumer now and then fills the rings.
        if (round % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    a.join();
    m.join();
    for (int i = 0; i < 2; ++i) {
        audio.drain(fromAudio, fromAudio.open);
        main.drain(fromMain, fromMain.open);
    }
    for (auto [got, want] : {std::pair{&fromAudio, &expectAudio}, {&fromMain, &expectMain}}) {
        EXPECT_EQ(got->misordered, 0);
        EXPECT_EQ(got->begins, want->gestures);
        EXPECT_EQ(got->ends, want->gestures);
        EXPECT_EQ(got->last, want->last);
    }
}

} // namespace
} // namespace norvale::vst3
