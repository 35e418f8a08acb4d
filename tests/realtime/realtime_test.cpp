// The audio thread's promises under a curve editor that keeps publishing: it
// never touches the heap and never runs on part of one curve set and part of
// another. This program replaces the allocator to count, so it stands alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "engine_fixture.h"

// ---- allocation counter ----
// Counts allocations and frees made by the armed thread. Outside sanitizer
// builds glibc's malloc family is interposed (operator new ends up there);
// sanitizers own those symbols, so there operator new and delete count.
namespace {

std::atomic<uint64_t> gCount{0};
thread_local bool tArmed = false; // constant-initialised: touching it never allocates
void note(const void* p) {
    if (p && tArmed) gCount.fetch_add(1, std::memory_order_relaxed);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMallocHooked = false;
#else
constexpr bool kMallocHooked = true;
#endif

} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The other forms of new and delete forward to these in the standard library.
void* operator new(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    note(p);
    return p;
}
void* operator new(std::size_t n, std::align_val_t a) {
    void* p = std::aligned_alloc(std::max(static_cast<std::size_t>(a), sizeof(void*)),
                                 (n + static_cast<std::size_t>(a) - 1) &
                                     ~(static_cast<std::size_t>(a) - 1));
    if (!p) throw std::bad_alloc();
    note(p);
    return p;
}
void operator delete(void* p) noexcept {
    note(p), std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    note(p), std::free(p);
}
#else
// glibc keeps its own entry points under the __libc_ names.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
void* malloc(std::size_t n) noexcept {
    return note(&n), __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t n) noexcept {
    return note(&n), __libc_calloc(count, n);
}
void* realloc(void* p, std::size_t n) noexcept {
    return note(&n), __libc_realloc(p, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) noexcept {
    return note(&n), __libc_memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) noexcept {
    note(&n);
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22; // EINVAL
    *out = __libc_memalign(alignment, n);
    return *out ? 0 : 12; // ENOMEM
}
void free(void* p) noexcept {
    note(p), __libc_free(p);
}
}
#endif

namespace norvale {
namespace {

using namespace fixture;

int* volatile gSink = nullptr; // visible to the optimiser, so the allocation stays

TEST(AllocationCounter, CountsOnlyTheArmedThread) {
    gCount = 0;
    gSink = new int(2);
    delete gSink;
    std::thread([] {
        tArmed = true;
        gSink = new int(3);
        delete gSink;
        tArmed = false; // the thread's own end frees its state
    }).join();
    EXPECT_EQ(gCount.load(), 2u);
    if (!kMallocHooked) GTEST_LOG_(INFO) << "malloc itself is not counted under sanitizers";
}

// Publishes a and b in turn, pausing 0 to 20 us: the reader keeps running
// into a publication under way, and a writer that never paused would starve it.
struct Publisher {
    std::atomic<bool> stop{false};
    std::atomic<int> count{0};
    std::thread thread;
    Publisher(Engine& engine, const CurveSet& a, const CurveSet& b)
        : thread([&engine, &a, &b, this] {
              std::minstd_rand rng(17);
              for (int n = 0; !stop.load(std::memory_order_relaxed); ++n) {
                  engine.publishCurves((n & 1) ? b : a);
                  count.store(n + 1);
                  const auto until =
                      std::chrono::steady_clock::now() + std::chrono::nanoseconds(rng() % 20000);
                  while (std::chrono::steady_clock::now() < until) {}
              }
          }) {
        while (count.load() < 2)
            std::this_thread::yield();
    }
    ~Publisher() { stop = true, thread.join(); }
};

TEST(AudioThread, NeverAllocatesWhileCurvesArePublished) {
    std::mt19937 rng(11);
    CurveSet a = neutralCurves(), b = neutralCurves();
    randomCurves(a, rng), randomCurves(b, rng);
    for (auto& c : a.curves[kTim])
        c.parse("0 0.2 0, 0.5 0.9 2, 1 0.2 0"); // the read head looks back
    Rig rig(48000.0);
    rig.noise(1024, 4);
    const std::vector<float> side = rig.right;
    Publisher publisher(*rig.engine, a, b);
    const int before = publisher.count.load();
    const uint32_t midi[6] = {0, 3, 3, 17, 900, 5000};
    gCount = 0;
    std::thread audio([&] {
        tArmed = true;
        ScopeData& scope = rig.engine->scope();
        for (int block = 0; block < 240; ++block) {
            EngineParams p = block % 13 ? randomParams(rng, block % 2) : EngineParams{};
            if (block % 13) allModulesOn(p);
            p.trigHold = 0.005f; // hits in most blocks
            scope.wanted = block % 7 != 6;
            scope.targetModule = block % kModuleCount;
            scope.targetBand = (block / 7) % kBandCount;
            scope.targetAllBands = block % 5 == 0;
            rig.engine->setParams(p);
            const auto frames = static_cast<uint32_t>(rng() % 1024 + 1);
            rig.engine->process(rig.left.data(), rig.right.data(), frames,
                                block % 9 ? block * 0.25 : -1.0, block % 11 ? 128.0 : 0.0,
                                block % 3 ? side.data() : nullptr, nullptr, midi,
                                block % 4 ? 2 : 6);
        }
        tArmed = false;
    });
    audio.join();
    EXPECT_EQ(gCount.load(), 0u) << "the audio thread allocated or freed";
    EXPECT_GT(publisher.count.load(), before + 1) << "no publication overlapped processing";
}

TEST(CurveHandover, ProcessNeverRunsOnAMixedSet) {
    // Volume curves sit at the start of a set, pan curves near its end. Set a:
    // volume 0.25 (gain 1/16) and pan 0 (right silent); set b: volume 1 and
    // pan 1 (left silent). A block run on a mix shows as a loud left or a
    // quiet right.
    CurveSet a = neutralCurves(), b = neutralCurves();
    setFlat(a, kVol, 0.25f), setFlat(a, kPan, 0.0f);
    setFlat(b, kVol, 1.0f), setFlat(b, kPan, 1.0f);
    EngineParams p;
    p.modules[kVol] = p.modules[kPan] = {.on = true, .smooth = 0.0f};
    p.splitLow = 20.0f, p.splitHigh = 20000.0f; // the whole tone lives in the mid band
    Rig tone(p, a);
    tone.sine(4000.0, 256);
    const size_t settled = 160; // the smoothing has closed to 1e-5 by then
    const double in = rms(tone.left, settled);
    Publisher publisher(*tone.engine, a, b);
    int seenA = 0, seenB = 0, mixed = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    for (int block = 0; block < 4000 && std::chrono::steady_clock::now() < until; ++block) {
        std::vector<float> left = tone.left, right = tone.right;
        tone.engine->process(left.data(), right.data(), 256, -1.0, 120.0, nullptr, nullptr, nullptr,
                             0);
        if (block < 4) continue; // the crossover settles
        const double L = rms(left, settled) / in, R = rms(right, settled) / in;
        if (R < 1e-2 && L > 0.04 && L < 0.09)
            ++seenA;
        else if (L < 1e-2 && R > 0.7 && R < 1.4)
            ++seenB;
        else
            ++mixed;
    }
    EXPECT_EQ(mixed, 0) << "blocks that ran on a mixed set (whole: " << seenA << " + " << seenB
                        << ")";
    EXPECT_GT(seenA, 0);
    EXPECT_GT(seenB, 0) << "the engine never picked up a republished set";
}

} // namespace
} // namespace norvale
