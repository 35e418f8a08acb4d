#pragma once

#include "../plugin.h"
#include "../string-sizes.h"

static CLAP_CONSTEXPR const char CLAP_EXT_PARAMS[] = "clap.params";

#ifdef __cplusplus
extern "C" {
#endif

enum {
   // Only whole values between min and max are valid.
   CLAP_PARAM_IS_STEPPED = 1 << 0,

   // Wraps around, eg: a phase.
   CLAP_PARAM_IS_PERIODIC = 1 << 1,

   // Not shown to the user, though it may still be automated.
   CLAP_PARAM_IS_HIDDEN = 1 << 2,

   // The host cannot change it; the plug-in may.
   CLAP_PARAM_IS_READONLY = 1 << 3,

   // The bypass parameter; the host may show it as its own bypass.
   CLAP_PARAM_IS_BYPASS = 1 << 4,

   // Automation and modulation, globally or per voice/key/channel/port.
   CLAP_PARAM_IS_AUTOMATABLE = 1 << 5,
   CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 1 << 6,
   CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 1 << 7,
   CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 1 << 8,
   CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 1 << 9,
   CLAP_PARAM_IS_MODULATABLE = 1 << 10,
   CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID = 1 << 11,
   CLAP_PARAM_IS_MODULATABLE_PER_KEY = 1 << 12,
   CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL = 1 << 13,
   CLAP_PARAM_IS_MODULATABLE_PER_PORT = 1 << 14,

   // A change needs process() to run, so the host may not use flush() for it.
   CLAP_PARAM_REQUIRES_PROCESS = 1 << 15,

   // A stepped parameter whose values are names, not numbers.
   CLAP_PARAM_IS_ENUM = 1 << 16,
};
typedef uint32_t clap_param_info_flags;

typedef struct clap_param_info {
   // Stable across versions: the host stores it with automation and state.
   clap_id id;

   clap_param_info_flags flags;

   // Passed back in parameter events so the plug-in can skip a look-up;
   // NULL when not used. Valid until the parameter info is rescanned.
   void *cookie;

   char name[CLAP_NAME_SIZE];

   // Module path for grouping, eg: "Oscillators/Wavetable 1". May be empty.
   char module[CLAP_PATH_SIZE];

   double min_value;
   double max_value;
   double default_value;
} clap_param_info_t;

typedef struct clap_plugin_params {
   // [main-thread]
   uint32_t(CLAP_ABI *count)(const clap_plugin_t *plugin);

   // [main-thread]
   bool(CLAP_ABI *get_info)(const clap_plugin_t *plugin,
                            uint32_t             param_index,
                            clap_param_info_t   *param_info);

   // [main-thread]
   bool(CLAP_ABI *get_value)(const clap_plugin_t *plugin, clap_id param_id, double *out_value);

   // Writes a NUL-terminated string of at most out_buffer_capacity bytes. [main-thread]
   bool(CLAP_ABI *value_to_text)(const clap_plugin_t *plugin,
                                 clap_id              param_id,
                                 double               value,
                                 char                *out_buffer,
                                 uint32_t             out_buffer_capacity);

   // [main-thread]
   bool(CLAP_ABI *text_to_value)(const clap_plugin_t *plugin,
                                 clap_id              param_id,
                                 const char          *param_value_text,
                                 double              *out_value);

   // Applies parameter changes while not processing; never called together
   // with process(). [active ? audio-thread : main-thread]
   void(CLAP_ABI *flush)(const clap_plugin_t        *plugin,
                         const clap_input_events_t  *in,
                         const clap_output_events_t *out);
} clap_plugin_params_t;

enum {
   // The values changed, eg: after loading a preset.
   CLAP_PARAM_RESCAN_VALUES = 1 << 0,

   // The text of the values changed, eg: after switching units.
   CLAP_PARAM_RESCAN_TEXT = 1 << 1,

   // Names, modules, flags or ranges changed, but not the list of ids.
   CLAP_PARAM_RESCAN_INFO = 1 << 2,

   // The list changed; only allowed while the plug-in is deactivated.
   CLAP_PARAM_RESCAN_ALL = 1 << 3,
};
typedef uint32_t clap_param_rescan_flags;

enum {
   CLAP_PARAM_CLEAR_ALL = 1 << 0,
   CLAP_PARAM_CLEAR_AUTOMATIONS = 1 << 1,
   CLAP_PARAM_CLEAR_MODULATIONS = 1 << 2,
};
typedef uint32_t clap_param_clear_flags;

typedef struct clap_host_params {
   // [main-thread]
   void(CLAP_ABI *rescan)(const clap_host_t *host, clap_param_rescan_flags flags);

   // Drops references to a parameter, eg: before it is removed. [main-thread]
   void(CLAP_ABI *clear)(const clap_host_t *host, clap_id param_id, clap_param_clear_flags flags);

   // Asks for a flush() or process() call so that changes made from the GUI
   // reach the audio side while not processing. [thread-safe, !audio-thread]
   void(CLAP_ABI *request_flush)(const clap_host_t *host);
} clap_host_params_t;

#ifdef __cplusplus
}
#endif
