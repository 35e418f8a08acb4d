// Parameter gestures and values on their way from the editor to the host.
// One producer (the editor's thread) and one consumer (whichever of process
// and the parameter flush runs); neither side ever waits.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace norvale {

inline constexpr uint8_t kOutGestureBegin = 0;
inline constexpr uint8_t kOutValue = 1;
inline constexpr uint8_t kOutGestureEnd = 2;

struct OutEvent {
    uint32_t paramId = 0;
    double value = 0.0;
    uint8_t kind = kOutValue;
};

class OutQueue {
public:
    static constexpr uint32_t kCapacity = 512;

    // Producer side. False when kCapacity entries are still pending: the
    // entry is dropped.
    bool push(const OutEvent& event) noexcept {
        const uint32_t write = outWrite.load(std::memory_order_relaxed);
        const uint32_t read = outRead.load(std::memory_order_acquire);
        if (write - read >= kCapacity) return false;
        entries[write % kCapacity] = event;
        outWrite.store(write + 1, std::memory_order_release);
        return true;
    }

    // Consumer side: hands every entry published so far to deliver, oldest
    // first, and frees them whatever deliver does with them.
    template <class Deliver>
    void drain(Deliver&& deliver) noexcept {
        const uint32_t write = outWrite.load(std::memory_order_acquire);
        for (uint32_t read = outRead.load(std::memory_order_relaxed); read != write; ++read)
            deliver(entries[read % kCapacity]);
        outRead.store(write, std::memory_order_release);
    }

    uint32_t pending() const noexcept {
        return outWrite.load(std::memory_order_acquire) - outRead.load(std::memory_order_acquire);
    }

private:
    // Free-running counters: the slot of an entry is its counter modulo the
    // capacity, and unsigned wrap-around keeps the difference right.
    static_assert((kCapacity & (kCapacity - 1)) == 0);
    std::array<OutEvent, kCapacity> entries{};
    std::atomic<uint32_t> outWrite{0};
    std::atomic<uint32_t> outRead{0};
};

}  // namespace norvale
