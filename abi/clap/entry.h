#pragma once

#include "version.h"
#include "private/macros.h"

#ifdef __cplusplus
extern "C" {
#endif

// The one symbol a CLAP binary exports, named clap_entry.
typedef struct clap_plugin_entry {
   clap_version_t clap_version; // initialized to CLAP_VERSION

   // Called once after loading, before anything else; plugin_path is the
   // path of the binary or bundle. Hosts may call it again after deinit.
   bool(CLAP_ABI *init)(const char *plugin_path);

   // Called once before unloading; no plug-in instance may be alive.
   void(CLAP_ABI *deinit)(void);

   // Returns the factory for the id, or NULL; the pointer stays valid until deinit.
   const void *(CLAP_ABI *get_factory)(const char *factory_id);
} clap_plugin_entry_t;

CLAP_EXPORT extern const clap_plugin_entry_t clap_entry;

#ifdef __cplusplus
}
#endif
