// The host side of a CLAP session, shared by the in-process plug-in tests and
// the tests of the built file: host callbacks and event lists.
#pragma once

#include <clap/clap.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace claphost {

inline clap_event_header_t eventHeader(uint32_t size, uint32_t time, uint16_t type) {
    return {size, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
}

// Answers "clap.params", "clap.log" and "clap.preset-load/2" (params and
// preset-load can be withdrawn) and records every call the plug-in makes.
class TestHost {
public:
    bool offerParams = true;
    bool offerPresetLoad = true;

    struct LogEntry {
        int severity;
        std::string message;
    };
    struct PresetCall {
        uint32_t kind;
        std::optional<std::string> location;
        std::optional<std::string> loadKey;
        int32_t osError;
        std::string message;
    };
    std::vector<uint32_t> rescans;  // flags of each rescan call
    int flushRequests = 0;
    std::vector<LogEntry> logs;
    std::vector<PresetCall> presetErrors;
    std::vector<PresetCall> presetsLoaded;

    TestHost() {
        host_.clap_version = CLAP_VERSION;
        host_.host_data = this;
        host_.name = "claphost";
        host_.vendor = "Norvale tests";
        host_.version = "1";
        host_.get_extension = &TestHost::getExtension;
        host_.request_restart = [](const clap_host_t*) {};
        host_.request_process = [](const clap_host_t*) {};
        host_.request_callback = [](const clap_host_t*) {};
    }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    const clap_host_t* clap() const { return &host_; }

private:
    static TestHost& self(const clap_host_t* host) { return *static_cast<TestHost*>(host->host_data); }
    static std::optional<std::string> text(const char* s) {
        return s ? std::optional<std::string>(s) : std::nullopt;
    }
    static const void* getExtension(const clap_host_t* host, const char* id) {
        static const clap_host_params_t kParams = {
            [](const clap_host_t* h, clap_param_rescan_flags flags) { self(h).rescans.push_back(flags); },
            [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
            [](const clap_host_t* h) { ++self(h).flushRequests; },
        };
        static const clap_host_log_t kLog = {[](const clap_host_t* h, clap_log_severity severity, const char* msg) {
            self(h).logs.push_back({static_cast<int>(severity), msg ? msg : ""});
        }};
        static const clap_host_preset_load_t kPresetLoad = {
            [](const clap_host_t* h, uint32_t kind, const char* location, const char* key, int32_t osError,
               const char* msg) {
                self(h).presetErrors.push_back({kind, text(location), text(key), osError, msg ? msg : ""});
            },
            [](const clap_host_t* h, uint32_t kind, const char* location, const char* key) {
                self(h).presetsLoaded.push_back({kind, text(location), text(key), 0, ""});
            },
        };
        if (!id) return nullptr;
        TestHost& me = self(host);
        if (me.offerParams && std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
        if (std::strcmp(id, CLAP_EXT_LOG) == 0) return &kLog;
        if (me.offerPresetLoad && std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &kPresetLoad;
        return nullptr;
    }

    clap_host_t host_{};
};

// Copies of events, 8-byte aligned.
class EventStore {
public:
    uint32_t size() const { return static_cast<uint32_t>(events_.size()); }
    const clap_event_header_t& header(uint32_t i) const {
        return *reinterpret_cast<const clap_event_header_t*>(events_.at(i).data());
    }
    template <class T>
    const T& as(uint32_t i) const { return *reinterpret_cast<const T*>(&header(i)); }
    void add(const clap_event_header_t& event) {  // copies header.size bytes
        events_.emplace_back((event.size + 7) / 8);
        std::memcpy(events_.back().data(), &event, event.size);
    }
    void clear() { events_.clear(); }

private:
    std::vector<std::vector<uint64_t>> events_;
};

// Input event list in insertion order.
class InputEvents : public EventStore {
public:
    InputEvents() {
        list_.ctx = this;
        list_.size = [](const clap_input_events_t* l) { return static_cast<const InputEvents*>(l->ctx)->size(); };
        list_.get = [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
            const auto* me = static_cast<const InputEvents*>(l->ctx);
            return i < me->size() ? &me->header(i) : nullptr;
        };
    }
    InputEvents(const InputEvents&) = delete;
    InputEvents& operator=(const InputEvents&) = delete;

    void paramValue(uint32_t time, clap_id id, double value) {
        clap_event_param_value_t ev{eventHeader(sizeof ev, time, CLAP_EVENT_PARAM_VALUE), id, nullptr, -1, -1, -1, -1, value};
        add(ev.header);
    }
    void paramMod(uint32_t time, clap_id id, double amount) {
        clap_event_param_mod_t ev{eventHeader(sizeof ev, time, CLAP_EVENT_PARAM_MOD), id, nullptr, -1, -1, -1, -1, amount};
        add(ev.header);
    }
    void noteOn(uint32_t time, int16_t key, int16_t channel = 0, double velocity = 0.8,
                uint16_t type = CLAP_EVENT_NOTE_ON) {
        clap_event_note_t ev{eventHeader(sizeof ev, time, type), -1, 0, channel, key, velocity};
        add(ev.header);
    }
    void midi(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2) {
        clap_event_midi_t ev{eventHeader(sizeof ev, time, CLAP_EVENT_MIDI), 0, {status, data1, data2}};
        add(ev.header);
    }

    const clap_input_events_t* list() const { return &list_; }

private:
    clap_input_events_t list_{};
};

// Output event list keeping a copy of every event the plug-in pushes.
class OutputEvents : public EventStore {
public:
    bool accept = true;  // what try_push answers

    OutputEvents() {
        list_.ctx = this;
        list_.try_push = [](const clap_output_events_t* l, const clap_event_header_t* event) {
            auto* me = static_cast<OutputEvents*>(l->ctx);
            if (event) me->add(*event);
            return me->accept;
        };
    }
    OutputEvents(const OutputEvents&) = delete;
    OutputEvents& operator=(const OutputEvents&) = delete;

    const clap_output_events_t* list() const { return &list_; }

private:
    clap_output_events_t list_{};
};

}  // namespace claphost
