// Marks the vectorised inner loops of the codec. On x86-64 with GCC they are built twice, for
// AVX and for the baseline, and the CPU picks at load time; the binary still runs on any
// x86-64. AVX without FMA rounds like SSE, so both give the same results, bit for bit.
// Building with -DTVQ_SIMD_KERNEL= (empty) keeps only the baseline, which is how the two are
// compared (bench/codec_bench --hashes from both builds).
#pragma once

#ifndef TVQ_SIMD_KERNEL
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TVQ_SIMD_KERNEL __attribute__((target_clones("avx", "default")))
#else
#define TVQ_SIMD_KERNEL
#endif
#endif
