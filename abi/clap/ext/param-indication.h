#pragma once

#include "params.h"
#include "../color.h"

// Lets the host show on the plug-in's controls which are mapped to a
// controller or automated.
static CLAP_CONSTEXPR const char CLAP_EXT_PARAM_INDICATION[] = "clap.param-indication/4";

// The latest draft is 100% compatible.
static CLAP_CONSTEXPR const char CLAP_EXT_PARAM_INDICATION_COMPAT[] = "clap.param-indication.draft/4";

#ifdef __cplusplus
extern "C" {
#endif

enum {
   // The host has no automation for this parameter.
   CLAP_PARAM_INDICATION_AUTOMATION_NONE = 0,

   // The host has automation for this parameter, but it isn't playing.
   CLAP_PARAM_INDICATION_AUTOMATION_PRESENT = 1,

   // The host is playing automation for this parameter.
   CLAP_PARAM_INDICATION_AUTOMATION_PLAYING = 2,

   // The host is recording automation on this parameter.
   CLAP_PARAM_INDICATION_AUTOMATION_RECORDING = 3,

   // The host should play automation for this parameter, but the user has overridden it.
   CLAP_PARAM_INDICATION_AUTOMATION_OVERRIDING = 4,
};

typedef struct clap_plugin_param_indication {
   // color may be NULL to let the plug-in pick one. [main-thread]
   void(CLAP_ABI *set_mapping)(const clap_plugin_t *plugin,
                               clap_id              param_id,
                               bool                 has_mapping,
                               const clap_color_t  *color,
                               const char          *label,
                               const char          *description);

   // automation_state is a CLAP_PARAM_INDICATION_AUTOMATION_* value. [main-thread]
   void(CLAP_ABI *set_automation)(const clap_plugin_t *plugin,
                                  clap_id              param_id,
                                  uint32_t             automation_state,
                                  const clap_color_t  *color);
} clap_plugin_param_indication_t;

#ifdef __cplusplus
}
#endif
