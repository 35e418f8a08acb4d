// The audio path must never touch the heap: every allocation or free made by
// the audio thread while it runs the engine is counted and must be zero.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "engine_fixture.h"

namespace {

using namespace norvale;
using namespace norvale::fixture;

// Kept visible to the optimiser so allocations cannot be elided.
int* volatile gSink = nullptr;
void* volatile gRawSink = nullptr;

TEST(AllocationCounter, CountsOnlyTheArmedThread) {
    alloc_counter::clear();
    gSink = new int(2);
    delete gSink;
    std::thread other([] {
        alloc_counter::ArmedScope armed;
        gSink = new int(3);
        delete gSink;
        if (alloc_counter::mallocHooked()) {
            gRawSink = std::malloc(32);
            std::free(gRawSink);
        }
    });
    other.join();
    const uint64_t expected = alloc_counter::mallocHooked() ? 2u : 1u;
    EXPECT_EQ(alloc_counter::allocations(), expected);
    EXPECT_EQ(alloc_counter::frees(), expected);
}

TEST(AudioThread, ProcessNeverAllocatesWhileCurvesArePublished) {
    auto engine = makeEngine(48000.0, 1024);
    std::mt19937 rng(11);
    CurveSet setA = neutralCurves(), setB = neutralCurves();
    randomCurves(setA, rng);
    randomCurves(setB, rng);
    setA.chainLength = 7;
    for (auto& c : setA.curves[kTim]) {  // low enough that the read head really looks back
        c.setFlat(0.2f);
        c.addPoint(0.5f, 0.9f, 2);
    }
    engine->publishCurves(setA);
    // Every stage on with random settings and fast audio triggers, and the
    // plain gain path.
    std::vector<EngineParams> variants;
    for (int v = 0; v < 12; ++v) {
        EngineParams p = randomParams(rng);
        allModulesOn(p);
        p.drvStyle = v % 6;
        p.trigThreshold = dbToGain(-30.0);
        p.trigHold = 0.005f;
        for (int m = 0; m < kModuleCount; ++m) p.trigMode[m] = (m + v) % 3;
        variants.push_back(p);
    }
    variants.push_back(EngineParams{});

    constexpr uint32_t kMaxFrames = 1024;
    std::vector<float> left(kMaxFrames), right(kMaxFrames), sideL(kMaxFrames), sideR(kMaxFrames);
    std::vector<uint32_t> blockFrames(240);
    for (uint32_t& f : blockFrames) f = std::uniform_int_distribution<uint32_t>(1, kMaxFrames)(rng);
    const uint32_t midi[6] = {0, 3, 3, 17, 900, 5000};

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> published{0};
    std::thread publisher([&] {
        for (uint64_t n = 0; !stop.load(std::memory_order_relaxed);) {
            engine->publishCurves((n & 1) ? setA : setB);
            published.store(++n, std::memory_order_relaxed);
            std::this_thread::yield();
        }
    });
    while (published.load() < 4) std::this_thread::yield();
    const uint64_t publishedBefore = published.load();

    alloc_counter::clear();
    uint64_t publishedDuring = 0;
    std::thread audio([&] {
        alloc_counter::ArmedScope armed;
        std::minstd_rand noise(3);
        ScopeData& scope = engine->scope();
        double beats = 0.0;
        for (int block = 0; block < static_cast<int>(blockFrames.size()); ++block) {
            const uint32_t frames = blockFrames[block];
            for (uint32_t i = 0; i < frames; ++i) {
                const float n = static_cast<float>(noise()) / static_cast<float>(noise.max()) * 2.0f - 1.0f;
                left[i] = n;
                right[i] = -0.5f * n;
                sideL[i] = sideR[i] = ((block * 1024 + i) % 700) < 20 ? 0.9f : 0.001f * n;  // regular hits
            }
            scope.wanted.store(block % 7 != 6);
            scope.targetModule.store(block % kModuleCount);
            scope.targetBand.store((block / 7) % kBandCount);
            scope.targetAllBands.store(block % 5 == 0);
            engine->setParams(variants[static_cast<size_t>(block) % variants.size()]);
            const bool withSide = block % 3 != 2;
            engine->process(left.data(), right.data(), frames, block % 9 == 0 ? -1.0 : beats,
                            block % 11 == 0 ? 0.0 : 128.0, withSide ? sideL.data() : nullptr,
                            (withSide && block % 2) ? sideR.data() : nullptr, midi, block % 4 == 0 ? 6u : 2u);
            beats += frames * 128.0 / 60.0 / 48000.0;
        }
        publishedDuring = published.load();
    });
    audio.join();
    const uint64_t allocations = alloc_counter::allocations(), frees = alloc_counter::frees();
    stop.store(true);
    publisher.join();

    EXPECT_EQ(allocations, 0u) << "the audio thread allocated";
    EXPECT_EQ(frees, 0u) << "the audio thread freed memory";
    EXPECT_GT(publishedDuring, publishedBefore) << "no publication overlapped processing";
    EXPECT_TRUE(allFinite(left) && allFinite(right));
}

}  // namespace
