#pragma once

#include "../plugin.h"

static CLAP_CONSTEXPR const char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

#ifdef __cplusplus
extern "C" {
#endif

// Every method must be thread-safe: hosts may scan from several threads.
typedef struct clap_plugin_factory {
   // Number of plug-ins this factory can create.
   uint32_t(CLAP_ABI *get_plugin_count)(const struct clap_plugin_factory *factory);

   // Returns NULL for an index out of range; the descriptor stays valid until deinit.
   const clap_plugin_descriptor_t *(CLAP_ABI *get_plugin_descriptor)(
      const struct clap_plugin_factory *factory, uint32_t index);

   // Returns NULL when plugin_id is unknown; the plug-in is not initialized yet.
   const clap_plugin_t *(CLAP_ABI *create_plugin)(const struct clap_plugin_factory *factory,
                                                  const clap_host_t                *host,
                                                  const char                       *plugin_id);
} clap_plugin_factory_t;

#ifdef __cplusplus
}
#endif
