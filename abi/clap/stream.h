#pragma once

#include "private/std.h"
#include "private/macros.h"

#ifdef __cplusplus
extern "C" {
#endif

// Streams may move fewer bytes than asked, so callers loop.
typedef struct clap_istream {
   void *ctx;

   // Returns the bytes read, 0 at the end, or -1 on error.
   int64_t(CLAP_ABI *read)(const struct clap_istream *stream, void *buffer, uint64_t size);
} clap_istream_t;

typedef struct clap_ostream {
   void *ctx;

   // Returns the bytes written, or -1 on error.
   int64_t(CLAP_ABI *write)(const struct clap_ostream *stream, const void *buffer, uint64_t size);
} clap_ostream_t;

#ifdef __cplusplus
}
#endif
