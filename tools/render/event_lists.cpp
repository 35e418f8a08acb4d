#include "render/event_lists.h"

namespace norvale::render {

InputEvents::InputEvents() {
    list_.ctx = this;
    list_.size = sizeOf;
    list_.get = get;
}

void InputEvents::add(const clap_event_param_value_t& event) {
    AnyEvent any;
    any.param = event;
    events_.push_back(any);
}

void InputEvents::add(const clap_event_note_t& event) {
    AnyEvent any;
    any.note = event;
    events_.push_back(any);
}

uint32_t InputEvents::sizeOf(const clap_input_events_t* list) {
    return static_cast<uint32_t>(static_cast<const InputEvents*>(list->ctx)->events_.size());
}

const clap_event_header_t* InputEvents::get(const clap_input_events_t* list, uint32_t index) {
    const auto& events = static_cast<const InputEvents*>(list->ctx)->events_;
    return index < events.size() ? &events[index].header : nullptr;
}

DiscardedEvents::DiscardedEvents() {
    list_.ctx = this;
    list_.try_push = tryPush;
}

bool DiscardedEvents::tryPush(const clap_output_events_t*, const clap_event_header_t* event) {
    return event != nullptr;
}

clap_event_param_value_t paramValueEvent(clap_id id, void* cookie, double value) {
    clap_event_param_value_t event{};
    event.header.size = sizeof(event);
    event.header.time = 0;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = CLAP_EVENT_PARAM_VALUE;
    event.header.flags = 0;
    event.param_id = id;
    event.cookie = cookie;
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    return event;
}

clap_event_note_t noteEvent(uint16_t type, uint32_t time, int32_t noteId, int16_t key) {
    clap_event_note_t event{};
    event.header.size = sizeof(event);
    event.header.time = time;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = type;
    event.header.flags = 0;
    event.note_id = noteId;
    event.port_index = 0;
    event.channel = 0;
    event.key = key;
    event.velocity = 1.0;
    return event;
}

}  // namespace norvale::render
