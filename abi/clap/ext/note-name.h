#pragma once

#include "../plugin.h"
#include "../string-sizes.h"

static CLAP_CONSTEXPR const char CLAP_EXT_NOTE_NAME[] = "clap.note-name";

#ifdef __cplusplus
extern "C" {
#endif

typedef struct clap_note_name {
   char    name[CLAP_NAME_SIZE];
   int16_t port;    // -1 for every port
   int16_t key;     // -1 for every key
   int16_t channel; // -1 for every channel
} clap_note_name_t;

typedef struct clap_plugin_note_name {
   // [main-thread]
   uint32_t(CLAP_ABI *count)(const clap_plugin_t *plugin);

   // [main-thread]
   bool(CLAP_ABI *get)(const clap_plugin_t *plugin, uint32_t index, clap_note_name_t *note_name);
} clap_plugin_note_name_t;

typedef struct clap_host_note_name {
   // [main-thread]
   void(CLAP_ABI *changed)(const clap_host_t *host);
} clap_host_note_name_t;

#ifdef __cplusplus
}
#endif
