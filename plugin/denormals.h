// Recursive filters slow down badly on denormal numbers, so an audio block
// runs with flush-to-zero and denormals-are-zero; the host's own mode is
// given back when the block ends.
#pragma once

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace norvale {

class ScopedFlushToZero {
public:
#if defined(__SSE2__)
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;

    ScopedFlushToZero() noexcept : saved(_mm_getcsr()) {
        _mm_setcsr(saved | kFlushToZero | kDenormalsAreZero);
    }
    ~ScopedFlushToZero() {
        _mm_setcsr(saved);
    }
#else
    // Elsewhere the processor keeps the host's mode.
    ScopedFlushToZero() noexcept = default;
#endif

    ScopedFlushToZero(const ScopedFlushToZero&) = delete;
    ScopedFlushToZero& operator=(const ScopedFlushToZero&) = delete;

#if defined(__SSE2__)
private:
    unsigned saved;
#endif
};

} // namespace norvale
