// Curves cross from the editing thread to the audio thread without a lock;
// under constant republishing the audio side must only ever run on whole
// curve sets, never part of one and part of another.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "engine_fixture.h"

namespace {

using namespace norvale;
using namespace norvale::fixture;

double energy(const std::vector<float>& x, size_t from) {
    double e = 0.0;
    for (size_t i = from; i < x.size(); ++i) e += static_cast<double>(x[i]) * x[i];
    return e;
}

TEST(CurveHandover, ProcessNeverRunsOnAMixedSet) {
    // Volume curves sit at the start of a set, pan curves near its end. Set A:
    // volume 0.25 (gain 1/16) and pan 0 (right silent); set B: volume 1 and
    // pan 1 (left silent). A block run on a mix shows as a loud left or a
    // quiet right.
    CurveSet a = neutralCurves(), b = neutralCurves();
    setFlat(a, kVol, 0.25f);
    setFlat(a, kPan, 0.0f);
    setFlat(b, kVol, 1.0f);
    setFlat(b, kPan, 1.0f);
    EngineParams p;
    p.volOn = p.panOn = true;
    p.volSmooth = p.panSmooth = 0.0f;
    p.splitLow = 20.0f;  // the whole tone lives in the mid band
    p.splitHigh = 20000.0f;
    auto engine = makeEngine(48000.0);
    engine->setParams(p);
    engine->publishCurves(a);

    const size_t frames = 256, settled = 160;  // the smoothing has closed to 1e-5 by then
    std::vector<float> tone(frames);
    for (size_t i = 0; i < frames; ++i) tone[i] = 0.5f * static_cast<float>(std::sin(2.0 * kPi * i / 12.0));
    const double in = energy(tone, settled);

    // The writer pauses 0 to 20 us between publications: the reader keeps
    // running into one under way, and a writer that never paused would starve it.
    std::atomic<bool> stop{false};
    std::atomic<int> published{0};
    std::thread publisher([&] {
        std::minstd_rand rng(17);
        for (int n = 0; !stop.load(std::memory_order_relaxed); ++n) {
            engine->publishCurves((n & 1) ? b : a);
            published.store(n + 1);
            const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(rng() % 20000);
            while (std::chrono::steady_clock::now() < until) {
            }
        }
    });
    while (published.load() < 2) std::this_thread::yield();

    int seenA = 0, seenB = 0, mixed = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    for (int block = 0; block < 4000 && std::chrono::steady_clock::now() < until; ++block) {
        std::vector<float> left = tone, right = tone;
        engine->process(left.data(), right.data(), frames, -1.0, 120.0, nullptr, nullptr, nullptr, 0);
        if (block < 4) continue;  // the crossover settles
        const double l = energy(left, settled) / in, r = energy(right, settled) / in;
        if (r < 1e-4 && l > 0.002 && l < 0.008)
            ++seenA;
        else if (l < 1e-4 && r > 0.5 && r < 2.0)
            ++seenB;
        else
            ++mixed;
    }
    stop.store(true);
    publisher.join();
    EXPECT_EQ(mixed, 0) << "blocks that ran on a mixed set (whole: " << seenA << " + " << seenB << ")";
    EXPECT_GT(seenA, 0);
    EXPECT_GT(seenB, 0) << "the engine never picked up a republished set";
}

}  // namespace
