// Tables still defined beside the state and preset-load code. getExtension
// builds its own tables now; these go once those files are folded in.
#pragma once

#include <clap/ext/gui.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/preset-load.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>

namespace norvale {

extern const clap_plugin_state kStateExt;
extern const clap_plugin_preset_load kPresetLoadExt;
extern const clap_plugin_gui kGuiExt; // gui_extension.cpp
extern const clap_plugin_timer_support kTimerSupportExt;
extern const clap_plugin_posix_fd_support kPosixFdSupportExt;

} // namespace norvale
