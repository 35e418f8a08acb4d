#pragma once

#include "../plugin.h"
#include "../stream.h"

// Like clap.state, but tells why the state is saved, so a plug-in can
// leave out what does not belong in a preset or a duplicate.
static CLAP_CONSTEXPR const char CLAP_EXT_STATE_CONTEXT[] = "clap.state-context/2";

#ifdef __cplusplus
extern "C" {
#endif

enum clap_plugin_state_context_type {
   // suitable for storing and loading a state as a preset
   CLAP_STATE_CONTEXT_FOR_PRESET = 1,

   // suitable for duplicating a plugin instance
   CLAP_STATE_CONTEXT_FOR_DUPLICATE = 2,

   // suitable for storing and loading a state within a project/song
   CLAP_STATE_CONTEXT_FOR_PROJECT = 3,
};

typedef struct clap_plugin_state_context {
   // [main-thread]
   bool(CLAP_ABI *save)(const clap_plugin_t  *plugin,
                        const clap_ostream_t *stream,
                        uint32_t              context_type);

   // [main-thread]
   bool(CLAP_ABI *load)(const clap_plugin_t  *plugin,
                        const clap_istream_t *stream,
                        uint32_t              context_type);
} clap_plugin_state_context_t;

#ifdef __cplusplus
}
#endif
