// A VST 3 component that is its own edit controller: busses, bus
// arrangements and the processor answers that do not depend on the plug-in.
#pragma once

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <public.sdk/source/vst/vstbus.h>
#include <public.sdk/source/vst/vsteditcontroller.h>

#include <vector>

namespace norvale::vst3 {

class SingleComponentEffect : public Steinberg::Vst::EditControllerEx1,
                              public Steinberg::Vst::IComponent,
                              public Steinberg::Vst::IAudioProcessor,
                              public Steinberg::Vst::IProcessContextRequirements {
public:
    using tresult = Steinberg::tresult;
    using int32 = Steinberg::int32;
    using uint32 = Steinberg::uint32;

    SingleComponentEffect();

    // ---- IPluginBase ----
    tresult PLUGIN_API initialize(FUnknown* context) override;
    tresult PLUGIN_API terminate() override;

    // ---- IComponent ----
    tresult PLUGIN_API getControllerClassId(Steinberg::TUID) override {
        return Steinberg::kNotImplemented;
    }
    tresult PLUGIN_API setIoMode(Steinberg::Vst::IoMode) override {
        return Steinberg::kNotImplemented;
    }
    int32 PLUGIN_API getBusCount(Steinberg::Vst::MediaType, Steinberg::Vst::BusDirection) override;
    tresult PLUGIN_API getBusInfo(Steinberg::Vst::MediaType, Steinberg::Vst::BusDirection,
                                  int32 index, Steinberg::Vst::BusInfo& info) override;
    tresult PLUGIN_API getRoutingInfo(Steinberg::Vst::RoutingInfo&,
                                      Steinberg::Vst::RoutingInfo&) override {
        return Steinberg::kNotImplemented;
    }
    tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType, Steinberg::Vst::BusDirection,
                                   int32 index, Steinberg::TBool state) override;

    // ---- IAudioProcessor ----
    tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs,
                                          int32 numOuts) override;
    tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection, int32 index,
                                         Steinberg::Vst::SpeakerArrangement& arr) override;
    tresult PLUGIN_API canProcessSampleSize(int32 size) override {
        return size == Steinberg::Vst::kSample32 ? Steinberg::kResultTrue : Steinberg::kResultFalse;
    }
    uint32 PLUGIN_API getLatencySamples() override { return 0; }
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;

    // ---- IProcessContextRequirements ----
    uint32 PLUGIN_API getProcessContextRequirements() override;

    // ---- FUnknown ----
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    uint32 PLUGIN_API addRef() override { return EditControllerEx1::addRef(); }
    uint32 PLUGIN_API release() override { return EditControllerEx1::release(); }

protected:
    Steinberg::Vst::BusList* busList(Steinberg::Vst::MediaType, Steinberg::Vst::BusDirection);

    Steinberg::Vst::BusList audioInputs_;
    Steinberg::Vst::BusList audioOutputs_;
    Steinberg::Vst::BusList eventInputs_;
    Steinberg::Vst::BusList eventOutputs_;
    // Each input bus as built, before a host's arrangement.
    std::vector<Steinberg::Vst::SpeakerArrangement> offeredInputs_;
    Steinberg::Vst::ProcessSetup processSetup_{};
};

} // namespace norvale::vst3
