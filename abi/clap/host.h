#pragma once

#include "version.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct clap_host {
   clap_version_t clap_version; // initialized to CLAP_VERSION

   void *host_data; // reserved pointer for the host

   // Name and vendor are mandatory; url and version may be NULL.
   const char *name;    // eg: "Bitwig Studio"
   const char *vendor;  // eg: "Bitwig GmbH"
   const char *url;     // eg: "https://bitwig.com"
   const char *version; // eg: "4.3", see plugin.h for advice on how to format the version

   // Returns NULL when the host does not have the extension; the result
   // stays valid for the plug-in's lifetime. [thread-safe]
   const void *(CLAP_ABI *get_extension)(const struct clap_host *host, const char *extension_id);

   // Asks the host to deactivate and then reactivate the plug-in. [thread-safe]
   void(CLAP_ABI *request_restart)(const struct clap_host *host);

   // Asks the host to activate and start processing the plug-in. [thread-safe]
   void(CLAP_ABI *request_process)(const struct clap_host *host);

   // Asks the host to call clap_plugin->on_main_thread on the main thread. [thread-safe]
   void(CLAP_ABI *request_callback)(const struct clap_host *host);
} clap_host_t;

#ifdef __cplusplus
}
#endif
