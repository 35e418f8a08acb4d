#pragma once

#include "private/std.h"
#include "private/macros.h"

// Seconds since the Unix epoch; 0 means unknown.
typedef uint64_t clap_timestamp;

static const CLAP_CONSTEXPR clap_timestamp CLAP_TIMESTAMP_UNKNOWN = 0;
