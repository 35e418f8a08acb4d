// A small VST 3 host for the built bundle: it dlopens the object, enters the
// module and talks to it only through VST 3 interfaces; the few hosting
// classes the packaged SDK lacks (parameter changes, event list, component
// handler, run loop, frame) are written here.
#pragma once

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <base/source/fobject.h>
#include <clap/clap.h>
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
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
        auto get = symbol<IPluginFactory* (*)()>("GetPluginFactory");
        return get != nullptr ? owned(get()) : nullptr;
    }
    const clap_plugin_entry* clapEntry() const {
        return symbol<const clap_plugin_entry*>("clap_entry");
    }
    static Module& get() {
        static Module module;
        static const bool entered = module.symbol<bool (*)(void*)>("ModuleEntry")(module.handle);
        (void)entered;
        return module;
    }
};

struct ParamQueue : IParamValueQueue {
    ParamID id = 0;
    std::vector<std::pair<int32, ParamValue>> points;
    ParamID PLUGIN_API getParameterId() override { return id; }
    int32 PLUGIN_API getPointCount() override { return static_cast<int32>(points.size()); }
    tresult PLUGIN_API getPoint(int32 i, int32& offset, ParamValue& value) override {
        if (i < 0 || i >= getPointCount()) return kInvalidArgument;
        std::tie(offset, value) = points[i];
        return kResultOk;
    }
    tresult PLUGIN_API addPoint(int32 offset, ParamValue value, int32& i) override {
        i = getPointCount();
        points.emplace_back(offset, value);
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface(const TUID, void**) override { return kNoInterface; }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

struct ParamChanges : IParameterChanges {
    std::array<ParamQueue, 128> queues;
    int32 used = 0;
    int32 PLUGIN_API getParameterCount() override { return used; }
    IParamValueQueue* PLUGIN_API getParameterData(int32 i) override {
        return i >= 0 && i < used ? &queues[i] : nullptr;
    }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& i) override {
        for (i = 0; i < used; ++i)
            if (queues[i].id == id) return &queues[i];
        if (used == static_cast<int32>(queues.size())) return nullptr;
        queues[used] = {};
        queues[used].id = id;
        return &queues[used++];
    }
    void set(ParamID id, ParamValue value, int32 offset = 0) {
        int32 index = 0;
        addParameterData(id, index)->addPoint(offset, value, index);
    }
    tresult PLUGIN_API queryInterface(const TUID, void**) override { return kNoInterface; }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

struct EventList : IEventList {
    std::vector<Event> events;
    int32 PLUGIN_API getEventCount() override { return static_cast<int32>(events.size()); }
    tresult PLUGIN_API getEvent(int32 i, Event& e) override {
        if (i < 0 || i >= getEventCount()) return kInvalidArgument;
        e = events[i];
        return kResultOk;
    }
    tresult PLUGIN_API addEvent(Event& e) override {
        events.push_back(e);
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface(const TUID, void**) override { return kNoInterface; }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
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
        IPtr<MemoryStream> stream = owned(new MemoryStream());
        int32 written = 0;
        stream->write(const_cast<char*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
        stream->seek(0, IBStream::kIBSeekSet, nullptr);
        return component->setState(stream);
    }
};

// Stereo buffers with the pointer tables ProcessData wants.
struct Stereo {
    std::vector<float> left, right;
    float* channels[2];
    AudioBusBuffers bus{};
    explicit Stereo(size_t frames, float fill = 0.0f) : left(frames, fill), right(frames, fill) {
        channels[0] = left.data();
        channels[1] = right.data();
        bus.numChannels = 2;
        bus.channelBuffers32 = channels;
    }
};

} // namespace vst3host

namespace vst3host {

// The same object's CLAP face, for reference renders and state bytes.
struct ClapReference {
    clap_host host{CLAP_VERSION,
                   this,
                   "test",
                   "",
                   "",
                   "1",
                   [](const clap_host*, const char*) -> const void* { return nullptr; },
                   [](const clap_host*) {},
                   [](const clap_host*) {},
                   [](const clap_host*) {}};
    const clap_plugin_entry* entry = Module::get().clapEntry();
    const clap_plugin* plugin = nullptr;

    ClapReference() {
        entry->init(NORVALE_VST3_SO);
        auto* factory =
            static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin =
            factory->create_plugin(factory, &host, factory->get_plugin_descriptor(factory, 0)->id);
        plugin->init(plugin);
    }
    ~ClapReference() {
        plugin->destroy(plugin);
        entry->deinit();
    }
    template <typename T>
    const T* extension(const char* id) const {
        return static_cast<const T*>(plugin->get_extension(plugin, id));
    }
    std::vector<char> state() const {
        std::vector<char> bytes;
        clap_ostream out{&bytes, [](const clap_ostream* s, const void* data, uint64_t size) {
                             auto* v = static_cast<std::vector<char>*>(s->ctx);
                             v->insert(v->end(), static_cast<const char*>(data),
                                       static_cast<const char*>(data) + size);
                             return static_cast<int64_t>(size);
                         }};
        extension<clap_plugin_state>(CLAP_EXT_STATE)->save(plugin, &out);
        return bytes;
    }
};

} // namespace vst3host
