#pragma once

#include "../plugin.h"

// Channel maps for ports of type CLAP_PORT_SURROUND.
static CLAP_CONSTEXPR const char CLAP_EXT_SURROUND[] = "clap.surround/4";

// The latest draft is 100% compatible.
static CLAP_CONSTEXPR const char CLAP_EXT_SURROUND_COMPAT[] = "clap.surround.draft/4";

static CLAP_CONSTEXPR const char CLAP_PORT_SURROUND[] = "surround";

#ifdef __cplusplus
extern "C" {
#endif

// Channel positions; a channel mask sets bit (1 << position) for each one.
enum {
   CLAP_SURROUND_FL = 0,   // Front Left
   CLAP_SURROUND_FR = 1,   // Front Right
   CLAP_SURROUND_FC = 2,   // Front Center
   CLAP_SURROUND_LFE = 3,  // Low Frequency
   CLAP_SURROUND_BL = 4,   // Back (Rear) Left
   CLAP_SURROUND_BR = 5,   // Back (Rear) Right
   CLAP_SURROUND_FLC = 6,  // Front Left of Center
   CLAP_SURROUND_FRC = 7,  // Front Right of Center
   CLAP_SURROUND_BC = 8,   // Back (Rear) Center
   CLAP_SURROUND_SL = 9,   // Side Left
   CLAP_SURROUND_SR = 10,  // Side Right
   CLAP_SURROUND_TC = 11,  // Top (Height) Center
   CLAP_SURROUND_TFL = 12, // Top (Height) Front Left
   CLAP_SURROUND_TFC = 13, // Top (Height) Front Center
   CLAP_SURROUND_TFR = 14, // Top (Height) Front Right
   CLAP_SURROUND_TBL = 15, // Top (Height) Back (Rear) Left
   CLAP_SURROUND_TBC = 16, // Top (Height) Back (Rear) Center
   CLAP_SURROUND_TBR = 17, // Top (Height) Back (Rear) Right
   CLAP_SURROUND_TSL = 18, // Top (Height) Side Left
   CLAP_SURROUND_TSR = 19, // Top (Height) Side Right
};

typedef struct clap_plugin_surround {
   // [main-thread]
   bool(CLAP_ABI *is_channel_mask_supported)(const clap_plugin_t *plugin, uint64_t channel_mask);

   // Fills channel_map with one position per channel; returns how many. [main-thread]
   uint32_t(CLAP_ABI *get_channel_map)(const clap_plugin_t *plugin,
                                       bool                 is_input,
                                       uint32_t             port_index,
                                       uint8_t             *channel_map,
                                       uint32_t             channel_map_capacity);
} clap_plugin_surround_t;

typedef struct clap_host_surround {
   // The channel map changed; only while deactivated. [main-thread]
   void(CLAP_ABI *changed)(const clap_host_t *host);
} clap_host_surround_t;

#ifdef __cplusplus
}
#endif
