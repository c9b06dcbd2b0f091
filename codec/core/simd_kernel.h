// Marks the vectorised inner loops of the codec. On x86-64 with GCC they are built three
// times, for AVX-512 (x86-64-v4: 32 vector registers, fewer instructions), for AVX and for
// the baseline, and the CPU picks at load time; the binary still runs on any x86-64. Without
// fused multiply-adds (the codec is built with -ffp-contract=off) all three round like SSE,
// so they give the same results, bit for bit. Building with -DTVQ_SIMD_KERNEL= (empty) keeps
// only the baseline, and valgrind hides AVX-512, so runs under it take the AVX clone: that is
// how the three are compared (bench/codec_bench --hashes).
#pragma once

#ifndef TVQ_SIMD_KERNEL
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TVQ_SIMD_KERNEL __attribute__((target_clones("arch=x86-64-v4", "avx", "default")))
#else
#define TVQ_SIMD_KERNEL
#endif
#endif
