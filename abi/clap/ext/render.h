#pragma once

#include "../plugin.h"

static CLAP_CONSTEXPR const char CLAP_EXT_RENDER[] = "clap.render";

#ifdef __cplusplus
extern "C" {
#endif

enum {
   // Processing must keep up with real time.
   CLAP_RENDER_REALTIME = 0,

   // Processing may take as long as it needs, eg: for a bounce.
   CLAP_RENDER_OFFLINE = 1,
};
typedef int32_t clap_plugin_render_mode;

typedef struct clap_plugin_render {
   // True when the plug-in can only run in real time, eg: it drives hardware. [main-thread]
   bool(CLAP_ABI *has_hard_realtime_requirement)(const clap_plugin_t *plugin);

   // [main-thread]
   bool(CLAP_ABI *set)(const clap_plugin_t *plugin, clap_plugin_render_mode mode);
} clap_plugin_render_t;

#ifdef __cplusplus
}
#endif
