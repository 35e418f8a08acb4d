// Counts one thread's allocations, the plug-in object's included.
#include <cstdlib>
#include <new>

thread_local bool tCounting = false;
thread_local size_t tAllocations = 0;

void* operator new(size_t size) {
    tAllocations += tCounting;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return tAllocations += tCounting, std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
