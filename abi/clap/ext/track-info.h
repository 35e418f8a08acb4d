#pragma once

#include "../plugin.h"
#include "../color.h"
#include "../string-sizes.h"

static CLAP_CONSTEXPR const char CLAP_EXT_TRACK_INFO[] = "clap.track-info/1";

// The latest draft is 100% compatible.
static CLAP_CONSTEXPR const char CLAP_EXT_TRACK_INFO_COMPAT[] = "clap.track-info.draft/1";

#ifdef __cplusplus
extern "C" {
#endif

enum {
   // Which fields of clap_track_info are valid.
   CLAP_TRACK_INFO_HAS_TRACK_NAME = (1 << 0),
   CLAP_TRACK_INFO_HAS_TRACK_COLOR = (1 << 1),
   CLAP_TRACK_INFO_HAS_AUDIO_CHANNEL = (1 << 2),

   // What kind of track the plug-in sits on.
   CLAP_TRACK_INFO_IS_FOR_RETURN_TRACK = (1 << 3),
   CLAP_TRACK_INFO_IS_FOR_BUS = (1 << 4),
   CLAP_TRACK_INFO_IS_FOR_MASTER = (1 << 5),
};

typedef struct clap_track_info {
   uint64_t flags; // see the flags above

   // Valid when CLAP_TRACK_INFO_HAS_TRACK_NAME is set.
   char name[CLAP_NAME_SIZE];

   // Valid when CLAP_TRACK_INFO_HAS_TRACK_COLOR is set.
   clap_color_t color;

   // Valid when CLAP_TRACK_INFO_HAS_AUDIO_CHANNEL is set; lets the plug-in
   // match the track's channel layout.
   int32_t     audio_channel_count;
   const char *audio_port_type;
} clap_track_info_t;

typedef struct clap_plugin_track_info {
   // The track's info changed; read it again with clap_host_track_info.get. [main-thread]
   void(CLAP_ABI *changed)(const clap_plugin_t *plugin);
} clap_plugin_track_info_t;

typedef struct clap_host_track_info {
   // [main-thread]
   bool(CLAP_ABI *get)(const clap_host_t *host, clap_track_info_t *info);
} clap_host_track_info_t;

#ifdef __cplusplus
}
#endif
