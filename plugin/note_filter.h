// Which incoming notes start the MIDI triggers of a block, and where.
#pragma once

#include <cstdint>

#include <clap/events.h>

namespace norvale {

// Key of a note-on that may trigger: a CLAP note-on, or a MIDI note-on with a
// non-zero velocity on any channel. -1 for every other event.
int noteOnKey(const clap_event_header& event);

// noteChoice is the trig_note item (0 any, 1..12 C..B), octaveChoice the
// trig_octave item (0 any, 1..11 octaves -1..9, so C3 is note 48).
bool triggerNotePasses(int note, int noteChoice, int octaveChoice);

// Sample offsets of the notes that trigger within one block.
class TriggerList {
public:
    static constexpr uint32_t kCapacity = 64;

    // Notes beyond the capacity are dropped.
    void add(uint32_t offset) noexcept {
        if (used < kCapacity) offsets[used++] = offset;
    }
    const uint32_t* data() const noexcept { return offsets; }
    uint32_t size() const noexcept { return used; }

private:
    uint32_t offsets[kCapacity];
    uint32_t used = 0;
};

}  // namespace norvale
