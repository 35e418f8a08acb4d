#pragma once

#include "events.h"
#include "audio-buffer.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
   // Processing failed; the output buffer must be discarded.
   CLAP_PROCESS_ERROR = 0,

   // Processing succeeded, keep processing.
   CLAP_PROCESS_CONTINUE = 1,

   // Processing succeeded, keep processing while the output is not quiet.
   CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,

   // Rely on the tail extension to decide when to stop.
   CLAP_PROCESS_TAIL = 3,

   // Processing succeeded; the host may sleep the plug-in until the next event or non-quiet input.
   CLAP_PROCESS_SLEEP = 4,
};
typedef int32_t clap_process_status;

typedef struct clap_process {
   // A steady sample time counter, or -1 when not available.
   int64_t steady_time;

   // Number of frames to process.
   uint32_t frames_count;

   // Time info at sample 0; NULL when the plug-in is not driven by a timeline.
   const clap_event_transport_t *transport;

   // Buffers for each port, in the order of the audio-ports extension.
   const clap_audio_buffer_t *audio_inputs;
   clap_audio_buffer_t       *audio_outputs;
   uint32_t                   audio_inputs_count;
   uint32_t                   audio_outputs_count;

   // The input events are sorted by time; output events must be pushed sorted too.
   const clap_input_events_t  *in_events;
   const clap_output_events_t *out_events;
} clap_process_t;

#ifdef __cplusplus
}
#endif
