#pragma once

#include "../plugin.h"
#include "../string-sizes.h"

static CLAP_CONSTEXPR const char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
static CLAP_CONSTEXPR const char CLAP_PORT_MONO[] = "mono";
static CLAP_CONSTEXPR const char CLAP_PORT_STEREO[] = "stereo";

#ifdef __cplusplus
extern "C" {
#endif

enum {
   // The main port of its direction; at most one input and one output.
   CLAP_AUDIO_PORT_IS_MAIN = 1 << 0,

   // The port can process 64 bit audio.
   CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1 << 1,

   // The port would rather get 64 bit audio, when the host can.
   CLAP_AUDIO_PORT_PREFERS_64BITS = 1 << 2,

   // Every port with this flag must use the same sample size.
   CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1 << 3,
};

typedef struct clap_audio_port_info {
   // Stable id, so the host can keep connections across rescans.
   clap_id id;
   char    name[CLAP_NAME_SIZE]; // displayable name

   uint32_t flags;
   uint32_t channel_count;

   // CLAP_PORT_MONO, CLAP_PORT_STEREO, another type, or NULL if unknown.
   const char *port_type;

   // The output port that may share this input's buffer, or CLAP_INVALID_ID.
   clap_id in_place_pair;
} clap_audio_port_info_t;

typedef struct clap_plugin_audio_ports {
   // [main-thread]
   uint32_t(CLAP_ABI *count)(const clap_plugin_t *plugin, bool is_input);

   // [main-thread]
   bool(CLAP_ABI *get)(const clap_plugin_t    *plugin,
                       uint32_t                index,
                       bool                    is_input,
                       clap_audio_port_info_t *info);
} clap_plugin_audio_ports_t;

enum {
   // The names changed; the host may do this while the plug-in is active.
   CLAP_AUDIO_PORTS_RESCAN_NAMES = 1 << 0,

   // The rest need the plug-in to be deactivated.
   CLAP_AUDIO_PORTS_RESCAN_FLAGS = 1 << 1,
   CLAP_AUDIO_PORTS_RESCAN_CHANNEL_COUNT = 1 << 2,
   CLAP_AUDIO_PORTS_RESCAN_PORT_TYPE = 1 << 3,
   CLAP_AUDIO_PORTS_RESCAN_IN_PLACE_PAIR = 1 << 4,
   CLAP_AUDIO_PORTS_RESCAN_LIST = 1 << 5,
};

typedef struct clap_host_audio_ports {
   // [main-thread]
   bool(CLAP_ABI *is_rescan_flag_supported)(const clap_host_t *host, uint32_t flag);

   // [main-thread]
   void(CLAP_ABI *rescan)(const clap_host_t *host, uint32_t flags);
} clap_host_audio_ports_t;

#ifdef __cplusplus
}
#endif
