// The VST 3 editor view around the plug-in's CLAP gui ("x11", embedded).
//
// Threads: every call arrives on the host's UI (main) thread; each one holds
// the component's main lock while it talks to the plug-in's gui. The view
// keeps its component alive; the component orphans the view when the plug-in
// goes away first.
#pragma once

#include <mutex>

#include <base/source/fobject.h>
#include <clap/ext/gui.h>
#include <clap/plugin.h>
#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/gui/iplugviewcontentscalesupport.h>

namespace norvale::vst3 {

class WrappedView;

struct ViewOwner {
    virtual std::recursive_mutex& mainLock() = 0;
    // The frame's run loop while the view is attached, null when it is gone.
    virtual void viewRunLoop(Steinberg::Linux::IRunLoop* loop) = 0;
    virtual void viewDestroyed(WrappedView* view) = 0;

protected:
    ~ViewOwner() = default;
};

class WrappedView : public Steinberg::IPlugView,
                    public Steinberg::IPlugViewContentScaleSupport,
                    public Steinberg::FObject {
public:
    using tresult = Steinberg::tresult;

    WrappedView(Steinberg::FUnknown* ownerObject, ViewOwner* owner, const clap_plugin* plugin,
                const clap_plugin_gui* gui);
    ~WrappedView() override;

    // The plug-in is about to be destroyed: drop its gui now.
    void orphan();
    // From the idle work: the plug-in asked for a new size.
    bool requestResize(uint32_t width, uint32_t height);

    // ---- IPlugView ----
    tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
    tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
    tresult PLUGIN_API removed() override;
    tresult PLUGIN_API onWheel(float) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API onKeyDown(Steinberg::char16, Steinberg::int16, Steinberg::int16) override {
        return Steinberg::kResultFalse;
    }
    tresult PLUGIN_API onKeyUp(Steinberg::char16, Steinberg::int16, Steinberg::int16) override {
        return Steinberg::kResultFalse;
    }
    tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override;
    tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
    tresult PLUGIN_API onFocus(Steinberg::TBool) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override;
    tresult PLUGIN_API canResize() override;
    tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;

    // ---- IPlugViewContentScaleSupport ----
    tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

    OBJ_METHODS(WrappedView, FObject)
    REFCOUNT_METHODS(FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(IPlugView)
    DEF_INTERFACE(IPlugViewContentScaleSupport)
    END_DEFINE_INTERFACES(FObject)

private:
    bool ensureGui();
    void dropGui();
    bool applySize(const Steinberg::ViewRect& rect);

    Steinberg::IPtr<Steinberg::FUnknown> ownerObject_;
    ViewOwner* owner_;
    const clap_plugin* plugin_;
    const clap_plugin_gui* gui_;
    Steinberg::ViewRect rect_{0, 0, 0, 0};
    bool created_ = false;
    bool attached_ = false;
    Steinberg::IPlugViewContentScaleSupport::ScaleFactor hostScale_ = 1;
    Steinberg::IPtr<Steinberg::IPlugFrame> frame_;
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> runLoop_;
};

} // namespace norvale::vst3
