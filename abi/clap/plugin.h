#pragma once

#include "private/macros.h"
#include "host.h"
#include "process.h"
#include "plugin-features.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct clap_plugin_descriptor {
   clap_version_t clap_version; // initialized to CLAP_VERSION

   // id is mandatory and must be unique: a reverse URI such as "com.u-he.diva".
   // The rest is free text for the host to show and may be NULL.
   const char *id;
   const char *name;
   const char *vendor;
   const char *url;
   const char *manual_url;
   const char *support_url;
   const char *version;     // eg: "1.4.4"
   const char *description; // eg: "The spirit of analogue"

   // NULL-terminated list of feature words, see plugin-features.h.
   const char *const *features;
} clap_plugin_descriptor_t;

typedef struct clap_plugin {
   const clap_plugin_descriptor_t *desc;

   void *plugin_data; // reserved pointer for the plug-in

   // Called once, right after creation, before any other call. [main-thread]
   bool(CLAP_ABI *init)(const struct clap_plugin *plugin);

   // Frees the plug-in; it is deactivated first. [main-thread]
   void(CLAP_ABI *destroy)(const struct clap_plugin *plugin);

   // The frame counts bound every later process call, so buffers can be
   // allocated here and not on the audio thread. [main-thread & !active]
   bool(CLAP_ABI *activate)(const struct clap_plugin *plugin,
                            double                    sample_rate,
                            uint32_t                  min_frames_count,
                            uint32_t                  max_frames_count);

   // [main-thread & active]
   void(CLAP_ABI *deactivate)(const struct clap_plugin *plugin);

   // Called before processing starts. [audio-thread & active & !processing]
   bool(CLAP_ABI *start_processing)(const struct clap_plugin *plugin);

   // Called after processing stops. [audio-thread & active & processing]
   void(CLAP_ABI *stop_processing)(const struct clap_plugin *plugin);

   // Clears all buffers, voices and envelopes, as after activation. [audio-thread & active]
   void(CLAP_ABI *reset)(const struct clap_plugin *plugin);

   // [audio-thread & active & processing]
   clap_process_status(CLAP_ABI *process)(const struct clap_plugin *plugin,
                                          const clap_process_t     *process);

   // Returns NULL when the plug-in does not have the extension. [thread-safe]
   const void *(CLAP_ABI *get_extension)(const struct clap_plugin *plugin, const char *id);

   // Runs on the main thread after clap_host->request_callback. [main-thread]
   void(CLAP_ABI *on_main_thread)(const struct clap_plugin *plugin);
} clap_plugin_t;

#ifdef __cplusplus
}
#endif
