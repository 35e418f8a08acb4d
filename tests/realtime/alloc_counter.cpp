// Replaces every global operator new and delete, and (outside sanitizer
// builds) glibc's malloc family, so that allocations on an armed thread are
// counted. Nothing here may allocate itself.
#include "alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define NORVALE_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define NORVALE_TEST_SANITIZED 1
#endif
#endif

namespace {

std::atomic<uint64_t> gAllocations{0};
std::atomic<uint64_t> gFrees{0};
// Plain bool with constant initialisation: touching it never allocates.
thread_local bool tArmed = false;

#ifdef NORVALE_TEST_SANITIZED
constexpr bool kMallocHooked = false;
#else
constexpr bool kMallocHooked = true;
#endif

inline void noteAllocation() {
    if (tArmed) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

inline void noteFree(void* p) {
    if (p && tArmed) gFrees.fetch_add(1, std::memory_order_relaxed);
}

// When malloc itself counts, operator new must not count a second time.
void* allocate(std::size_t n) {
    if (!kMallocHooked) noteAllocation();
    return std::malloc(n ? n : 1);
}

void* allocateAligned(std::size_t n, std::align_val_t alignment) {
    if (!kMallocHooked) noteAllocation();
    std::size_t a = static_cast<std::size_t>(alignment);
    if (a < sizeof(void*)) a = sizeof(void*);
    void* p = nullptr;
    if (posix_memalign(&p, a, n ? n : 1) != 0) return nullptr;
    return p;
}

void release(void* p) {
    if (!kMallocHooked) noteFree(p);
    std::free(p);
}

}  // namespace

namespace alloc_counter {

void arm() { tArmed = true; }
void disarm() { tArmed = false; }
uint64_t allocations() { return gAllocations.load(std::memory_order_relaxed); }
uint64_t frees() { return gFrees.load(std::memory_order_relaxed); }
void clear() {
    gAllocations.store(0, std::memory_order_relaxed);
    gFrees.store(0, std::memory_order_relaxed);
}

bool mallocHooked() { return kMallocHooked; }

}  // namespace alloc_counter

void* operator new(std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) {
    if (void* p = allocateAligned(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
    if (void* p = allocateAligned(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocateAligned(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocateAligned(n, a);
}

void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }

#ifndef NORVALE_TEST_SANITIZED
// Catches code that calls malloc directly. glibc keeps its own entry points
// under the __libc_ names, so these forward without recursion.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) noexcept {
    noteAllocation();
    return __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t n) noexcept {
    noteAllocation();
    return __libc_calloc(count, n);
}
void* realloc(void* p, std::size_t n) noexcept {
    noteAllocation();
    return __libc_realloc(p, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) noexcept {
    noteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* p = __libc_memalign(alignment, n);
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}
void free(void* p) noexcept {
    noteFree(p);
    __libc_free(p);
}
}
#endif
