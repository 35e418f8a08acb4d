#pragma once

#include "audio-ports.h"

// Lets the host ask for a port layout, eg: the channel count of its track.
static CLAP_CONSTEXPR const char CLAP_EXT_CONFIGURABLE_AUDIO_PORTS[] =
   "clap.configurable-audio-ports/1";

// The latest draft is 100% compatible.
static CLAP_CONSTEXPR const char CLAP_EXT_CONFIGURABLE_AUDIO_PORTS_COMPAT[] =
   "clap.configurable-audio-ports.draft1";

#ifdef __cplusplus
extern "C" {
#endif

typedef struct clap_audio_port_configuration_request {
   bool     is_input;
   uint32_t port_index;
   uint32_t channel_count;

   // Port type, and details that depend on it (eg: a channel map for
   // surround); port_details is NULL for mono and stereo.
   const char *port_type;
   const void *port_details;
} clap_audio_port_configuration_request_t;

typedef struct clap_plugin_configurable_audio_ports {
   // Whether apply_configuration would accept these requests. [main-thread && !active]
   bool(CLAP_ABI *can_apply_configuration)(
      const clap_plugin_t                                *plugin,
      const struct clap_audio_port_configuration_request *requests,
      uint32_t                                            request_count);

   // All or nothing: on failure the ports stay as they were. [main-thread && !active]
   bool(CLAP_ABI *apply_configuration)(const clap_plugin_t                                *plugin,
                                       const struct clap_audio_port_configuration_request *requests,
                                       uint32_t request_count);
} clap_plugin_configurable_audio_ports_t;

#ifdef __cplusplus
}
#endif
