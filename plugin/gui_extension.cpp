// The editor's CLAP side: "clap.gui" (X11, embedded, resizable at 1432:800),
// and the clock that ticks the window every 33 ms on the host's main thread,
// through the host's timers or, without them, through a timer descriptor
// watched by the host. Where the host watches descriptors, the X connection's
// is watched too, so input is answered at once rather than on the next tick.
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include <clap/ext/gui.h>
#include <clap/ext/log.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/timer-support.h>

#include "gui/plugin_window.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

struct Editor {
    std::unique_ptr<PluginWindow> window;
    clap_id timerId = CLAP_INVALID_ID;
    int timerFd = -1;
    int connectionFd = -1;
};

namespace {

constexpr uint32_t kTickMs = 33;

const clap_host_timer_support* hostTimers(const NorvalePlugin& self) {
    if (self.host == nullptr || self.host->get_extension == nullptr) return nullptr;
    auto* timers = static_cast<const clap_host_timer_support*>(
        self.host->get_extension(self.host, CLAP_EXT_TIMER_SUPPORT));
    return timers != nullptr && timers->register_timer != nullptr &&
                   timers->unregister_timer != nullptr
               ? timers
               : nullptr;
}

const clap_host_posix_fd_support* hostFds(const NorvalePlugin& self) {
    if (self.host == nullptr || self.host->get_extension == nullptr) return nullptr;
    auto* fds = static_cast<const clap_host_posix_fd_support*>(
        self.host->get_extension(self.host, CLAP_EXT_POSIX_FD_SUPPORT));
    return fds != nullptr && fds->register_fd != nullptr && fds->unregister_fd != nullptr ? fds
                                                                                          : nullptr;
}

bool isX11(const char* api, bool floating) {
    return api != nullptr && std::strcmp(api, CLAP_WINDOW_API_X11) == 0 && !floating;
}

bool isX11Window(const clap_window* window) {
    return window != nullptr && isX11(window->api, false);
}

// ---- the clock ----

void stopClock(NorvalePlugin& self, Editor& editor) {
    if (editor.timerId != CLAP_INVALID_ID) {
        if (const auto* timers = hostTimers(self))
            timers->unregister_timer(self.host, editor.timerId);
        editor.timerId = CLAP_INVALID_ID;
    }
    const auto* fds = hostFds(self);
    for (int* fd : {&editor.timerFd, &editor.connectionFd}) {
        if (*fd >= 0 && fds != nullptr) fds->unregister_fd(self.host, *fd);
    }
    if (editor.timerFd >= 0) close(editor.timerFd);
    editor.timerFd = editor.connectionFd = -1;
}

bool startTimerFd(const NorvalePlugin& self, const clap_host_posix_fd_support& fds,
                  Editor& editor) {
    editor.timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (editor.timerFd < 0) return false;
    itimerspec period{};
    period.it_interval.tv_nsec = kTickMs * 1000000L;
    period.it_value = period.it_interval;
    if (timerfd_settime(editor.timerFd, 0, &period, nullptr) == 0 &&
        fds.register_fd(self.host, editor.timerFd, CLAP_POSIX_FD_READ))
        return true;
    close(editor.timerFd);
    editor.timerFd = -1;
    return false;
}

bool startClock(NorvalePlugin& self, Editor& editor) {
    const auto* fds = hostFds(self);
    bool ticking = false;
    if (const auto* timers = hostTimers(self)) {
        clap_id id = CLAP_INVALID_ID;
        if (timers->register_timer(self.host, kTickMs, &id) && id != CLAP_INVALID_ID) {
            editor.timerId = id;
            ticking = true;
        }
    }
    if (!ticking && (fds == nullptr || !startTimerFd(self, *fds, editor))) return false;
    const int connection = editor.window->connectionFd();
    if (fds != nullptr && connection >= 0 &&
        fds->register_fd(self.host, connection, CLAP_POSIX_FD_READ))
        editor.connectionFd = connection;
    return true;
}

void logNoClock(const NorvalePlugin& self, const char* why) {
    if (self.host == nullptr || self.host->get_extension == nullptr) return;
    const auto* log =
        static_cast<const clap_host_log*>(self.host->get_extension(self.host, CLAP_EXT_LOG));
    if (log != nullptr && log->log != nullptr) log->log(self.host, CLAP_LOG_WARNING, why);
}

} // namespace

// ---- the clock's callbacks ----

void NorvalePlugin::guiOnTimer(clap_id id) {
    if (editor != nullptr && editor->window && id == editor->timerId) editor->window->tick();
}

void NorvalePlugin::posixFdOnFd(int fd, clap_posix_fd_flags_t) {
    if (editor == nullptr || !editor->window) return;
    if (fd == editor->timerFd) {
        uint64_t expirations;
        if (read(fd, &expirations, sizeof expirations) < 0) {
            // Nothing due yet (a spurious wake-up): no tick.
            return;
        }
        editor->window->tick();
    } else if (fd == editor->connectionFd) {
        editor->window->tick();
    }
}

// ---- clap.gui ----

// Hosts ask this once per plug-in type, some of them with a throw-away host
// that offers nothing: whether a clock can be had is create's question.
bool NorvalePlugin::guiIsApiSupported(const char* api, bool floating) const {
    return isX11(api, floating);
}

bool NorvalePlugin::guiGetPreferredApi(const char** api, bool* floating) const {
    if (api == nullptr || floating == nullptr) return false;
    *api = CLAP_WINDOW_API_X11;
    *floating = false;
    return true;
}

bool NorvalePlugin::guiCreate(const char* api, bool floating) {
    if (!guiIsApiSupported(api, floating)) return false;
    if (editor != nullptr) return true;
    if (hostTimers(*this) == nullptr && hostFds(*this) == nullptr) {
        logNoClock(
            *this,
            "Norvale: no editor, the host offers neither timers nor descriptors to clock it");
        return false;
    }
    ensurePresetList();
    auto opened = std::make_unique<Editor>();
    opened->window = createGui(*this, *this);
    if (!opened->window) return false;
    if (!startClock(*this, *opened)) {
        stopClock(*this, *opened);
        logNoClock(*this,
                   "Norvale: no editor, the host refused the timer and the descriptor to clock it");
        return false;
    }
    editor = opened.release();
    return true;
}

void NorvalePlugin::guiDestroy() {
    if (editor == nullptr) return;
    std::unique_ptr<Editor> closing(editor);
    editor = nullptr;
    stopClock(*this, *closing);
    closing->window.reset();
    // The engine stops capturing the scope for a window that is gone.
    scopeVisible.store(false, std::memory_order_relaxed);
    updateScopeTarget();
}

bool NorvalePlugin::guiSetScale(double scale) {
    PluginWindow* window = editorWindow(*this);
    return window != nullptr && window->setScale(scale);
}

bool NorvalePlugin::guiRequestResize(uint32_t width, uint32_t height) {
    const auto* gui = static_cast<const clap_host_gui*>(hostExtension(CLAP_EXT_GUI));
    return gui != nullptr && gui->request_resize != nullptr &&
           gui->request_resize(host, width, height);
}

bool NorvalePlugin::guiGetSize(uint32_t* width, uint32_t* height) {
    PluginWindow* window = editorWindow(*this);
    if (window == nullptr || width == nullptr || height == nullptr) return false;
    window->size(*width, *height);
    return true;
}

bool NorvalePlugin::guiGetResizeHints(clap_gui_resize_hints* hints) {
    PluginWindow* window = editorWindow(*this);
    if (window == nullptr || hints == nullptr) return false;
    hints->can_resize_horizontally = true;
    hints->can_resize_vertically = true;
    hints->preserve_aspect_ratio = true;
    window->designSize(hints->aspect_ratio_width, hints->aspect_ratio_height);
    return true;
}

bool NorvalePlugin::guiAdjustSize(uint32_t* width, uint32_t* height) {
    PluginWindow* window = editorWindow(*this);
    if (window == nullptr || width == nullptr || height == nullptr) return false;
    window->fitSize(*width, *height);
    return true;
}

bool NorvalePlugin::guiSetSize(uint32_t width, uint32_t height) {
    PluginWindow* window = editorWindow(*this);
    return window != nullptr && window->resize(width, height);
}

bool NorvalePlugin::guiSetParent(const clap_window* parent) {
    PluginWindow* window = editorWindow(*this);
    return window != nullptr && isX11Window(parent) && window->embed(parent->x11);
}

bool NorvalePlugin::guiSetTransient(const clap_window* other) {
    PluginWindow* window = editorWindow(*this);
    return window != nullptr && isX11Window(other) && window->setTransientFor(other->x11);
}

void NorvalePlugin::guiSuggestTitle(const char* title) {
    if (PluginWindow* window = editorWindow(*this)) window->setTitle(title);
}

bool NorvalePlugin::guiShowOrHide(bool visible) {
    PluginWindow* window = editorWindow(*this);
    if (window == nullptr) return false;
    visible ? window->show() : window->hide();
    scopeVisible.store(visible, std::memory_order_relaxed);
    updateScopeTarget();
    return true;
}

PluginWindow* editorWindow(const NorvalePlugin& self) {
    return self.editor != nullptr ? self.editor->window.get() : nullptr;
}
} // namespace norvale
