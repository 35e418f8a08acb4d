// A small VST 3 host: it dlopens the built bundle's object and uses only VST 3
// interfaces, with the few hosting classes the packaged SDK lacks.
#pragma once

#include <dlfcn.h>

#include <vector>

#include <base/source/fobject.h>
#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstevents.h>
#include <pluginterfaces/vst/ivstparameterchanges.h>
#include <public.sdk/source/common/memorystream.h>

#include "clap_host/test_host.h"

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
    std::vector<uint8_t> state() {
        IPtr<MemoryStream> stream = owned(new MemoryStream());
        if (component->getState(stream) != kResultOk) return {};
        return {stream->getData(), stream->getData() + stream->getSize()};
    }
    tresult setState(const std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> copy = bytes;
        IPtr<MemoryStream> stream = owned(new MemoryStream(copy.data(), TSize(copy.size())));
        return component->setState(stream);
    }
};

// The same object's CLAP face, for reference renders and state bytes.
inline const claphost::Module& clapFace() {
    static const claphost::Module module(NORVALE_VST3_SO);
    return module;
}

} // namespace vst3host
