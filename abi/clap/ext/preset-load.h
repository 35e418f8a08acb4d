#pragma once

#include "../plugin.h"
#include "../factory/preset-discovery.h"

static CLAP_CONSTEXPR const char CLAP_EXT_PRESET_LOAD[] = "clap.preset-load/2";

// The latest draft is 100% compatible.
static CLAP_CONSTEXPR const char CLAP_EXT_PRESET_LOAD_COMPAT[] = "clap.preset-load.draft/2";

#ifdef __cplusplus
extern "C" {
#endif

typedef struct clap_plugin_preset_load {
   // Loads a preset found by preset discovery; location_kind is a
   // clap_preset_discovery_location_kind value. The result is reported
   // through clap_host_preset_load. [main-thread]
   bool(CLAP_ABI *from_location)(const clap_plugin_t *plugin,
                                 uint32_t             location_kind,
                                 const char          *location,
                                 const char          *load_key);
} clap_plugin_preset_load_t;

typedef struct clap_host_preset_load {
   // os_error is an errno value, or 0. [main-thread]
   void(CLAP_ABI *on_error)(const clap_host_t *host,
                            uint32_t           location_kind,
                            const char        *location,
                            const char        *load_key,
                            int32_t            os_error,
                            const char        *msg);

   // The preset was loaded, either on request or from the plug-in's own browser. [main-thread]
   void(CLAP_ABI *loaded)(const clap_host_t *host,
                          uint32_t           location_kind,
                          const char        *location,
                          const char        *load_key);
} clap_host_preset_load_t;

#ifdef __cplusplus
}
#endif
