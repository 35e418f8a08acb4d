#pragma once

#include "../plugin.h"

static CLAP_CONSTEXPR const char CLAP_EXT_EVENT_REGISTRY[] = "clap.event-registry";

#ifdef __cplusplus
extern "C" {
#endif

typedef struct clap_host_event_registry {
   // Looks up the id of a named event space; false when the host does not know it. [main-thread]
   bool(CLAP_ABI *query)(const clap_host_t *host, const char *space_name, uint16_t *space_id);
} clap_host_event_registry_t;

#ifdef __cplusplus
}
#endif
