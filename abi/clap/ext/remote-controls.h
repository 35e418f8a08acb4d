#pragma once

#include "../plugin.h"
#include "../string-sizes.h"

// Pages of eight parameters for hardware controllers with eight knobs.
static CLAP_CONSTEXPR const char CLAP_EXT_REMOTE_CONTROLS[] = "clap.remote-controls/2";

// The latest draft is 100% compatible.
static CLAP_CONSTEXPR const char CLAP_EXT_REMOTE_CONTROLS_COMPAT[] = "clap.remote-controls.draft/2";

#ifdef __cplusplus
extern "C" {
#endif

enum { CLAP_REMOTE_CONTROLS_COUNT = 8 };

typedef struct clap_remote_controls_page {
   char    section_name[CLAP_NAME_SIZE];
   clap_id page_id;
   char    page_name[CLAP_NAME_SIZE];

   // CLAP_INVALID_ID leaves a slot empty.
   clap_id param_ids[CLAP_REMOTE_CONTROLS_COUNT];

   // Pages that belong to the loaded preset rather than to the plug-in.
   bool is_for_preset;
} clap_remote_controls_page_t;

typedef struct clap_plugin_remote_controls {
   // [main-thread]
   uint32_t(CLAP_ABI *count)(const clap_plugin_t *plugin);

   // [main-thread]
   bool(CLAP_ABI *get)(const clap_plugin_t         *plugin,
                       uint32_t                     page_index,
                       clap_remote_controls_page_t *page);
} clap_plugin_remote_controls_t;

typedef struct clap_host_remote_controls {
   // The pages changed. [main-thread]
   void(CLAP_ABI *changed)(const clap_host_t *host);

   // Suggests a page to show, eg: the one the GUI is on. [main-thread]
   void(CLAP_ABI *suggest_page)(const clap_host_t *host, clap_id page_id);
} clap_host_remote_controls_t;

#ifdef __cplusplus
}
#endif
