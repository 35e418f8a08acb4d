// ClapAsVst3: one VST 3 instance driving one CLAP plug-in of this object.
//
// Threads:
// - main (host UI) thread: initialize/terminate, activation, state, the edit
//   controller, the view, the run-loop timers. All plug-in main-thread work
//   runs under `main_` (recursive); `process` never takes it.
// - audio thread: `process` only try-locks `audio_`, which guards the
//   activation and processing state; it never waits, allocates or calls the
//   host's component handler.
// - any thread: the plug-in's host callbacks only set atomic requests; the
//   idle work (run-loop timer, and every main-thread entry) acts on them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <clap/clap.h>
#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/vst/ivstcontextmenu.h>
#include <public.sdk/source/vst/vstparameters.h>

#include "wrapper/edit_queue.h"
#include "wrapper/run_loop.h"
#include "wrapper/single_component.h"
#include "wrapper/wrapped_view.h"

namespace norvale::vst3 {

const clap_plugin_descriptor* clapDescriptor();
const clap_plugin* createClapPlugin(const clap_host* host);
Steinberg::FUnknown* factoryHostContext();
void classIdFor(const char* clapId, Steinberg::TUID out);
std::string categoriesFor(const char* const* features);

// A CLAP parameter as VST 3 sees it: normalised 0..1 over the CLAP range.
// VST 3 lists parameters flat, so the title names the module the CLAP side
// gives as a path ("Crush Bits", "Volume On" for a switch named after its
// module); `units` is what follows the number in the value's text.
class Vst3Parameter : public Steinberg::Vst::Parameter {
public:
    Vst3Parameter(const clap_param_info& info, Steinberg::Vst::UnitID unit, const char* units);
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const override;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const override;

    clap_id clapId;
    void* cookie;
    double minimum, maximum;
};

class ClapAsVst3 : public SingleComponentEffect,
                   public ViewOwner,
                   private EditSink,
                   private RunLoopSink {
public:
    using tresult = Steinberg::tresult;
    ClapAsVst3();
    ~ClapAsVst3() override;

    // ---- IPluginBase ----
    tresult PLUGIN_API initialize(FUnknown* context) override;
    tresult PLUGIN_API terminate() override;

    // ---- IComponent / IAudioProcessor ----
    tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API setComponentState(Steinberg::IBStream*) override {
        return Steinberg::kResultOk;
    }
    tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType, Steinberg::Vst::BusDirection,
                                   int32 index, Steinberg::TBool state) override;
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    uint32 PLUGIN_API getTailSamples() override;

    // ---- IEditController ----
    tresult PLUGIN_API getParamStringByValue(Steinberg::Vst::ParamID id,
                                             Steinberg::Vst::ParamValue normalized,
                                             Steinberg::Vst::String128 text) override;
    tresult PLUGIN_API getParamValueByString(Steinberg::Vst::ParamID id,
                                             Steinberg::Vst::TChar* text,
                                             Steinberg::Vst::ParamValue& normalized) override;
    tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) override;
    // A value the host sets here reaches the plug-in at once while nothing
    // processes, else at the start of the next block.
    tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                          Steinberg::Vst::ParamValue value) override;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

    // ---- ViewOwner ----
    std::recursive_mutex& mainLock() override { return main_; }
    void viewRunLoop(Steinberg::Linux::IRunLoop* loop) override;
    void viewDestroyed(WrappedView* view) override;

    // ---- CLAP host services (called through the clap_host record) ----
    const void* hostExtension(const char* id);
    bool registerTimer(uint32_t period, clap_id* id);
    bool unregisterTimer(clap_id id);
    bool registerFd(int fd, clap_posix_fd_flags_t flags);
    bool modifyFd(int fd, clap_posix_fd_flags_t flags);
    bool unregisterFd(int fd);
    bool requestResize(uint32_t width, uint32_t height);
    bool requestShow();
    // The host's own items for a parameter, through IComponentHandler3.
    bool contextMenuPopulate(const clap_context_menu_target* target,
                             const clap_context_menu_builder* builder);
    bool contextMenuPerform(const clap_context_menu_target* target, clap_id action);
    bool isMainThread() const;

    std::atomic<bool> flushRequested{false};
    std::atomic<bool> callbackRequested{false};
    std::atomic<bool> restartRequested{false};
    std::atomic<uint32_t> rescanRequested{0};
    std::atomic<uint32_t> restartFlags{0};
    std::atomic<uint32_t> pendingResize{0xFFFFFFFF};
    std::atomic<bool> dirtyRequested{false};
    std::atomic<bool> showRequested{false};

private:
    // ---- setup ----
    void setupBusses();
    void setupParameters();
    Steinberg::Vst::UnitID unitFor(const char* module);
    void syncParametersFromPlugin();
    int32 indexOf(Steinberg::Vst::ParamID id) const;

    // ---- main-thread work ----
    void drainPending();
    // Hands the host's pending values and the plug-in's requests to the
    // plug-in's flush, unless blocks are running (they carry both).
    void flushWhileIdle();
    // While blocks run, the next one carries the host's pending values into
    // the plug-in; a state saved now waits (briefly) until one has.
    void awaitPendingDelivery();
    void begin(uint32_t index) override;
    void perform(uint32_t index, double plainValue) override;
    void end(uint32_t index) override;
    void onIdle() override;
    void onTimer(clap_id id) override;
    void onFd(int fd, clap_posix_fd_flags_t flags) override;

    // ---- audio ----
    struct Block;
    static bool pushOutput(const clap_output_events* list, const clap_event_header* event);
    void collectInput(Steinberg::Vst::ProcessData* data);
    void addValue(uint32_t index, uint32_t time, double plain);
    void runFlush(Steinberg::Vst::IParameterChanges* outChanges, EditLane& lane);

    std::recursive_mutex main_;
    // Held only while activation or processing changes state, and by the
    // flush while nothing processes; main-thread readers use the atomics.
    std::mutex audio_;
    std::atomic<bool> active_{false};     // written under audio_
    std::atomic<bool> processing_{false}; // written under audio_
    std::atomic<uint64_t> blocksDone_{0};
    bool sidechainActive_ = false; // guarded by audio_
    int64_t steadyTime_ = 0;       // audio thread while active
    std::thread::id mainThread_;

    clap_host host_{};
    std::string hostName_;
    const clap_plugin* plugin_ = nullptr;
    const clap_plugin_params* params_ = nullptr;
    const clap_plugin_state* state_ = nullptr;
    const clap_plugin_audio_ports* audioPorts_ = nullptr;
    const clap_plugin_note_ports* notePorts_ = nullptr;
    const clap_plugin_latency* latency_ = nullptr;
    const clap_plugin_tail* tail_ = nullptr;
    const clap_plugin_gui* gui_ = nullptr;
    const clap_plugin_timer_support* timerSupport_ = nullptr;
    const clap_plugin_posix_fd_support* fdSupport_ = nullptr;

    std::vector<std::pair<std::string, Steinberg::Vst::UnitID>> units_;
    std::vector<Vst3Parameter*> paramByIndex_;
    std::vector<std::pair<Steinberg::Vst::ParamID, int32>> indexById_; // sorted
    std::unique_ptr<std::atomic<bool>[]> editing_; // gesture open, read by process
    std::unique_ptr<bool[]> hostOpen_;             // gesture open at the host
    // Values the host set through the edit controller (plain), not yet
    // handed to the plug-in; taken by the next flush or block.
    std::unique_ptr<std::atomic<double>[]> pendingValue_;
    std::unique_ptr<std::atomic<bool>[]> pendingSet_;
    std::atomic<bool> anyPending_{false};
    std::unique_ptr<EditLane> audioLane_;
    std::unique_ptr<EditLane> mainLane_;
    std::unique_ptr<Block> block_;

    RunLoop runLoop_{*this};
    WrappedView* view_ = nullptr;
    // The host's menu whose items the editor lists last, kept until it performs one.
    Steinberg::IPtr<Steinberg::Vst::IContextMenu> hostMenu_;
    Steinberg::Vst::ParamID hostMenuParam_ = 0;
};

} // namespace norvale::vst3
