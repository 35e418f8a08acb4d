#include "plugin/note_filter.h"

namespace norvale {

int noteOnKey(const clap_event_header& event) {
    if (event.space_id != CLAP_CORE_EVENT_SPACE_ID) return -1;
    if (event.type == CLAP_EVENT_NOTE_ON) {
        if (event.size < sizeof(clap_event_note)) return -1;
        const auto& note = reinterpret_cast<const clap_event_note&>(event);
        return note.key;
    }
    if (event.type == CLAP_EVENT_MIDI) {
        if (event.size < sizeof(clap_event_midi)) return -1;
        const auto& midi = reinterpret_cast<const clap_event_midi&>(event);
        // MIDI sends a note-off as a note-on with velocity 0.
        if ((midi.data[0] & 0xF0) != 0x90 || midi.data[2] == 0) return -1;
        return midi.data[1];
    }
    return -1;
}

bool triggerNotePasses(int note, int noteChoice, int octaveChoice) {
    if (note < 0 || note > 127) return false;
    const bool nameMatches = noteChoice == 0 || note % 12 == noteChoice - 1;
    const bool octaveMatches = octaveChoice == 0 || note / 12 == octaveChoice - 1;
    return nameMatches && octaveMatches;
}

}  // namespace norvale
