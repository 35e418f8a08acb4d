// Counts heap allocations made by threads that armed the counter.
// The global allocator is replaced in alloc_counter.cpp; every program that
// links it counts through these functions.
#pragma once

#include <cstdint>

namespace alloc_counter {

// Arms or disarms counting for the calling thread only.
void arm();
void disarm();

// Allocations and frees seen on armed threads since the last clear().
uint64_t allocations();
uint64_t frees();
void clear();

// True when malloc/calloc/realloc/free are interposed too (not under
// sanitizers, which own those symbols).
bool mallocHooked();

// Arms the calling thread for the lifetime of the object.
class ArmedScope {
public:
    ArmedScope() { arm(); }
    ~ArmedScope() { disarm(); }
    ArmedScope(const ArmedScope&) = delete;
    ArmedScope& operator=(const ArmedScope&) = delete;
};

}  // namespace alloc_counter
