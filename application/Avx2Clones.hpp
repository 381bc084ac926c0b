#pragma once

// The atom's hottest loops are built twice, for AVX2 and for any x86-64, and the loader picks
// one; both compute the same numbers (no fused multiply-add is allowed into either). Only GCC
// takes the clones where they are defined: clang wants them on the first declaration, and its
// builds here are the sanitizer builds, where speed does not matter.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ZENTHA_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZENTHA_AVX2_CLONES
#endif
