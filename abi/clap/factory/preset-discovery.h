#pragma once

// Lets a host index presets without instantiating the plug-in: a provider
// declares where presets live and reads their metadata on request.

#include "../private/std.h"
#include "../private/macros.h"
#include "../timestamp.h"
#include "../version.h"
#include "../universal-plugin-id.h"

// The stable id follows the draft id so that older hosts keep working.
static const CLAP_CONSTEXPR char CLAP_PRESET_DISCOVERY_FACTORY_ID[] =
   "clap.preset-discovery-factory/2";

// The latest draft is 100% compatible.
static const CLAP_CONSTEXPR char CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT[] =
   "clap.preset-discovery-factory/draft-2";

#ifdef __cplusplus
extern "C" {
#endif

enum clap_preset_discovery_location_kind {
   // The location is a path to a file or folder.
   CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0,

   // The presets are inside the plug-in itself; the location is NULL.
   CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1,
};

enum clap_preset_discovery_flags {
   CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1 << 0,
   CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1 << 1,
   CLAP_PRESET_DISCOVERY_IS_DEMO_CONTENT = 1 << 2,
   CLAP_PRESET_DISCOVERY_IS_FAVORITE = 1 << 3,
};

// Receives the metadata of the presets one location holds. [main-thread]
typedef struct clap_preset_discovery_metadata_receiver {
   void *receiver_data; // reserved pointer for the metadata receiver

   // Reports an error reading the location; os_error is an errno value, or 0.
   void(CLAP_ABI *on_error)(const struct clap_preset_discovery_metadata_receiver *receiver,
                            int32_t                                               os_error,
                            const char                                           *error_message);

   // Starts a preset; load_key tells presets apart within a container file
   // and is NULL otherwise. The calls below describe that preset.
   // Returns false to stop reading the location.
   bool(CLAP_ABI *begin_preset)(const struct clap_preset_discovery_metadata_receiver *receiver,
                                const char                                           *name,
                                const char                                           *load_key);

   // Adds a plug-in that can load the preset; at least one is needed.
   void(CLAP_ABI *add_plugin_id)(const struct clap_preset_discovery_metadata_receiver *receiver,
                                 const clap_universal_plugin_id_t                     *plugin_id);

   void(CLAP_ABI *set_soundpack_id)(const struct clap_preset_discovery_metadata_receiver *receiver,
                                    const char *soundpack_id);

   // See clap_preset_discovery_flags; these override the location's flags.
   void(CLAP_ABI *set_flags)(const struct clap_preset_discovery_metadata_receiver *receiver,
                             uint32_t                                              flags);

   void(CLAP_ABI *add_creator)(const struct clap_preset_discovery_metadata_receiver *receiver,
                               const char                                           *creator);

   void(CLAP_ABI *set_description)(const struct clap_preset_discovery_metadata_receiver *receiver,
                                   const char *description);

   // CLAP_TIMESTAMP_UNKNOWN when a time is not known.
   void(CLAP_ABI *set_timestamps)(const struct clap_preset_discovery_metadata_receiver *receiver,
                                  clap_timestamp creation_time,
                                  clap_timestamp modification_time);

   // Feature words as in plugin-features.h, eg: "drum", "pad".
   void(CLAP_ABI *add_feature)(const struct clap_preset_discovery_metadata_receiver *receiver,
                               const char                                           *feature);

   // Free key/value pairs the host may show or search.
   void(CLAP_ABI *add_extra_info)(const struct clap_preset_discovery_metadata_receiver *receiver,
                                  const char                                           *key,
                                  const char                                           *value);
} clap_preset_discovery_metadata_receiver_t;

typedef struct clap_preset_discovery_filetype {
   const char *name;
   const char *description; // optional

   // Without the dot; NULL or empty matches every file.
   const char *file_extension;
} clap_preset_discovery_filetype_t;

// A place that holds presets.
typedef struct clap_preset_discovery_location {
   uint32_t    flags; // see clap_preset_discovery_flags
   const char *name;  // name of this location
   uint32_t    kind;  // see clap_preset_discovery_location_kind

   // A file or folder path for LOCATION_FILE, NULL for LOCATION_PLUGIN.
   const char *location;
} clap_preset_discovery_location_t;

// A set of presets sold or shipped together.
typedef struct clap_preset_discovery_soundpack {
   uint32_t       flags;        // see clap_preset_discovery_flags
   const char    *id;           // sound pack identifier
   const char    *name;         // name of this sound pack
   const char    *description;  // optional, reasonably short description of the sound pack
   const char    *homepage_url; // optional, url to the pack's webpage
   const char    *vendor;       // optional, sound pack's vendor
   const char    *image_path;   // optional, an image on disk
   clap_timestamp release_timestamp; // release date, CLAP_TIMESTAMP_UNKNOWN if unavailable
} clap_preset_discovery_soundpack_t;

typedef struct clap_preset_discovery_provider_descriptor {
   clap_version_t clap_version; // initialized to CLAP_VERSION
   const char    *id;           // see plugin.h for advice on how to choose a good identifier
   const char    *name;         // eg: "Diva's preset provider"
   const char    *vendor;       // optional, eg: u-he
} clap_preset_discovery_provider_descriptor_t;

// Created by the host through the factory; indexes presets for one or more plug-ins.
typedef struct clap_preset_discovery_provider {
   const clap_preset_discovery_provider_descriptor_t *desc;

   void *provider_data; // reserved pointer for the provider

   // Declares the file types and locations to the indexer. [main-thread]
   bool(CLAP_ABI *init)(const struct clap_preset_discovery_provider *provider);

   // [main-thread]
   void(CLAP_ABI *destroy)(const struct clap_preset_discovery_provider *provider);

   // Reads the metadata of one location and hands it to the receiver.
   // Returns true on success. [main-thread]
   bool(CLAP_ABI *get_metadata)(const struct clap_preset_discovery_provider     *provider,
                                uint32_t                                         location_kind,
                                const char                                      *location,
                                const clap_preset_discovery_metadata_receiver_t *metadata_receiver);

   // [main-thread]
   const void *(CLAP_ABI *get_extension)(const struct clap_preset_discovery_provider *provider,
                                         const char *extension_id);
} clap_preset_discovery_provider_t;

// The host side a provider talks to while it is initialized.
typedef struct clap_preset_discovery_indexer {
   clap_version_t clap_version; // initialized to CLAP_VERSION
   const char    *name;         // eg: "Bitwig Studio"
   const char    *vendor;       // optional, eg: "Bitwig GmbH"
   const char    *url;          // optional, eg: "https://bitwig.com"
   const char    *version; // optional, eg: "4.3", see plugin.h for advice on how to format the version

   void *indexer_data; // reserved pointer for the indexer

   // Returns false if the filetype is invalid. [main-thread]
   bool(CLAP_ABI *declare_filetype)(const struct clap_preset_discovery_indexer *indexer,
                                    const clap_preset_discovery_filetype_t     *filetype);

   // Returns false if the location is invalid. [main-thread]
   bool(CLAP_ABI *declare_location)(const struct clap_preset_discovery_indexer *indexer,
                                    const clap_preset_discovery_location_t     *location);

   // Returns false if the sound pack is invalid. [main-thread]
   bool(CLAP_ABI *declare_soundpack)(const struct clap_preset_discovery_indexer *indexer,
                                     const clap_preset_discovery_soundpack_t    *soundpack);

   // [thread-safe]
   const void *(CLAP_ABI *get_extension)(const struct clap_preset_discovery_indexer *indexer,
                                         const char *extension_id);
} clap_preset_discovery_indexer_t;

// Every method must be thread-safe.
typedef struct clap_preset_discovery_factory {
   uint32_t(CLAP_ABI *count)(const struct clap_preset_discovery_factory *factory);

   // Returns NULL for an index out of range.
   const clap_preset_discovery_provider_descriptor_t *(CLAP_ABI *get_descriptor)(
      const struct clap_preset_discovery_factory *factory, uint32_t index);

   // Returns NULL when provider_id is unknown; the provider is not initialized yet.
   const clap_preset_discovery_provider_t *(CLAP_ABI *create)(
      const struct clap_preset_discovery_factory *factory,
      const clap_preset_discovery_indexer_t      *indexer,
      const char                                 *provider_id);
} clap_preset_discovery_factory_t;

#ifdef __cplusplus
}
#endif
