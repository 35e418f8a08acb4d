#pragma once

#include "../plugin.h"

// Lets the host switch off ports it does not use, so the plug-in can skip
// work for them; ports start active.
static CLAP_CONSTEXPR const char CLAP_EXT_AUDIO_PORTS_ACTIVATION[] =
   "clap.audio-ports-activation/2";

// The latest draft is 100% compatible.
static CLAP_CONSTEXPR const char CLAP_EXT_AUDIO_PORTS_ACTIVATION_COMPAT[] =
   "clap.audio-ports-activation/draft-2";

#ifdef __cplusplus
extern "C" {
#endif

typedef struct clap_plugin_audio_ports_activation {
   // Whether set_active may be called while processing. [main-thread]
   bool(CLAP_ABI *can_activate_while_processing)(const clap_plugin_t *plugin);

   // sample_size is 32, 64 or 0 (unspecified); it must be 0 when deactivating.
   // [active ? audio-thread : main-thread]
   bool(CLAP_ABI *set_active)(const clap_plugin_t *plugin,
                              bool                 is_input,
                              uint32_t             port_index,
                              bool                 is_active,
                              uint32_t             sample_size);
} clap_plugin_audio_ports_activation_t;

#ifdef __cplusplus
}
#endif
