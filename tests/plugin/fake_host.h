// A small in-process CLAP host for unit tests: creates the plug-in through
// clap_entry's factory and provides event lists and audio blocks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <clap/entry.h>
#include <clap/events.h>
#include <clap/ext/log.h>
#include <clap/ext/params.h>
#include <clap/ext/preset-load.h>
#include <clap/factory/plugin-factory.h>
#include <clap/host.h>
#include <clap/plugin.h>
#include <clap/process.h>

#include "plugin/descriptor.h"
#include "plugin/norvale_plugin.h"

namespace norvale::test {

class FakeHost {
public:
    bool offerParams = true;
    int rescans = 0;
    uint32_t lastRescanFlags = 0;
    int flushRequests = 0;

    // "clap.preset-load/2" and "clap.log", as the plug-in reported to them.
    bool offerPresetLoad = true;
    struct PresetReport {
        uint32_t kind;
        std::optional<std::string> location;
        std::optional<std::string> loadKey;
        int32_t osError = 0;
        std::string message;  // on_error only
    };
    std::vector<PresetReport> presetsLoaded;
    std::vector<PresetReport> presetErrors;
    struct LogLine {
        clap_log_severity severity;
        std::string message;
    };
    std::vector<LogLine> logLines;

    FakeHost() {
        host.clap_version = CLAP_VERSION;
        host.host_data = this;
        host.name = "fake host";
        host.vendor = "tests";
        host.url = "";
        host.version = "1";
        host.get_extension = &FakeHost::getExtension;
        host.request_restart = [](const clap_host*) {};
        host.request_process = [](const clap_host*) {};
        host.request_callback = [](const clap_host*) {};
        params.rescan = [](const clap_host* h, clap_param_rescan_flags flags) {
            self(h).rescans++;
            self(h).lastRescanFlags = flags;
        };
        params.clear = [](const clap_host*, clap_id, clap_param_clear_flags) {};
        params.request_flush = [](const clap_host* h) { self(h).flushRequests++; };
        presetLoad.on_error = [](const clap_host* h, uint32_t kind, const char* location,
                                 const char* key, int32_t osError, const char* message) {
            self(h).presetErrors.push_back(
                {kind, text(location), text(key), osError, message != nullptr ? message : ""});
        };
        presetLoad.loaded = [](const clap_host* h, uint32_t kind, const char* location,
                               const char* key) {
            self(h).presetsLoaded.push_back({kind, text(location), text(key), 0, ""});
        };
        log.log = [](const clap_host* h, clap_log_severity severity, const char* message) {
            self(h).logLines.push_back({severity, message != nullptr ? message : ""});
        };
    }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    const clap_host* clap() const { return &host; }

private:
    static FakeHost& self(const clap_host* h) { return *static_cast<FakeHost*>(h->host_data); }
    static const void* getExtension(const clap_host* h, const char* id) {
        if (self(h).offerParams && std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &self(h).params;
        if (self(h).offerPresetLoad && std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0)
            return &self(h).presetLoad;
        if (std::strcmp(id, CLAP_EXT_LOG) == 0) return &self(h).log;
        return nullptr;
    }
    static std::optional<std::string> text(const char* s) {
        return s != nullptr ? std::optional<std::string>(s) : std::nullopt;
    }

    clap_host host{};
    clap_host_params params{};
    clap_host_preset_load presetLoad{};
    clap_host_log log{};
};

inline const clap_plugin_factory& pluginFactory() {
    return *static_cast<const clap_plugin_factory*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
}

// One plug-in instance for the length of a test, created the way a host does.
class TestPlugin {
public:
    explicit TestPlugin(FakeHost& host)
        : plugin(pluginFactory().create_plugin(&pluginFactory(), host.clap(), kPluginId)) {
        plugin->init(plugin);
    }
    ~TestPlugin() { plugin->destroy(plugin); }
    TestPlugin(const TestPlugin&) = delete;
    TestPlugin& operator=(const TestPlugin&) = delete;

    NorvalePlugin& object() const { return *NorvalePlugin::from(plugin); }

    template <class Extension>
    const Extension& ext(const char* id) const {
        return *static_cast<const Extension*>(plugin->get_extension(plugin, id));
    }

    double value(uint32_t id) const {
        double v = std::numeric_limits<double>::quiet_NaN();
        ext<clap_plugin_params>(CLAP_EXT_PARAMS).get_value(plugin, id, &v);
        return v;
    }

    const clap_plugin* plugin;
};

// Input events in list order.
class EventList {
public:
    EventList() {
        list.ctx = this;
        list.size = [](const clap_input_events* l) {
            return static_cast<uint32_t>(static_cast<const EventList*>(l->ctx)->events.size());
        };
        list.get = [](const clap_input_events* l, uint32_t index) -> const clap_event_header* {
            const auto& events = static_cast<const EventList*>(l->ctx)->events;
            return index < events.size() ? &events[index].header : nullptr;
        };
    }
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;

    void paramValue(uint32_t id, double value, uint32_t time = 0) {
        AnyEvent e{};
        e.value.header = header(sizeof e.value, time, CLAP_EVENT_PARAM_VALUE);
        e.value.param_id = id;
        e.value.note_id = -1;
        e.value.port_index = -1;
        e.value.channel = -1;
        e.value.key = -1;
        e.value.value = value;
        events.push_back(e);
    }
    void noteOn(int16_t key, uint32_t time = 0, uint16_t type = CLAP_EVENT_NOTE_ON) {
        AnyEvent e{};
        e.note.header = header(sizeof e.note, time, type);
        e.note.note_id = -1;
        e.note.key = key;
        e.note.velocity = 1.0;
        events.push_back(e);
    }
    void midi(uint8_t status, uint8_t data1, uint8_t data2, uint32_t time = 0) {
        AnyEvent e{};
        e.midi.header = header(sizeof e.midi, time, CLAP_EVENT_MIDI);
        e.midi.data[0] = status;
        e.midi.data[1] = data1;
        e.midi.data[2] = data2;
        events.push_back(e);
    }

    const clap_input_events* input() const { return &list; }

private:
    union AnyEvent {
        clap_event_header header;
        clap_event_param_value value;
        clap_event_note note;
        clap_event_midi midi;
    };
    static clap_event_header header(uint32_t size, uint32_t time, uint16_t type) {
        return {size, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
    }

    std::vector<AnyEvent> events;
    clap_input_events list{};
};

// What the plug-in pushed to the host, copied out of each event.
class OutputEvents {
public:
    struct Seen {
        uint16_t type;
        uint32_t size;
        uint32_t paramId;
        double value;
        int32_t noteId;
        int16_t port;
        int16_t channel;
        int16_t key;
    };
    std::vector<Seen> seen;

    OutputEvents() {
        list.ctx = this;
        list.try_push = [](const clap_output_events* l, const clap_event_header* h) {
            Seen s{h->type, h->size, 0, 0.0, 0, 0, 0, 0};
            if (h->type == CLAP_EVENT_PARAM_VALUE) {
                const auto& e = reinterpret_cast<const clap_event_param_value&>(*h);
                s.paramId = e.param_id;
                s.value = e.value;
                s.noteId = e.note_id;
                s.port = e.port_index;
                s.channel = e.channel;
                s.key = e.key;
            } else {
                s.paramId = reinterpret_cast<const clap_event_param_gesture&>(*h).param_id;
            }
            static_cast<OutputEvents*>(l->ctx)->seen.push_back(s);
            return true;
        };
    }
    OutputEvents(const OutputEvents&) = delete;
    OutputEvents& operator=(const OutputEvents&) = delete;

    const clap_output_events* output() const { return &list; }

private:
    clap_output_events list{};
};

// A stereo main input, a stereo sidechain and a stereo output.
class AudioBlock {
public:
    explicit AudioBlock(uint32_t frames)
        : inLeft(frames), inRight(frames), outLeft(frames), outRight(frames) {
        inPtrs[0] = inLeft.data();
        inPtrs[1] = inRight.data();
        outPtrs[0] = outLeft.data();
        outPtrs[1] = outRight.data();
        inputs[0].data32 = inPtrs;
        inputs[0].channel_count = 2;
        inputs[1].data32 = nullptr;
        outputs[0].data32 = outPtrs;
        outputs[0].channel_count = 2;
        process.steady_time = -1;
        process.frames_count = frames;
        process.transport = nullptr;
        process.audio_inputs = inputs;
        process.audio_outputs = outputs;
        process.audio_inputs_count = 2;
        process.audio_outputs_count = 1;
        process.in_events = events.input();
        process.out_events = sent.output();
    }
    AudioBlock(const AudioBlock&) = delete;
    AudioBlock& operator=(const AudioBlock&) = delete;

    clap_process_status run(const TestPlugin& p) { return p.plugin->process(p.plugin, &process); }

    std::vector<float> inLeft, inRight, outLeft, outRight;
    EventList events;
    OutputEvents sent;
    clap_process process{};

private:
    float* inPtrs[2];
    float* outPtrs[2];
    clap_audio_buffer inputs[2]{};
    clap_audio_buffer outputs[1]{};
};

}  // namespace norvale::test
