// Marks the vectorised inner loops of the codec. On x86-64 with GCC they are built twice, for
// AVX and for the baseline, and the CPU picks at load time; the binary still runs on any
// x86-64. AVX without FMA rounds like SSE, so both give the same results, bit for bit.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TVQ_SIMD_KERNEL __attribute__((target_clones("avx", "default")))
#else
#define TVQ_SIMD_KERNEL
#endif
