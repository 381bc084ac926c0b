#pragma once

// The atom's hottest loops are built twice, for AVX2 and for any x86-64, and the loader picks
// one; both compute the same numbers (no fused multiply-add is allowed into either). Only GCC
// takes the clones where they are defined: clang wants them on the first declaration. Sanitizer
// builds go without: the loader runs the clones' resolvers before ThreadSanitizer's runtime is
// up, which crashes the program, and speed does not matter there.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define ZENTHA_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZENTHA_AVX2_CLONES
#endif
