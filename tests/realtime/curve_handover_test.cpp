// Curves cross from the editing thread to the audio thread without a lock;
// under constant republishing the audio side must still only ever see whole
// curve sets, never part of one and part of another.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "engine_fixture.h"

namespace {

using namespace norvale;
using namespace norvale::fixture;

// Publishes two sets alternately until stopped, with pauses of 0 to 20 us
// between publications: the reader keeps running into a publication under
// way, and a writer that never paused would starve it completely.
class Publisher {
public:
    Publisher(Engine& engine, const CurveSet& a, const CurveSet& b)
        : thread_([this, &engine, &a, &b] {
              std::minstd_rand rng(17);
              uint64_t n = 0;
              while (!stop_.load(std::memory_order_relaxed)) {
                  engine.publishCurves((n & 1) ? b : a);
                  count_.store(++n, std::memory_order_relaxed);
                  const auto pause = std::chrono::nanoseconds(rng() % 20000);
                  const auto until = std::chrono::steady_clock::now() + pause;
                  while (std::chrono::steady_clock::now() < until) {
                  }
              }
          }) {
        while (count_.load() < 2) std::this_thread::yield();
    }
    ~Publisher() {
        stop_.store(true);
        thread_.join();
    }
    uint64_t count() const { return count_.load(); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> count_{0};
    std::thread thread_;
};

bool sameBytes(const CurveSet& x, const CurveSet& y) { return std::memcmp(&x, &y, sizeof(CurveSet)) == 0; }

TEST(CurveHandover, ReadCurvesOnlyEverDeliversWholeSets) {
    // Every one of the 21 curves and the chain differ between the two sets.
    CurveSet a = neutralCurves();
    CurveSet b = neutralCurves();
    for (int m = 0; m < kModuleCount; ++m) {
        setFlat(a, m, 0.25f);
        setFlat(b, m, 1.0f);
        for (int band = 0; band < kBandCount; ++band) b.curves[m][band].fillSteps(8 + m + band);
    }
    a.chainLength = 3;
    a.chain[0] = kVol, a.chain[1] = kFlt, a.chain[2] = kDrv;
    b.chainLength = 4;
    b.chain[0] = kWid, b.chain[1] = kPan, b.chain[2] = kCrs, b.chain[3] = kTim;

    auto engine = makeEngine();
    engine->publishCurves(a);
    CurveSet out = a;
    int seenA = 0, seenB = 0, mixed = 0;
    {
        Publisher publisher(*engine, a, b);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        for (int i = 0; i < 200000 && std::chrono::steady_clock::now() < until; ++i) {
            engine->readCurves(out);
            if (sameBytes(out, a))
                ++seenA;
            else if (sameBytes(out, b))
                ++seenB;
            else
                ++mixed;
        }
    }
    EXPECT_EQ(mixed, 0) << "reads that mixed two sets (whole reads: " << seenA << " + " << seenB << ")";
    EXPECT_GT(seenA, 0);
    EXPECT_GT(seenB, 0) << "the reader never saw a republished set";
}

// Energy of a channel over the settled tail of a block.
double energy(const std::vector<float>& x, size_t from) {
    double e = 0.0;
    for (size_t i = from; i < x.size(); ++i) e += static_cast<double>(x[i]) * x[i];
    return e;
}

TEST(CurveHandover, ProcessNeverRunsOnAMixedSet) {
    // Volume curves sit at the start of a set, pan curves near its end. Set A:
    // volume 0.25 (gain 1/16) and pan 0 (right silent); set B: volume 1 and
    // pan 1 (left silent). A block run on a mix shows as one of the other two
    // combinations: a loud left or a quiet right.
    CurveSet a = neutralCurves();
    CurveSet b = neutralCurves();
    setFlat(a, kVol, 0.25f);
    setFlat(a, kPan, 0.0f);
    setFlat(b, kVol, 1.0f);
    setFlat(b, kPan, 1.0f);

    EngineParams p;
    p.volOn = true;
    p.panOn = true;
    p.volSmooth = 0.0f;
    p.panSmooth = 0.0f;
    // The whole tone lives in the mid band.
    p.splitLow = 20.0f;
    p.splitHigh = 20000.0f;

    auto engine = makeEngine(48000.0);
    engine->setParams(p);
    engine->publishCurves(a);

    const size_t frames = 256;
    const size_t settled = 160;  // the smoothing has closed to 1e-5 by then
    std::vector<float> tone(frames);
    for (size_t i = 0; i < frames; ++i) tone[i] = 0.5f * static_cast<float>(std::sin(2.0 * kPi * i / 12.0));
    const double in = energy(tone, settled);

    int seenA = 0, seenB = 0, mixed = 0;
    {
        Publisher publisher(*engine, a, b);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
        for (int block = 0; block < 4000 && std::chrono::steady_clock::now() < until; ++block) {
            std::vector<float> left = tone, right = tone;
            engine->process(left.data(), right.data(), frames, -1.0, 120.0, nullptr, nullptr,
                            nullptr, 0);
            if (block < 4) continue;  // the crossover settles
            const double l = energy(left, settled) / in;
            const double r = energy(right, settled) / in;
            if (r < 1e-4 && l > 0.002 && l < 0.008)
                ++seenA;
            else if (l < 1e-4 && r > 0.5 && r < 2.0)
                ++seenB;
            else
                ++mixed;
        }
    }
    EXPECT_EQ(mixed, 0) << "blocks that ran on a mixed set (whole: " << seenA << " + " << seenB << ")";
    EXPECT_GT(seenA, 0);
    EXPECT_GT(seenB, 0) << "the engine never picked up a republished set";
}

}  // namespace
