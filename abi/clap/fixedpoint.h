#pragma once

#include "private/std.h"
#include "private/macros.h"

// Fixed point with 31 fractional bits, so positions add up without rounding drift.
#define CLAP_BEATTIME_FACTOR (1LL << 31)
#define CLAP_SECTIME_FACTOR (1LL << 31)

typedef int64_t clap_beattime;
typedef int64_t clap_sectime;
