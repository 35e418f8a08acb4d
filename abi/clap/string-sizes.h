#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Sizes include the terminating NUL.
enum {
   CLAP_NAME_SIZE = 256,
   CLAP_PATH_SIZE = 1024,
};

#ifdef __cplusplus
}
#endif
