#include "wrapper/single_component.h"

namespace norvale::vst3 {

using namespace Steinberg;
using namespace Steinberg::Vst;

SingleComponentEffect::SingleComponentEffect()
    : audioInputs_(kAudio, kInput), audioOutputs_(kAudio, kOutput), eventInputs_(kEvent, kInput),
      eventOutputs_(kEvent, kOutput) {
    processSetup_.processMode = kRealtime;
    processSetup_.symbolicSampleSize = kSample32;
    processSetup_.maxSamplesPerBlock = 1024;
    processSetup_.sampleRate = 44100.0;
}

tresult PLUGIN_API SingleComponentEffect::initialize(FUnknown* context) {
    return EditControllerEx1::initialize(context);
}

tresult PLUGIN_API SingleComponentEffect::terminate() {
    for (BusList* list : {&audioInputs_, &audioOutputs_, &eventInputs_, &eventOutputs_})
        list->clear();
    offeredInputs_.clear();
    parameters.removeAll();
    return EditControllerEx1::terminate();
}

// ---- busses ----

BusList* SingleComponentEffect::busList(MediaType type, BusDirection dir) {
    if (type == kAudio) return dir == kInput ? &audioInputs_ : &audioOutputs_;
    if (type == kEvent) return dir == kInput ? &eventInputs_ : &eventOutputs_;
    return nullptr;
}

int32 PLUGIN_API SingleComponentEffect::getBusCount(MediaType type, BusDirection dir) {
    const BusList* list = busList(type, dir);
    return list != nullptr ? static_cast<int32>(list->size()) : 0;
}

tresult PLUGIN_API SingleComponentEffect::getBusInfo(MediaType type, BusDirection dir, int32 index,
                                                     BusInfo& info) {
    BusList* list = busList(type, dir);
    if (list == nullptr || index < 0 || index >= static_cast<int32>(list->size()))
        return kInvalidArgument;
    info.mediaType = type;
    info.direction = dir;
    return list->at(index)->getInfo(info) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API SingleComponentEffect::activateBus(MediaType type, BusDirection dir, int32 index,
                                                      TBool state) {
    BusList* list = busList(type, dir);
    if (list == nullptr || index < 0 || index >= static_cast<int32>(list->size()))
        return kInvalidArgument;
    list->at(index)->setActive(state);
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::setBusArrangements(SpeakerArrangement* inputs,
                                                             int32 numIns,
                                                             SpeakerArrangement* outputs,
                                                             int32 numOuts) {
    // The layout is what we offer, except that a stereo input may be mono
    // (the plug-in hears it on both sides); anything wider is refused.
    if (numIns < 0 || numOuts < 0 || numIns > static_cast<int32>(audioInputs_.size()) ||
        numOuts > static_cast<int32>(audioOutputs_.size()))
        return kResultFalse;
    if ((numIns > 0 && inputs == nullptr) || (numOuts > 0 && outputs == nullptr))
        return kResultFalse;
    for (int32 i = 0; i < numIns; ++i) {
        const SpeakerArrangement offered = offeredInputs_.at(i);
        const bool monoForStereo = offered == SpeakerArr::kStereo && inputs[i] == SpeakerArr::kMono;
        if (inputs[i] != offered && !monoForStereo) return kResultFalse;
    }
    for (int32 i = 0; i < numOuts; ++i)
        if (FCast<AudioBus>(audioOutputs_.at(i).get())->getArrangement() != outputs[i])
            return kResultFalse;
    for (int32 i = 0; i < numIns; ++i)
        FCast<AudioBus>(audioInputs_.at(i).get())->setArrangement(inputs[i]);
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::getBusArrangement(BusDirection dir, int32 index,
                                                            SpeakerArrangement& arr) {
    BusList* list = busList(kAudio, dir);
    if (list == nullptr || index < 0 || index >= static_cast<int32>(list->size()))
        return kInvalidArgument;
    arr = FCast<AudioBus>(list->at(index).get())->getArrangement();
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::setupProcessing(ProcessSetup& setup) {
    if (setup.symbolicSampleSize != kSample32 || setup.maxSamplesPerBlock < 1 ||
        setup.sampleRate <= 0.0)
        return kResultFalse;
    processSetup_ = setup;
    return kResultOk;
}

uint32 PLUGIN_API SingleComponentEffect::getProcessContextRequirements() {
    using R = IProcessContextRequirements::Flags;
    return R::kNeedTempo | R::kNeedProjectTimeMusic | R::kNeedBarPositionMusic |
           R::kNeedTransportState | R::kNeedTimeSignature | R::kNeedCycleMusic;
}

tresult PLUGIN_API SingleComponentEffect::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, IComponent::iid, IComponent)
    QUERY_INTERFACE(iid, obj, IAudioProcessor::iid, IAudioProcessor)
    QUERY_INTERFACE(iid, obj, IProcessContextRequirements::iid, IProcessContextRequirements)
    return EditControllerEx1::queryInterface(iid, obj);
}

} // namespace norvale::vst3
