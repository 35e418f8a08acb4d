// The audio block, the parameter flush, and the traffic of parameter events
// in both directions. Nothing here allocates, locks or waits.
#include <cstring>

#include "plugin/denormals.h"
#include "plugin/norvale_plugin.h"
#include "plugin/transport.h"

namespace norvale {

namespace {

struct Sidechain {
    const float* left = nullptr;
    const float* right = nullptr;
};

Sidechain sidechainOf(const clap_process& block) {
    Sidechain side;
    if (block.audio_inputs_count < 2 || block.audio_inputs == nullptr) return side;
    const clap_audio_buffer& port = block.audio_inputs[1];
    if (port.data32 == nullptr || port.channel_count == 0 || port.data32[0] == nullptr) return side;
    side.left = port.data32[0];
    side.right =
        (port.channel_count >= 2 && port.data32[1] != nullptr) ? port.data32[1] : side.left;
    return side;
}

// The engine works in place on the output; hosts that process in place
// already hand the same buffers in.
void copyInput(const clap_audio_buffer& input, float* const out[2], uint32_t frames) {
    if (input.data32 == nullptr) return;
    for (uint32_t channel = 0; channel < 2 && channel < input.channel_count; ++channel) {
        const float* source = input.data32[channel];
        if (source != nullptr && source != out[channel])
            std::memmove(out[channel], source, frames * sizeof(float));
    }
}

}  // namespace

clap_process_status NorvalePlugin::process(const clap_process* block) {
    if (block == nullptr) return CLAP_PROCESS_ERROR;

    TriggerList triggers;
    readInputEvents(block->in_events, &triggers);
    drainOut(block->out_events);

    const uint32_t frames = block->frames_count;
    if (frames == 0) return CLAP_PROCESS_CONTINUE;

    if (block->audio_inputs_count < 1 || block->audio_inputs == nullptr ||
        block->audio_outputs_count < 1 || block->audio_outputs == nullptr)
        return CLAP_PROCESS_ERROR;
    const clap_audio_buffer& output = block->audio_outputs[0];
    if (output.data32 == nullptr || output.channel_count < 2 || output.data32[0] == nullptr ||
        output.data32[1] == nullptr)
        return CLAP_PROCESS_ERROR;
    float* const out[2] = {output.data32[0], output.data32[1]};

    copyInput(block->audio_inputs[0], out, frames);

    if (paramsDirty.exchange(false, std::memory_order_acq_rel)) syncEngine();

    const Sidechain side = sidechainOf(*block);
    const TransportPosition transport = readTransport(block->transport);

    const ScopedFlushToZero flushToZero;
    engine.process(out[0], out[1], frames, transport.songBeats, transport.tempo, side.left,
                   side.right, triggers.data(), triggers.size());
    return CLAP_PROCESS_CONTINUE;
}

void NorvalePlugin::paramsFlush(const clap_input_events* in, const clap_output_events* out) {
    readInputEvents(in, nullptr);
    drainOut(out);
}

void NorvalePlugin::readInputEvents(const clap_input_events* in, TriggerList* triggers) {
    if (in == nullptr || in->size == nullptr || in->get == nullptr) return;
    const uint32_t count = in->size(in);
    for (uint32_t i = 0; i < count; ++i) {
        const clap_event_header* event = in->get(in, i);
        if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
        if (event->type == CLAP_EVENT_PARAM_VALUE) {
            if (event->size >= sizeof(clap_event_param_value))
                applyParamValue(reinterpret_cast<const clap_event_param_value&>(*event));
            continue;
        }
        if (triggers == nullptr) continue;
        const int note = noteOnKey(*event);
        if (note < 0) continue;
        // Read per note: a change of the filter earlier in the list applies.
        const int noteChoice = static_cast<int>(realValue(kParamTrigNote));
        const int octaveChoice = static_cast<int>(realValue(kParamTrigOctave));
        if (triggerNotePasses(note, noteChoice, octaveChoice)) triggers->add(event->time);
    }
}

void NorvalePlugin::applyParamValue(const clap_event_param_value& event) {
    if (event.param_id >= kParamCount) return;
    values[event.param_id].store(plugincore::paramClamp(kParams[event.param_id], event.value),
                                 std::memory_order_relaxed);
    paramsDirty.store(true, std::memory_order_release);
    presetEdited.exchange(true, std::memory_order_acq_rel);
}

void NorvalePlugin::drainOut(const clap_output_events* out) {
    // Without a list the entries wait for the next call that brings one.
    if (out == nullptr || out->try_push == nullptr) return;
    outQueue.drain([out](const OutEvent& entry) {
        if (entry.kind == kOutValue) {
            clap_event_param_value event{};
            event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
            event.param_id = entry.paramId;
            event.cookie = nullptr;
            event.note_id = -1;
            event.port_index = -1;
            event.channel = -1;
            event.key = -1;
            event.value = plugincore::paramClamp(kParams[entry.paramId], entry.value);
            out->try_push(out, &event.header);
        } else {
            const uint16_t type = entry.kind == kOutGestureBegin ? CLAP_EVENT_PARAM_GESTURE_BEGIN
                                                                 : CLAP_EVENT_PARAM_GESTURE_END;
            clap_event_param_gesture event{};
            event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
            event.param_id = entry.paramId;
            out->try_push(out, &event.header);
        }
    });
}

bool NorvalePlugin::pushOut(uint32_t paramId, double value, uint8_t kind) {
    if (paramId >= kParamCount || kind > kOutGestureEnd) return false;
    if (!outQueue.push({paramId, value, kind})) return false;
    if (const clap_host_params* params = hostParams(); params != nullptr && params->request_flush)
        params->request_flush(host);
    return true;
}

}  // namespace norvale
