// Replaces the global operator new (the plug-in object resolves to it too)
// so a test can count what one thread allocates.
#include <cstdlib>
#include <new>

thread_local bool tCounting = false;
thread_local size_t tAllocations = 0;

void* operator new(size_t size) {
    tAllocations += tCounting;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
