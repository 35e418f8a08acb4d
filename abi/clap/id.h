#pragma once

#include "private/std.h"
#include "private/macros.h"

typedef uint32_t clap_id;

static const CLAP_CONSTEXPR clap_id CLAP_INVALID_ID = UINT32_MAX;
