// The editor's CLAP side: "clap.gui" (X11, embedded, resizable at 1432:864),
// and the clock that ticks the window every 33 ms on the host's main thread,
// through the host's timers or, without them, through a timer descriptor and
// the X connection's descriptor watched by the host. Without either, no editor.
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include <clap/ext/gui.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/timer-support.h>

#include "gui/plugin_window.h"
#include "plugin/extensions.h"
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

PluginWindow* windowOf(const clap_plugin* plugin) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    return self != nullptr && self->editor != nullptr ? self->editor->window.get() : nullptr;
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

bool startClock(NorvalePlugin& self, Editor& editor) {
    if (const auto* timers = hostTimers(self)) {
        clap_id id = CLAP_INVALID_ID;
        if (timers->register_timer(self.host, kTickMs, &id) && id != CLAP_INVALID_ID) {
            editor.timerId = id;
            return true;
        }
    }
    const auto* fds = hostFds(self);
    if (fds == nullptr) return false;
    editor.timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (editor.timerFd < 0) return false;
    itimerspec period{};
    period.it_interval.tv_nsec = kTickMs * 1000000L;
    period.it_value = period.it_interval;
    if (timerfd_settime(editor.timerFd, 0, &period, nullptr) != 0 ||
        !fds->register_fd(self.host, editor.timerFd, CLAP_POSIX_FD_READ)) {
        close(editor.timerFd);
        editor.timerFd = -1;
        return false;
    }
    // Input is answered at once rather than on the next tick.
    const int connection = editor.window->connectionFd();
    if (connection >= 0 && fds->register_fd(self.host, connection, CLAP_POSIX_FD_READ))
        editor.connectionFd = connection;
    return true;
}

void onTimer(const clap_plugin* plugin, clap_id id) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self != nullptr && self->editor != nullptr && self->editor->window &&
        id == self->editor->timerId)
        self->editor->window->tick();
}

void onFd(const clap_plugin* plugin, int fd, clap_posix_fd_flags_t) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self == nullptr || self->editor == nullptr || !self->editor->window) return;
    Editor& editor = *self->editor;
    if (fd == editor.timerFd) {
        uint64_t expirations;
        if (read(fd, &expirations, sizeof expirations) < 0) {
            // Nothing due yet (a spurious wake-up): no tick.
            return;
        }
        editor.window->tick();
    } else if (fd == editor.connectionFd) {
        editor.window->tick();
    }
}

// ---- clap.gui ----

bool guiIsApiSupported(const clap_plugin* plugin, const char* api, bool floating) {
    const NorvalePlugin* self = NorvalePlugin::from(plugin);
    return self != nullptr && isX11(api, floating) &&
           (hostTimers(*self) != nullptr || hostFds(*self) != nullptr);
}

bool guiGetPreferredApi(const clap_plugin*, const char** api, bool* floating) {
    if (api == nullptr || floating == nullptr) return false;
    *api = CLAP_WINDOW_API_X11;
    *floating = false;
    return true;
}

bool guiCreate(const clap_plugin* plugin, const char* api, bool floating) {
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self == nullptr || !guiIsApiSupported(plugin, api, floating)) return false;
    if (self->editor != nullptr) return true;
    try {
        self->ensurePresetList();
        auto editor = std::make_unique<Editor>();
        editor->window = createGui(*self, *self);
        if (!editor->window || !startClock(*self, *editor)) {
            if (editor->window) stopClock(*self, *editor);
            return false;
        }
        self->editor = editor.release();
        return true;
    } catch (...) {
        return false;
    }
}

void guiDestroy(const clap_plugin* plugin) {
    if (NorvalePlugin* self = NorvalePlugin::from(plugin)) destroyEditor(*self);
}

bool guiSetScale(const clap_plugin* plugin, double scale) {
    PluginWindow* window = windowOf(plugin);
    return window != nullptr && window->setScale(scale);
}

bool guiGetSize(const clap_plugin* plugin, uint32_t* width, uint32_t* height) {
    PluginWindow* window = windowOf(plugin);
    if (window == nullptr || width == nullptr || height == nullptr) return false;
    window->size(*width, *height);
    return true;
}

bool guiCanResize(const clap_plugin*) {
    return true;
}

bool guiGetResizeHints(const clap_plugin* plugin, clap_gui_resize_hints* hints) {
    PluginWindow* window = windowOf(plugin);
    if (window == nullptr || hints == nullptr) return false;
    hints->can_resize_horizontally = true;
    hints->can_resize_vertically = true;
    hints->preserve_aspect_ratio = true;
    window->designSize(hints->aspect_ratio_width, hints->aspect_ratio_height);
    return true;
}

bool guiAdjustSize(const clap_plugin* plugin, uint32_t* width, uint32_t* height) {
    PluginWindow* window = windowOf(plugin);
    if (window == nullptr || width == nullptr || height == nullptr) return false;
    window->fitSize(*width, *height);
    return true;
}

bool guiSetSize(const clap_plugin* plugin, uint32_t width, uint32_t height) {
    PluginWindow* window = windowOf(plugin);
    return window != nullptr && window->resize(width, height);
}

bool guiSetParent(const clap_plugin* plugin, const clap_window* parent) {
    PluginWindow* window = windowOf(plugin);
    if (window == nullptr || parent == nullptr || parent->api == nullptr ||
        std::strcmp(parent->api, CLAP_WINDOW_API_X11) != 0)
        return false;
    return window->embed(parent->x11);
}

bool guiSetTransient(const clap_plugin* plugin, const clap_window* other) {
    PluginWindow* window = windowOf(plugin);
    if (window == nullptr || other == nullptr || other->api == nullptr ||
        std::strcmp(other->api, CLAP_WINDOW_API_X11) != 0)
        return false;
    return window->setTransientFor(other->x11);
}

void guiSuggestTitle(const clap_plugin* plugin, const char* title) {
    if (PluginWindow* window = windowOf(plugin)) window->setTitle(title);
}

bool showOrHide(const clap_plugin* plugin, bool visible) {
    PluginWindow* window = windowOf(plugin);
    if (window == nullptr) return false;
    visible ? window->show() : window->hide();
    NorvalePlugin* self = NorvalePlugin::from(plugin);
    self->scopeVisible.store(visible, std::memory_order_relaxed);
    self->updateScopeTarget();
    return true;
}

bool guiShow(const clap_plugin* plugin) {
    return showOrHide(plugin, true);
}
bool guiHide(const clap_plugin* plugin) {
    return showOrHide(plugin, false);
}

} // namespace

void destroyEditor(NorvalePlugin& self) {
    if (self.editor == nullptr) return;
    std::unique_ptr<Editor> editor(self.editor);
    self.editor = nullptr;
    stopClock(self, *editor);
    editor->window.reset();
    // The engine stops capturing the scope for a window that is gone.
    self.scopeVisible.store(false, std::memory_order_relaxed);
    self.updateScopeTarget();
}

PluginWindow* editorWindow(const NorvalePlugin& self) {
    return self.editor != nullptr ? self.editor->window.get() : nullptr;
}

const clap_plugin_gui kGuiExt = {
    guiIsApiSupported, guiGetPreferredApi, guiCreate,         guiDestroy,    guiSetScale,
    guiGetSize,        guiCanResize,       guiGetResizeHints, guiAdjustSize, guiSetSize,
    guiSetParent,      guiSetTransient,    guiSuggestTitle,   guiShow,       guiHide,
};
const clap_plugin_timer_support kTimerSupportExt = {onTimer};
const clap_plugin_posix_fd_support kPosixFdSupportExt = {onFd};

} // namespace norvale
