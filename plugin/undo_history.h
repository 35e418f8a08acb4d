// The editor's undo history: snapshots of the sound (the state stream's own
// bytes) before and after each user action, kept in the plug-in object so it
// outlives the editor window. Main thread only; the audio thread never sees
// any of it.
#pragma once

#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "plugin/params.h"

namespace norvale {

// What the curve editor showed, so an undone step is seen where it was made,
// and the A/B slot the sound belongs to, so an undone switch leaves each
// slot's sound in its slot.
struct UndoView {
    int module = 0;
    int band = 0;
    bool allBands = false;
    int compareSlot = 0;
};

// Parameters and curves as encodeState writes them (the view fields left at
// zero, so two snapshots of one sound are equal bytes), plus the view.
struct UndoSnapshot {
    std::vector<uint8_t> sound;
    UndoView view;
};

struct UndoStep {
    std::string label;
    UndoSnapshot before, after;
    // The parameters the step changed, in id order; undo and redo set only
    // these, so host automation of any other parameter is left alone.
    std::vector<uint32_t> params;
    bool curvesChanged = false;
    bool burst = false; // a wheel notch: a quick next one joins it
    std::chrono::steady_clock::time_point time;
};

class UndoHistory {
public:
    // The oldest steps go first beyond either limit. A step holds at most
    // two snapshots of some 35 KB, so 100 full steps always fit.
    static constexpr size_t kMaxSteps = 256;
    static constexpr size_t kMaxBytes = size_t{8} << 20;

    // Drops every step that was undone, then appends.
    void push(UndoStep step);
    // The step undo would take back and the one redo would make again; null
    // when there is none.
    const UndoStep* undoable() const { return done_ > 0 ? &steps_[done_ - 1] : nullptr; }
    const UndoStep* redoable() const { return done_ < steps_.size() ? &steps_[done_] : nullptr; }
    // The newest step, while nothing is undone: a burst may widen it.
    UndoStep* newest() { return done_ == steps_.size() && done_ > 0 ? &steps_.back() : nullptr; }
    void stepBack() { done_ -= done_ > 0 ? 1 : 0; }
    void stepForward() { done_ += done_ < steps_.size() ? 1 : 0; }
    void clear();
    size_t size() const { return steps_.size(); }
    size_t bytes() const { return bytes_; }
    // Recounts after a step was widened in place.
    void recount();

private:
    std::deque<UndoStep> steps_;
    size_t done_ = 0; // steps_[0, done_) are in effect
    size_t bytes_ = 0;
};

// The step being gathered between the editor's begin and end.
struct OpenUndoStep {
    int depth = 0;
    bool captured = false; // before holds the sound as it was at the first edit
    bool burst = false;
    std::string label;
    UndoSnapshot before;
    // Parameters the editor set meanwhile; only these can belong to the step.
    std::bitset<kParamCount> touched;
};

} // namespace norvale
