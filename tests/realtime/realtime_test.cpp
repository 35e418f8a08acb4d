// The audio thread's promises under a curve editor that keeps publishing: it
// never touches the heap and never runs on part of one curve set and part of
// another. This program replaces the allocator to count, so it stands alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine_fixture.h"

// ---- allocation counter ----
// Counts the allocations and frees of the armed thread: through glibc's
// malloc, aligned_alloc and free, which operator new and delete end in, or the
// sanitizer's hooks where it owns those.
namespace {
std::atomic<uint64_t> gCount{0};
thread_local bool tArmed = false; // constant-initialised: touching it never allocates
void note(const volatile void* p) {
    if (p && tArmed) gCount.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NORVALE_SANITIZER_OWNS_MALLOC 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) ||                               \
    defined(NORVALE_SANITIZER_OWNS_MALLOC)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*,
                                                                  std::size_t),
                                                         void (*)(const volatile void*));
[[maybe_unused]] static const int gHooked = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void* p, std::size_t) { note(p); }, note);
#else
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
void* malloc(std::size_t n) noexcept {
    return note(&n), __libc_malloc(n);
}
void* aligned_alloc(std::size_t a, std::size_t n) noexcept {
    return note(&n), __libc_memalign(a, n);
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

// Two engines take turns on an armed audio thread while sets a and b are
// published to both, 0 to 20 us apart (a writer that never paused would starve
// the reader). One runs every stage with random settings and the scope; the
// other shows which set it ran on: a has volume 0.25 and pan 0 (right silent),
// b volume 1 and pan 1 (left silent), so a mixed set shows as a loud left or a
// quiet right (volume curves sit at the start of a set, pan near its end).
TEST(AudioThread, NeverAllocatesNorRunsOnAMixedCurveSet) {
    std::mt19937 rng(11);
    CurveSet a = neutralCurves(), b = neutralCurves();
    randomCurves(a, rng), randomCurves(b, rng);
    for (auto& c : a.curves[kTim])
        c.parse("0 0.2 0, 0.5 0.9 2, 1 0.2 0"); // looking back
    a = flat(flat(a, kVol, 0.25f), kPan, 0.0f), b = flat(flat(b, kVol, 1.0f), kPan, 1.0f);
    EngineParams p;
    p.modules[kVol] = p.modules[kPan] = {.on = true, .smooth = 0.0f};
    p.splitLow = 20.0f, p.splitHigh = 20000.0f; // the whole tone lives in the mid band
    Rig all(48000.0), tone(p, a);
    all.noise(1024, 4);
    tone.sine(4000.0, 256);
    const std::vector<float> side = all.right, in = tone.left;
    const double level = rms(in, 160); // the smoothing has closed to 1e-5 by then

    std::atomic<bool> stop{false};
    std::atomic<int> published{0};
    std::thread publisher([&] {
        std::minstd_rand pause(17);
        for (int n = 0; !stop; ++n) {
            all.engine->publishCurves((n & 1) ? b : a);
            tone.engine->publishCurves((n & 1) ? b : a);
            published = n + 1;
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::nanoseconds(pause() % 20000);
            while (std::chrono::steady_clock::now() < until) {}
        }
    });
    while (published < 2)
        std::this_thread::yield();
    const int before = published;
    int seenA = 0, seenB = 0, mixed = 0;
    uint64_t counted = 0;
    gCount = 0;
    std::thread audio([&] {
        tArmed = true;
        gSink = new int(3); // the counter counts
        delete gSink;
        counted = gCount.exchange(0);
        ScopeData& scope = all.engine->scope();
        const uint32_t midi[6] = {0, 3, 3, 17, 900, 5000};
        for (int block = 0; block < 2000; ++block) {
            EngineParams q = block % 13 ? randomParams(rng, block % 2) : EngineParams{};
            if (block % 13) allModulesOn(q);
            q.trigHold = 0.005f; // hits in most blocks
            scope.wanted = block % 7 != 6;
            scope.targetModule = block % kModuleCount;
            scope.targetBand = (block / 7) % kBandCount;
            scope.targetAllBands = block % 5 == 0;
            all.engine->setParams(q);
            all.engine->process(
                all.left.data(), all.right.data(), static_cast<uint32_t>(rng() % 1024 + 1),
                block % 9 ? block * 0.25 : -1.0, block % 11 ? 128.0 : 0.0,
                block % 3 ? side.data() : nullptr, nullptr, midi, block % 4 ? 2 : 6);
            tone.left = tone.right = in;
            tone.engine->process(tone.left.data(), tone.right.data(), 256, -1.0, 120.0, nullptr,
                                 nullptr, nullptr, 0);
            const double l = rms(tone.left, 160) / level, r = rms(tone.right, 160) / level;
            if (block < 4) continue; // the crossover settles
            (r < 1e-2 && l > 0.04 && l < 0.09) ? ++seenA
            : (l < 1e-2 && r > 0.7 && r < 1.4) ? ++seenB
                                               : ++mixed;
        }
        tArmed = false;
    });
    audio.join();
    stop = true;
    publisher.join();
    EXPECT_EQ(counted, 2u);
    EXPECT_EQ(gCount.load(), 0u) << "the audio thread allocated or freed";
    EXPECT_EQ(mixed, 0) << "blocks that ran on a mixed set (whole: " << seenA << " + " << seenB
                        << ")";
    EXPECT_GT(seenA, 0);
    EXPECT_GT(seenB, 0) << "the engine never picked up a republished set";
    EXPECT_GT(published, before + 1) << "no publication overlapped processing";
}

} // namespace
} // namespace norvale
