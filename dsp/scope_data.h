// What the engine records for the curve editor: one cycle of the selected
// module in 480 columns. Written by the audio thread as plain floats (a paint
// may mix two blocks, which is fine for display); the editor watches `updates`.
#pragma once

#include <atomic>
#include <cstdint>

namespace norvale {

inline constexpr int kScopeColumns = 480;

struct ScopeData {
    float beforeMin[kScopeColumns] = {};
    float beforeMax[kScopeColumns] = {};
    float afterMin[kScopeColumns] = {};
    float afterMax[kScopeColumns] = {};
    float sideMin[kScopeColumns] = {};
    float sideMax[kScopeColumns] = {};
    float trace[kScopeColumns];            // applied control value 0..1, -1 where none
    float playhead = -1.0f;                // phase of the latest sample, -1 when none
    std::atomic<uint32_t> updates{0};      // +1 per committed column
    std::atomic<uint32_t> triggerCount{0}; // MIDI and audio triggers taken

    // Requests, written by the plug-in, read by the audio thread.
    std::atomic<int32_t> targetModule{0};
    std::atomic<int32_t> targetBand{0};
    std::atomic<bool> targetAllBands{false};
    std::atomic<bool> wanted{false};

    ScopeData() {
        for (float& t : trace)
            t = -1.0f;
    }
};

} // namespace norvale
