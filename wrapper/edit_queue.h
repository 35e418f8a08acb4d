// Parameter gestures on their way from the plug-in to the VST 3 host.
//
// Threads: each `Lane` has exactly one producer (the audio thread, or the
// main thread flushing while inactive) and one consumer (the main thread in
// the idle work). Producers never allocate, lock or wait. Values coalesce per
// parameter, so a flood of them costs nothing; begins and ends are never
// dropped: when the ring is full they are counted per parameter and the
// consumer replays them once everything older has been delivered.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace norvale::vst3 {

enum class EditKind : uint8_t { Begin, Value, End };

struct EditSink {
    virtual void begin(uint32_t index) = 0;
    virtual void perform(uint32_t index, double plainValue) = 0;
    virtual void end(uint32_t index) = 0;

protected:
    ~EditSink() = default;
};

class EditLane {
public:
    static constexpr uint32_t kCapacity = 4096;

    explicit EditLane(uint32_t paramCount)
        : count_(paramCount), latest_(std::make_unique<std::atomic<double>[]>(paramCount)),
          valuePending_(std::make_unique<std::atomic<bool>[]>(paramCount)),
          overflowed_(std::make_unique<std::atomic<uint32_t>[]>(paramCount)) {}

    uint32_t paramCount() const { return count_; }

    // ---- producer ----
    void post(EditKind kind, uint32_t index, double value = 0.0) {
        if (index >= count_) return;
        if (kind == EditKind::Value) {
            latest_[index].store(value, std::memory_order_relaxed);
            if (valuePending_[index].exchange(true, std::memory_order_acq_rel)) return;
            // Without a marker the consumer's sweep of pending values delivers it.
            if (overflowing_ || !push(kind, index)) sweep_.store(true, std::memory_order_release);
            return;
        }
        if (overflowing_ && overflowTotal_.load(std::memory_order_acquire) == 0)
            overflowing_ = false;
        if (!overflowing_ && push(kind, index)) return;
        overflowing_ = true;
        // Total first: it never drops below what the counters hold.
        overflowTotal_.fetch_add(1, std::memory_order_acq_rel);
        overflowed_[index].fetch_add(1, std::memory_order_release);
    }

    // ---- consumer ----
    // `open` tracks, per parameter, whether the host has a gesture open; it
    // tells which of begin or end a replayed count starts with.
    void drain(EditSink& sink, bool* open) {
        const uint32_t end = write_.load(std::memory_order_acquire);
        uint32_t at = read_.load(std::memory_order_relaxed);
        for (; at != end; ++at) {
            const Slot slot = slots_[at % kCapacity];
            deliver(sink, open, slot.kind, slot.index);
        }
        read_.store(at, std::memory_order_release);
        if (overflowTotal_.load(std::memory_order_acquire) != 0 &&
            write_.load(std::memory_order_acquire) == at) {
            // The total drops only after the whole pass, so the producer stays
            // off the ring until every counted gesture is out.
            uint32_t replayed = 0;
            for (uint32_t index = 0; index < count_; ++index) {
                const uint32_t times = overflowed_[index].exchange(0, std::memory_order_acq_rel);
                for (uint32_t i = 0; i < times; ++i)
                    deliver(sink, open, open[index] ? EditKind::End : EditKind::Begin, index);
                replayed += times;
            }
            overflowTotal_.fetch_sub(replayed, std::memory_order_acq_rel);
        }
        if (sweep_.exchange(false, std::memory_order_acq_rel))
            for (uint32_t index = 0; index < count_; ++index)
                deliver(sink, open, EditKind::Value, index);
    }

private:
    struct Slot {
        uint32_t index;
        EditKind kind;
    };

    bool push(EditKind kind, uint32_t index) {
        const uint32_t at = write_.load(std::memory_order_relaxed);
        if (at - read_.load(std::memory_order_acquire) >= kCapacity) return false;
        slots_[at % kCapacity] = {index, kind};
        write_.store(at + 1, std::memory_order_release);
        return true;
    }

    void deliver(EditSink& sink, bool* open, EditKind kind, uint32_t index) {
        switch (kind) {
        case EditKind::Begin:
            open[index] = true;
            sink.begin(index);
            break;
        case EditKind::End:
            // A value posted inside the gesture belongs before its end.
            deliver(sink, open, EditKind::Value, index);
            open[index] = false;
            sink.end(index);
            break;
        case EditKind::Value:
            if (valuePending_[index].exchange(false, std::memory_order_acq_rel))
                sink.perform(index, latest_[index].load(std::memory_order_relaxed));
            break;
        }
    }

    const uint32_t count_;
    std::unique_ptr<std::atomic<double>[]> latest_;
    std::unique_ptr<std::atomic<bool>[]> valuePending_;
    std::unique_ptr<std::atomic<uint32_t>[]> overflowed_;
    std::atomic<uint32_t> overflowTotal_{0};
    std::atomic<bool> sweep_{false};
    bool overflowing_ = false; // producer only
    Slot slots_[kCapacity]{};
    std::atomic<uint32_t> write_{0};
    std::atomic<uint32_t> read_{0};
};

} // namespace norvale::vst3
