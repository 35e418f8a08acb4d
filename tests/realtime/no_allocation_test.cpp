// The audio path must never touch the heap: every allocation or free made by
// the audio thread while it runs the engine is counted and must be zero.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
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
    {
        alloc_counter::ArmedScope armed;
        gSink = new int(1);
        delete gSink;
        gSink = new int[4];
        delete[] gSink;
    }
    EXPECT_EQ(alloc_counter::allocations(), 2u);
    EXPECT_EQ(alloc_counter::frees(), 2u);

    alloc_counter::clear();
    gSink = new int(2);
    delete gSink;
    std::thread other([] {
        alloc_counter::ArmedScope armed;
        gSink = new int(3);
        delete gSink;
    });
    other.join();
    EXPECT_EQ(alloc_counter::allocations(), 1u) << "only the armed thread counts";
}

TEST(AllocationCounter, CountsAlignedAndNothrowForms) {
    struct alignas(64) Wide {
        float lanes[16];
    };
    alloc_counter::clear();
    {
        alloc_counter::ArmedScope armed;
        Wide* w = new Wide();
        gRawSink = w;
        delete w;
        gSink = new (std::nothrow) int(4);
        delete gSink;
    }
    EXPECT_EQ(alloc_counter::allocations(), 2u);
    EXPECT_EQ(alloc_counter::frees(), 2u);
}

TEST(AllocationCounter, CountsMallocWhenInterposed) {
    if (!alloc_counter::mallocHooked()) GTEST_SKIP() << "the sanitizer owns malloc in this build";
    alloc_counter::clear();
    {
        alloc_counter::ArmedScope armed;
        gRawSink = std::malloc(32);
        std::free(gRawSink);
    }
    EXPECT_EQ(alloc_counter::allocations(), 1u);
    EXPECT_EQ(alloc_counter::frees(), 1u);
}

// Two curve sets with every shape feature, and different chains.
void busyCurves(CurveSet& a, CurveSet& b) {
    std::mt19937 rng(11);
    a = neutralCurves();
    b = neutralCurves();
    randomCurves(a, rng);
    randomCurves(b, rng);
    a.chainLength = 7;
    b.chainLength = 3;
    // Time curves low enough that the read head really looks back.
    for (int band = 0; band < kBandCount; ++band) {
        a.curves[kTim][band].setFlat(0.2f);
        a.curves[kTim][band].addPoint(0.5f, 0.9f, 2);
    }
}

// Parameter variants the audio thread switches between: every stage on with
// filter drive, every drive style and filter type, all trigger modes, moving
// split frequencies, and the plain gain path.
std::vector<EngineParams> paramVariants() {
    std::vector<EngineParams> variants;
    for (int v = 0; v < 12; ++v) {
        EngineParams p;
        allModulesOn(p);
        p.fltDrive = 0.7f;
        p.fltRes = 0.9f;
        p.drvStyle = v % 6;
        p.drvTone = (v % 3 == 0) ? 0.0f : (v % 3 == 1 ? 0.6f : -0.6f);
        p.crsAmount = 1.0f;
        p.crsBits = 4;
        p.crsDown = 12;
        p.timRange = 0.05f + 0.3f * static_cast<float>(v) / 12.0f;
        for (int band = 0; band < kBandCount; ++band) p.fltType[band] = (v + band) % 4;
        p.splitLow = 100.0f + 50.0f * static_cast<float>(v);
        p.splitHigh = 1500.0f + 500.0f * static_cast<float>(v);
        p.bandOn[v % 3] = (v % 4) != 0;
        for (int m = 0; m < kModuleCount; ++m) {
            p.trigMode[m] = (m + v) % 3;
            p.trigLoop[m] = ((m + v) % 2) == 0;
            p.trigEnd[m] = 0.3f + 0.1f * static_cast<float>(m);
        }
        p.trigFromInput = (v % 5) == 0;
        p.trigThreshold = dbToGain(-30.0);
        p.trigFocus = v % 2 ? 150.0f : 20000.0f;
        p.trigHold = 0.005f;
        variants.push_back(p);
    }
    EngineParams plain;  // every module off
    plain.inputGain = 0.5f;
    variants.push_back(plain);
    return variants;
}

TEST(AudioThread, ProcessNeverAllocatesWhileCurvesArePublished) {
    auto engine = makeEngine(48000.0, 1024);
    CurveSet setA, setB;
    busyCurves(setA, setB);
    engine->publishCurves(setA);
    const std::vector<EngineParams> variants = paramVariants();

    constexpr uint32_t kMaxFrames = 1024;
    constexpr int kBlocks = 240;
    std::vector<float> left(kMaxFrames), right(kMaxFrames), sideL(kMaxFrames), sideR(kMaxFrames);
    std::vector<uint32_t> blockFrames(kBlocks);
    std::mt19937 rng(5);
    for (uint32_t& f : blockFrames) f = std::uniform_int_distribution<uint32_t>(1, kMaxFrames)(rng);
    const uint32_t midi[6] = {0, 3, 3, 17, 900, 5000};

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> published{0};
    std::thread publisher([&] {
        uint64_t n = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            engine->publishCurves((n & 1) ? setA : setB);
            published.store(++n, std::memory_order_relaxed);
            std::this_thread::yield();
        }
    });
    while (published.load() < 4) std::this_thread::yield();
    const uint64_t publishedBefore = published.load();

    alloc_counter::clear();
    std::atomic<uint64_t> publishedDuring{0};
    std::thread audio([&] {
        alloc_counter::ArmedScope armed;
        std::minstd_rand noise(3);
        ScopeData& scope = engine->scope();
        double beats = 0.0;
        for (int block = 0; block < kBlocks; ++block) {
            const uint32_t frames = blockFrames[block];
            for (uint32_t i = 0; i < frames; ++i) {
                const float n = static_cast<float>(noise()) / static_cast<float>(noise.max()) * 2.0f - 1.0f;
                left[i] = n;
                right[i] = -0.5f * n;
                // A sidechain hit every few hundred samples.
                const bool hit = ((block * 1024 + i) % 700) < 20;
                sideL[i] = hit ? 0.9f : 0.001f * n;
                sideR[i] = sideL[i];
            }
            scope.wanted.store(block % 7 != 6);
            scope.targetModule.store(block % kModuleCount);
            scope.targetBand.store((block / 7) % kBandCount);
            scope.targetAllBands.store(block % 5 == 0);
            engine->setParams(variants[static_cast<size_t>(block) % variants.size()]);
            const double songBeats = block % 9 == 0 ? -1.0 : beats;
            const double tempo = block % 11 == 0 ? 0.0 : 128.0;
            const bool withSide = block % 3 != 2;
            engine->process(left.data(), right.data(), frames, songBeats, tempo,
                            withSide ? sideL.data() : nullptr,
                            (withSide && block % 2) ? sideR.data() : nullptr, midi,
                            block % 4 == 0 ? 6u : 2u);
            beats += frames * 128.0 / 60.0 / 48000.0;
        }
        publishedDuring.store(published.load());
    });
    audio.join();
    const uint64_t allocations = alloc_counter::allocations();
    const uint64_t frees = alloc_counter::frees();
    stop.store(true);
    publisher.join();

    EXPECT_EQ(allocations, 0u) << "the audio thread allocated";
    EXPECT_EQ(frees, 0u) << "the audio thread freed memory";
    EXPECT_GT(publishedDuring.load(), publishedBefore) << "no publication overlapped processing";
    EXPECT_TRUE(allFinite(left) && allFinite(right));
}

TEST(AudioThread, PublishingAndReadingCurvesNeverAllocate) {
    auto engine = makeEngine();
    CurveSet setA, setB, out;
    busyCurves(setA, setB);
    alloc_counter::clear();
    {
        alloc_counter::ArmedScope armed;
        for (int i = 0; i < 100; ++i) {
            engine->publishCurves(i % 2 ? setA : setB);
            engine->readCurves(out);
        }
    }
    EXPECT_EQ(alloc_counter::allocations(), 0u);
    EXPECT_EQ(alloc_counter::frees(), 0u);
}

}  // namespace
