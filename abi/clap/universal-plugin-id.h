#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Names a plug-in across formats: abi is e.g. "clap", "vst3", "vst2" or "au",
// and id is written the way that format writes its ids.
typedef struct clap_universal_plugin_id {
   const char *abi;
   const char *id;
} clap_universal_plugin_id_t;

#ifdef __cplusplus
}
#endif
