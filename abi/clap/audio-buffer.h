#pragma once

#include "private/std.h"

#ifdef __cplusplus
extern "C" {
#endif

// One of data32 or data64 is set, matching the sample size agreed for the port.
typedef struct clap_audio_buffer {
   float  **data32;
   double **data64;
   uint32_t channel_count;
   uint32_t latency; // latency from/to the audio interface

   // Bit n set means channel n holds the same value in every sample, which
   // lets either side skip work; only the low 64 channels can be flagged.
   uint64_t constant_mask;
} clap_audio_buffer_t;

#ifdef __cplusplus
}
#endif
