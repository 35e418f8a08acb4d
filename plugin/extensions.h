// The extension tables get_extension hands out, each defined beside the code
// it forwards to.
#pragma once

#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/note-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/preset-load.h>
#include <clap/ext/state.h>
#include <clap/ext/tail.h>
#include <clap/ext/timer-support.h>

namespace norvale {

extern const clap_plugin_params kParamsExt;
extern const clap_plugin_audio_ports kAudioPortsExt;
extern const clap_plugin_note_ports kNotePortsExt;
extern const clap_plugin_state kStateExt;
extern const clap_plugin_tail kTailExt;
extern const clap_plugin_preset_load kPresetLoadExt;
extern const clap_plugin_gui kGuiExt; // gui_extension.cpp
extern const clap_plugin_timer_support kTimerSupportExt;
extern const clap_plugin_posix_fd_support kPosixFdSupportExt;

} // namespace norvale
