#include "wrapper/wrapped_view.h"

#include <cstdio>
#include <cstring>

namespace norvale::vst3 {

using namespace Steinberg;

WrappedView::WrappedView(FUnknown* ownerObject, ViewOwner* owner, const clap_plugin* plugin,
                         const clap_plugin_gui* gui)
    : ownerObject_(ownerObject), owner_(owner), plugin_(plugin), gui_(gui) {}

WrappedView::~WrappedView() {
    orphan();
    if (owner_ != nullptr) owner_->viewDestroyed(this);
}

void WrappedView::orphan() {
    if (plugin_ == nullptr) return;
    std::lock_guard lock(owner_->mainLock());
    dropGui();
    plugin_ = nullptr;
    gui_ = nullptr;
}

// ---- the CLAP gui ----

bool WrappedView::ensureGui() {
    if (created_) return true;
    if (gui_ == nullptr || !gui_->is_api_supported(plugin_, CLAP_WINDOW_API_X11, false))
        return false;
    created_ = gui_->create(plugin_, CLAP_WINDOW_API_X11, false);
    return created_;
}

void WrappedView::dropGui() {
    if (created_) {
        // Destroying the gui unparents its window before the host's goes.
        gui_->hide(plugin_);
        gui_->destroy(plugin_);
        created_ = false;
    }
    // Nothing of the plug-in may stay on the loop of a frame that goes away.
    if (owner_ != nullptr) owner_->viewRunLoop(nullptr);
    attached_ = false;
}

// The host's size is taken as it is: off the aspect, the editor fits the
// largest scale and centres itself, so a host that ignores
// checkSizeConstraint still shows all of it.
bool WrappedView::applySize(const ViewRect& rect) {
    return gui_->can_resize(plugin_) &&
           gui_->set_size(plugin_, static_cast<uint32_t>(rect.getWidth()),
                          static_cast<uint32_t>(rect.getHeight()));
}

// ---- IPlugView ----

tresult PLUGIN_API WrappedView::isPlatformTypeSupported(FIDString type) {
    if (type == nullptr || std::strcmp(type, kPlatformTypeX11EmbedWindowID) != 0)
        return kResultFalse;
    std::lock_guard lock(owner_->mainLock());
    return gui_ != nullptr && gui_->is_api_supported(plugin_, CLAP_WINDOW_API_X11, false)
               ? kResultTrue
               : kResultFalse;
}

tresult PLUGIN_API WrappedView::attached(void* parent, FIDString type) {
    if (parent == nullptr || isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
    std::lock_guard lock(owner_->mainLock());
    // Timers and descriptors of the plug-in need the frame's run loop, from
    // before the gui exists.
    if (attached_ || plugin_ == nullptr) return kResultFalse;
    if (!runLoop_) {
        std::fputs("Norvale: no editor, the host's frame offers no run loop to clock it\n", stderr);
        return kResultFalse;
    }
    owner_->viewRunLoop(runLoop_);
    if (!ensureGui()) {
        dropGui();
        return kResultFalse;
    }
    clap_window window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = reinterpret_cast<clap_xwnd>(parent);
    if (!gui_->set_parent(plugin_, &window)) {
        dropGui();
        return kResultFalse;
    }
    attached_ = true;
    if (rect_.getWidth() > 0 && rect_.getHeight() > 0) applySize(rect_);
    uint32_t width = 0, height = 0;
    if (gui_->get_size(plugin_, &width, &height)) {
        rect_.right = rect_.left + static_cast<int32>(width);
        rect_.bottom = rect_.top + static_cast<int32>(height);
    }
    gui_->show(plugin_);
    return kResultOk;
}

tresult PLUGIN_API WrappedView::removed() {
    std::lock_guard lock(owner_->mainLock());
    if (!attached_) return kResultFalse;
    dropGui();
    return kResultOk;
}

tresult PLUGIN_API WrappedView::getSize(ViewRect* size) {
    if (size == nullptr) return kInvalidArgument;
    std::lock_guard lock(owner_->mainLock());
    if (!ensureGui()) return kResultFalse;
    uint32_t width = 0, height = 0;
    if (!gui_->get_size(plugin_, &width, &height)) return kResultFalse;
    rect_.right = rect_.left + static_cast<int32>(width);
    rect_.bottom = rect_.top + static_cast<int32>(height);
    *size = rect_;
    return kResultOk;
}

tresult PLUGIN_API WrappedView::onSize(ViewRect* newSize) {
    if (newSize == nullptr) return kInvalidArgument;
    std::lock_guard lock(owner_->mainLock());
    rect_ = *newSize;
    if (!created_ || !attached_) return kResultOk;
    return applySize(rect_) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API WrappedView::setFrame(IPlugFrame* frame) {
    std::lock_guard lock(owner_->mainLock());
    frame_ = frame;
    runLoop_ = nullptr;
    if (frame != nullptr) runLoop_ = FUnknownPtr<Linux::IRunLoop>(frame);
    if (plugin_ != nullptr) owner_->viewRunLoop(runLoop_);
    return kResultOk;
}

tresult PLUGIN_API WrappedView::canResize() {
    std::lock_guard lock(owner_->mainLock());
    return ensureGui() && gui_->can_resize(plugin_) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API WrappedView::checkSizeConstraint(ViewRect* rect) {
    if (rect == nullptr) return kInvalidArgument;
    std::lock_guard lock(owner_->mainLock());
    uint32_t width = static_cast<uint32_t>(rect->getWidth());
    uint32_t height = static_cast<uint32_t>(rect->getHeight());
    if (!ensureGui() || !gui_->adjust_size(plugin_, &width, &height)) return kResultFalse;
    rect->right = rect->left + static_cast<int32>(width);
    rect->bottom = rect->top + static_cast<int32>(height);
    return kResultTrue;
}

tresult PLUGIN_API WrappedView::setContentScaleFactor(ScaleFactor factor) {
    std::lock_guard lock(owner_->mainLock());
    if (!ensureGui()) return kResultFalse;
    // Hosts send 1 for a display of ordinary density, changed or not (Ardour
    // on every open): it must not undo the size the editor chose for the screen.
    if (factor == hostScale_) return kResultTrue;
    if (!gui_->set_scale(plugin_, factor)) return kResultFalse;
    hostScale_ = factor;
    uint32_t width = 0, height = 0;
    if (attached_ && gui_->get_size(plugin_, &width, &height)) requestResize(width, height);
    return kResultTrue;
}

bool WrappedView::requestResize(uint32_t width, uint32_t height) {
    const ViewRect old = rect_;
    rect_.right = rect_.left + static_cast<int32>(width);
    rect_.bottom = rect_.top + static_cast<int32>(height);
    if (!frame_) return true;
    if (frame_->resizeView(this, &rect_) == kResultOk) return true;
    rect_ = old;
    return false;
}

} // namespace norvale::vst3
