// Event lists handed to the plug-in: one input list the host fills per
// block, and an output list that accepts and drops what the plug-in sends.
#pragma once

#include <clap/clap.h>
#include <cstdint>
#include <vector>

namespace norvale::render {

class InputEvents {
public:
    InputEvents();
    InputEvents(const InputEvents&) = delete;
    InputEvents& operator=(const InputEvents&) = delete;

    // Events must be added in time order.
    void add(const clap_event_param_value_t& event);
    void add(const clap_event_note_t& event);
    void clear() { events_.clear(); }
    std::size_t size() const { return events_.size(); }

    const clap_input_events_t* list() const { return &list_; }

private:
    union AnyEvent {
        clap_event_header_t header;
        clap_event_param_value_t param;
        clap_event_note_t note;
    };
    static uint32_t sizeOf(const clap_input_events_t* list);
    static const clap_event_header_t* get(const clap_input_events_t* list, uint32_t index);

    std::vector<AnyEvent> events_;
    clap_input_events_t list_{};
};

// Gestures and values from an editor have no one to go to in a renderer.
class DiscardedEvents {
public:
    DiscardedEvents();
    DiscardedEvents(const DiscardedEvents&) = delete;
    DiscardedEvents& operator=(const DiscardedEvents&) = delete;

    const clap_output_events_t* list() const { return &list_; }

private:
    static bool tryPush(const clap_output_events_t* list, const clap_event_header_t* event);

    clap_output_events_t list_{};
};

clap_event_param_value_t paramValueEvent(clap_id id, void* cookie, double value);
clap_event_note_t noteEvent(uint16_t type, uint32_t time, int32_t noteId, int16_t key);

}  // namespace norvale::render
