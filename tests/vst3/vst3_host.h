// A small VST 3 host: it dlopens the built bundle's object and uses only VST 3
// interfaces, with the few hosting classes the packaged SDK lacks.
#pragma once

#include <dlfcn.h>

#include <vector>

#include <base/source/fobject.h>
#include <clap/clap.h>
#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstevents.h>
#include <pluginterfaces/vst/ivstparameterchanges.h>
#include <public.sdk/source/common/memorystream.h>

namespace vst3host {

using namespace Steinberg;
using namespace Steinberg::Vst;

// The bundle's object, entered once for the whole test program.
struct Module {
    void* handle = dlopen(NORVALE_VST3_SO, RTLD_NOW | RTLD_LOCAL);
    template <typename F>
    F symbol(const char* name) const {
        return handle != nullptr ? reinterpret_cast<F>(dlsym(handle, name)) : nullptr;
    }
    IPtr<IPluginFactory> factory() const {
        return owned(symbol<IPluginFactory* (*)()>("GetPluginFactory")());
    }
    const clap_plugin_entry* clapEntry() const {
        return symbol<const clap_plugin_entry*>("clap_entry");
    }
    static Module& get() {
        static Module module;
        [[maybe_unused]] static bool entered =
            module.symbol<bool (*)(void*)>("ModuleEntry")(module.handle);
        return module;
    }
};

// Host-owned objects that live on the stack: no reference counting.
template <typename I>
struct Local : I {
    tresult PLUGIN_API queryInterface(const TUID, void**) override { return kNoInterface; }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

struct ParamQueue : Local<IParamValueQueue> {
    ParamID id = 0;
    std::vector<std::pair<int32, ParamValue>> points;
    ParamID PLUGIN_API getParameterId() override { return id; }
    int32 PLUGIN_API getPointCount() override { return static_cast<int32>(points.size()); }
    tresult PLUGIN_API getPoint(int32 i, int32& offset, ParamValue& value) override {
        return std::tie(offset, value) = points.at(i), kResultOk;
    }
    tresult PLUGIN_API addPoint(int32 offset, ParamValue value, int32& i) override {
        return i = getPointCount(), points.emplace_back(offset, value), kResultOk;
    }
};

struct ParamChanges : Local<IParameterChanges> {
    std::vector<ParamQueue> queues = std::vector<ParamQueue>(128);
    int32 used = 0;
    int32 PLUGIN_API getParameterCount() override { return used; }
    IParamValueQueue* PLUGIN_API getParameterData(int32 i) override { return &queues.at(i); }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& i) override {
        for (i = 0; i < used && queues[i].id != id;)
            ++i;
        if (i == used) queues.at(used++).id = id;
        return &queues[i];
    }
    void set(ParamID id, ParamValue value, int32 offset = 0) {
        int32 index = 0;
        addParameterData(id, index)->addPoint(offset, value, index);
    }
};

struct EventList : Local<IEventList> {
    std::vector<Event> events;
    int32 PLUGIN_API getEventCount() override { return static_cast<int32>(events.size()); }
    tresult PLUGIN_API getEvent(int32 i, Event& e) override { return e = events.at(i), kResultOk; }
    tresult PLUGIN_API addEvent(Event& e) override { return events.push_back(e), kResultOk; }
};

// One instance, created through the factory and initialised.
struct Instance {
    IPtr<IComponent> component;
    FUnknownPtr<IAudioProcessor> processor;
    FUnknownPtr<IEditController> controller;

    Instance() {
        IPtr<IPluginFactory> factory = Module::get().factory();
        PClassInfo info{};
        if (!factory || factory->getClassInfo(0, &info) != kResultOk) return;
        void* object = nullptr;
        if (factory->createInstance(info.cid, IComponent::iid, &object) != kResultOk) return;
        component = owned(static_cast<IComponent*>(object));
        processor = component;
        controller = component;
        if (component->initialize(nullptr) != kResultOk) component = nullptr;
    }
    ~Instance() {
        if (component) component->terminate();
    }
    bool activate(int32 maxBlock = 8192, double rate = 48000.0) {
        ProcessSetup setup{kRealtime, kSample32, maxBlock, rate};
        return processor->setupProcessing(setup) == kResultOk &&
               component->setActive(true) == kResultOk &&
               processor->setProcessing(true) == kResultOk;
    }
    std::vector<char> state() {
        IPtr<MemoryStream> stream = owned(new MemoryStream());
        if (component->getState(stream) != kResultOk) return {};
        return {stream->getData(), stream->getData() + stream->getSize()};
    }
    tresult setState(const std::vector<char>& bytes) {
        std::vector<char> copy = bytes;
        IPtr<MemoryStream> stream = owned(new MemoryStream(copy.data(), TSize(copy.size())));
        return component->setState(stream);
    }
};

// The same object's CLAP face, for reference renders and state bytes.
struct ClapReference {
    static const void* noExtension(const clap_host*, const char*) { return nullptr; }
    static void nothing(const clap_host*) {}
    clap_host host{CLAP_VERSION, this, "test", "", "", "1", noExtension, nothing, nothing, nothing};
    const clap_plugin_entry* entry = Module::get().clapEntry();
    const clap_plugin* plugin = nullptr;

    ClapReference() {
        entry->init(NORVALE_VST3_SO);
        auto* f =
            static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin = f->create_plugin(f, &host, f->get_plugin_descriptor(f, 0)->id);
        plugin->init(plugin);
    }
    ~ClapReference() {
        plugin->destroy(plugin);
        entry->deinit();
    }
    std::vector<char> state() const {
        std::vector<char> bytes;
        clap_ostream out{&bytes, [](const clap_ostream* s, const void* data, uint64_t size) {
                             auto* v = static_cast<std::vector<char>*>(s->ctx);
                             auto* from = static_cast<const char*>(data);
                             return v->insert(v->end(), from, from + size), int64_t(size);
                         }};
        auto* ext =
            static_cast<const clap_plugin_state*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
        ext->save(plugin, &out);
        return bytes;
    }
    // One block through the plug-in, no events, no transport.
    bool render(float** in, float** out, uint32_t frames) {
        clap_audio_buffer input{in, nullptr, 2, 0, 0}, output{out, nullptr, 2, 0, 0};
        clap_input_events none{nullptr, [](const clap_input_events*) { return 0u; }, nullptr};
        clap_output_events sink{nullptr, [](auto, auto) { return true; }};
        clap_process block{-1, frames, nullptr, &input, &output, 1, 1, &none, &sink};
        return plugin->activate(plugin, 48000.0, 1, frames) && plugin->start_processing(plugin) &&
               plugin->process(plugin, &block) != CLAP_PROCESS_ERROR;
    }
};

} // namespace vst3host
