// The audio block, the parameter flush, the traffic of parameter events in
// both directions and the engine's parameters. Nothing here allocates, locks
// or waits.
#include <clap/ext/tail.h>
#include <clap/fixedpoint.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin/denormals.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

namespace {

// ---- note filter ----

// Key of a note-on that may trigger: a CLAP note-on, or a MIDI note-on with a
// non-zero velocity on any channel. -1 for every other event.
int noteOnKey(const clap_event_header& event) {
    if (event.type == CLAP_EVENT_NOTE_ON && event.size >= sizeof(clap_event_note))
        return reinterpret_cast<const clap_event_note&>(event).key;
    if (event.type == CLAP_EVENT_MIDI && event.size >= sizeof(clap_event_midi)) {
        const auto& midi = reinterpret_cast<const clap_event_midi&>(event);
        // MIDI sends a note-off as a note-on with velocity 0.
        if ((midi.data[0] & 0xF0) == 0x90 && midi.data[2] != 0) return midi.data[1];
    }
    return -1;
}

// noteChoice is the trig_note item (0 any, 1..12 C..B), octaveChoice the
// trig_octave item (0 any, 1..11 octaves -1..9, so C3 is note 48).
bool triggerNotePasses(int note, int noteChoice, int octaveChoice) {
    if (note < 0 || note > 127) return false;
    const bool nameMatches = noteChoice == 0 || note % 12 == noteChoice - 1;
    const bool octaveMatches = octaveChoice == 0 || note / 12 == octaveChoice - 1;
    return nameMatches && octaveMatches;
}

// ---- transport and audio ports ----

struct Transport {
    double songBeats = -1.0; // negative: the host is not playing
    double tempo = 0.0;      // 0: the host gives none
};

Transport transportOf(const clap_event_transport* transport) {
    Transport position;
    if (transport == nullptr) return position;
    // Some hosts fill the tempo without flagging it; a plausible value beats
    // the engine's 120 BPM fallback.
    position.tempo = transport->tempo;
    constexpr uint32_t kPlayingOnTimeline =
        CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_IS_PLAYING;
    if ((transport->flags & kPlayingOnTimeline) == kPlayingOnTimeline)
        position.songBeats = static_cast<double>(transport->song_pos_beats) /
                             static_cast<double>(CLAP_BEATTIME_FACTOR);
    return position;
}

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

// The engine works in place on the output, so the output always gets the
// input: both channels, a mono input on both sides, or silence without one.
void copyInput(const clap_process& block, float* const out[2], uint32_t frames) {
    const float* in[2] = {nullptr, nullptr};
    if (block.audio_inputs_count >= 1 && block.audio_inputs != nullptr) {
        const clap_audio_buffer& port = block.audio_inputs[0];
        for (uint32_t channel = 0; channel < 2 && channel < port.channel_count; ++channel)
            if (port.data32 != nullptr) in[channel] = port.data32[channel];
    }
    if (in[0] == nullptr) std::swap(in[0], in[1]);
    if (in[1] == nullptr) in[1] = in[0];
    for (int channel = 0; channel < 2; ++channel) {
        if (in[channel] == nullptr)
            std::fill_n(out[channel], frames, 0.0f);
        else if (in[channel] != out[channel])
            std::memmove(out[channel], in[channel], frames * sizeof(float));
    }
}

} // namespace

// ---- process ----

clap_process_status NorvalePlugin::process(const clap_process* block) {
    if (block == nullptr) return CLAP_PROCESS_ERROR;
    const clap_input_events* in = block->in_events;
    const uint32_t eventCount =
        in != nullptr && in->size != nullptr && in->get != nullptr ? in->size(in) : 0;
    constexpr uint32_t kEverything = UINT32_MAX;

    // 1. Host events at the first sample in, 2. editor events out.
    uint32_t triggers[kMaxTriggers];
    uint32_t triggerCount = 0;
    uint32_t next = readInputEvents(in, 0, 0, triggers, &triggerCount);
    drainOut(block->out_events);

    const uint32_t frames = block->frames_count;
    const clap_audio_buffer* output =
        block->audio_outputs_count >= 1 ? block->audio_outputs : nullptr;
    if (frames == 0 || output == nullptr || output->data32 == nullptr ||
        output->channel_count < 2 || output->data32[0] == nullptr || output->data32[1] == nullptr) {
        readInputEvents(in, next, kEverything, triggers, &triggerCount);
        return frames == 0 ? CLAP_PROCESS_CONTINUE : CLAP_PROCESS_ERROR;
    }
    float* const out[2] = {output->data32[0], output->data32[1]};

    // 3. The input onto the output.
    copyInput(*block, out, frames);

    // 4. The engine, in stretches from one parameter change to the next, so
    // automation lands on its sample; its parameters are rebuilt only when
    // a value changed.
    const Sidechain side = sidechainOf(*block);
    const Transport transport = transportOf(block->transport);
    const double beatsPerSample = engine.beatsPerSample(transport.tempo);
    const ScopedFlushToZero flushToZero;
    uint32_t usedTriggers = 0;
    for (uint32_t at = 0; at < frames;) {
        const uint32_t until =
            next < eventCount ? std::clamp(in->get(in, next)->time, at + 1, frames) : frames;
        if (paramsDirty.exchange(false, std::memory_order_acq_rel)) syncEngine();
        uint32_t stretchTriggers[kMaxTriggers];
        uint32_t stretchCount = 0;
        for (; usedTriggers < triggerCount && triggers[usedTriggers] < until; ++usedTriggers)
            stretchTriggers[stretchCount++] =
                triggers[usedTriggers] - std::min(at, triggers[usedTriggers]);
        const double songBeats =
            transport.songBeats < 0.0 ? -1.0 : transport.songBeats + beatsPerSample * at;
        engine.process(out[0] + at, out[1] + at, until - at, songBeats, transport.tempo,
                       side.left != nullptr ? side.left + at : nullptr,
                       side.right != nullptr ? side.right + at : nullptr, stretchTriggers,
                       stretchCount);
        at = until;
        next = readInputEvents(in, next, at < frames ? at : kEverything, triggers, &triggerCount);
    }

    // 5. The host hears of a new tail from this thread only.
    if (const uint32_t tail = tailGet(); tail != reportedTail) {
        reportedTail = tail;
        const auto* hostTail = static_cast<const clap_host_tail*>(hostExtension(CLAP_EXT_TAIL));
        if (hostTail != nullptr && hostTail->changed != nullptr) hostTail->changed(host);
    }
    return CLAP_PROCESS_CONTINUE;
}

void NorvalePlugin::paramsFlush(const clap_input_events* in, const clap_output_events* out) {
    readInputEvents(in, 0, UINT32_MAX, nullptr, nullptr);
    drainOut(out);
}

// ---- events in ----

// Applies the events from index `next` on, up to the first parameter event
// later than sample `at`, and returns the index of that event (or the count).
// Without a trigger list (the flush) only parameter events count.
uint32_t NorvalePlugin::readInputEvents(const clap_input_events* in, uint32_t next, uint32_t at,
                                        uint32_t* triggers, uint32_t* triggerCount) {
    if (in == nullptr || in->size == nullptr || in->get == nullptr) return 0;
    const uint32_t count = in->size(in);
    for (uint32_t i = next; i < count; ++i) {
        const clap_event_header* event = in->get(in, i);
        if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
        const bool changesParam =
            event->type == CLAP_EVENT_PARAM_VALUE || event->type == CLAP_EVENT_PARAM_MOD;
        if (changesParam && event->time > at) return i;
        if (event->type == CLAP_EVENT_PARAM_VALUE &&
            event->size >= sizeof(clap_event_param_value)) {
            const auto& value = reinterpret_cast<const clap_event_param_value&>(*event);
            if (value.param_id < kParamCount) setParam(value.param_id, value.value);
            continue;
        }
        if (event->type == CLAP_EVENT_PARAM_MOD && event->size >= sizeof(clap_event_param_mod)) {
            // Monophonic modulation only: the plug-in has no voices to aim at.
            const auto& mod = reinterpret_cast<const clap_event_param_mod&>(*event);
            if (mod.param_id < kParamCount && mod.note_id < 0 && mod.key < 0 &&
                mod.amount == mod.amount) {
                modulation[mod.param_id] = mod.amount;
                paramsDirty.store(true, std::memory_order_release);
            }
            continue;
        }
        if (triggers == nullptr) continue;
        const int note = noteOnKey(*event);
        // Read per note: a change of the filter earlier in the list applies.
        const int noteChoice = static_cast<int>(realValue(kParamTrigNote));
        const int octaveChoice = static_cast<int>(realValue(kParamTrigOctave));
        if (triggerNotePasses(note, noteChoice, octaveChoice) &&
            *triggerCount < uint32_t(kMaxTriggers))
            triggers[(*triggerCount)++] = event->time;
    }
    return count;
}

void NorvalePlugin::setParam(uint32_t id, double value) {
    const double clamped = plugincore::paramClamp(kParams[id], value);
    // Hosts write back what they were told after a rescan: no edit.
    const double before = values[id].exchange(clamped, std::memory_order_relaxed);
    paramsDirty.store(true, std::memory_order_release);
    if (partOfSound(id) && !plugincore::paramSameValue(kParams[id], before, clamped))
        presetEdited.exchange(true, std::memory_order_acq_rel);
}

// ---- events out ----

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
    if (!outQueue.push({paramId, value, kind})) return false;
    if (const clap_host_params* params = hostParams(); params != nullptr && params->request_flush)
        params->request_flush(host);
    return true;
}

// ---- engine sync ----

double NorvalePlugin::effectiveValue(uint32_t id) const {
    return plugincore::paramClamp(kParams[id],
                                  values[id].load(std::memory_order_relaxed) + modulation[id]);
}

double NorvalePlugin::realValue(uint32_t id) const {
    if (id >= kParamCount) return 0.0;
    return plugincore::paramToReal(kParams[id], effectiveValue(id));
}

// The values are kept inside their rows' ranges where they enter, so the
// choices are valid enum values here.
void NorvalePlugin::syncEngine() {
    const auto gain = [this](ParamId id) {
        return static_cast<float>(std::pow(10.0, realValue(id) / 20.0));
    };
    const auto real = [this](ParamId id) { return static_cast<float>(realValue(id)); };
    const auto seconds = [this](ParamId id) { return static_cast<float>(realValue(id) * 0.001); };
    // Stepped and choice rows are already rounded by realValue.
    const auto integer = [this](ParamId id) { return static_cast<int32_t>(realValue(id)); };
    const auto on = [&integer](ParamId id) { return integer(id) != 0; };

    EngineParams p;
    p.inputGain = gain(kParamInput);
    p.outputGain = gain(kParamOutput);
    p.mix = real(kParamMix);
    p.bypass = on(kParamBypass);
    p.splitLow = real(kParamSplitLow);
    p.splitHigh = real(kParamSplitHigh);
    p.bandOn[kBandLow] = on(kParamBandLow);
    p.bandOn[kBandMid] = on(kParamBandMid);
    p.bandOn[kBandHigh] = on(kParamBandHigh);

    for (int module = 0; module < kModuleCount; ++module) {
        ModuleSettings& m = p.modules[module];
        m.on = on(kModuleOnParams[module]);
        m.rate = integer(kModuleRateParams[module]);
        m.phase = real(kModulePhaseParams[module]);
        m.smooth = real(kModuleSmoothParams[module]);
        m.trigger = static_cast<TrigMode>(integer(kModuleTriggerParams[module]));
        m.loop = on(kModuleLoopParams[module]);
        m.end = real(kModuleEndParams[module]);
    }

    p.volTrim = gain(kParamVolTrim);

    p.fltCutoff = real(kParamFltCutoff);
    p.fltRes = real(kParamFltRes);
    p.fltDepth = integer(kParamFltDepth);
    p.fltDrive = real(kParamFltDrive);
    p.fltType[kBandLow] = static_cast<FilterType>(integer(kParamFltTypeLow));
    p.fltType[kBandMid] = static_cast<FilterType>(integer(kParamFltTypeMid));
    p.fltType[kBandHigh] = static_cast<FilterType>(integer(kParamFltTypeHigh));

    p.drvStyle = static_cast<DriveStyle>(integer(kParamDrvStyle));
    p.drvDrive = real(kParamDrvDrive);
    p.drvInput = gain(kParamDrvInput);
    p.drvOutput = gain(kParamDrvOutput);
    p.drvTone = real(kParamDrvTone);
    p.drvMix = real(kParamDrvMix);

    p.timRange = seconds(kParamTimRange);
    p.timStep = real(kParamTimStep);

    p.crsAmount = real(kParamCrsAmount);
    p.crsBits = integer(kParamCrsBits);
    p.crsDown = integer(kParamCrsDown);
    p.crsMix = real(kParamCrsMix);

    p.trigFromInput = integer(kParamTrigSource) == 1;
    p.trigThreshold = gain(kParamTrigThreshold);
    p.trigFocus = real(kParamTrigFilter);
    p.trigHold = seconds(kParamTrigHold);

    engine.setParams(p);
}

void NorvalePlugin::updateScopeTarget() {
    ScopeData& scope = engine.scope();
    scope.targetModule.store(selModule.load(std::memory_order_relaxed), std::memory_order_relaxed);
    scope.targetBand.store(selBand.load(std::memory_order_relaxed), std::memory_order_relaxed);
    scope.targetAllBands.store(editAllBands.load(std::memory_order_relaxed),
                               std::memory_order_relaxed);
    scope.wanted.store(scopeVisible.load(std::memory_order_relaxed), std::memory_order_release);
}

} // namespace norvale
