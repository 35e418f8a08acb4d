// The loops that carry the audio are built twice, for x86-64-v3 (AVX2, FMA)
// and for the baseline; the loader picks the copy the machine can run.
// Needs ifunc, so only on x86-64 ELF systems; elsewhere one plain copy.
// Clang 14 builds wrong copies of member functions called across files (the
// crossover tests fail), so it gets the plain copy.
#pragma once

#if defined(__x86_64__) && defined(__ELF__) && !defined(__clang__)
#define NORVALE_HOT_PATH __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define NORVALE_HOT_PATH
#endif
