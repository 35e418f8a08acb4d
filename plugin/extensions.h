// Tables still defined beside the state and preset-load code. getExtension
// builds its own tables now; these go once those files are folded in.
#pragma once

#include <clap/ext/preset-load.h>
#include <clap/ext/state.h>

namespace norvale {

extern const clap_plugin_state kStateExt;
extern const clap_plugin_preset_load kPresetLoadExt;

} // namespace norvale
