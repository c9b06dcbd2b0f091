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

#include <cstdint>

namespace tembrel::tvq::lanes {

// The kernels' vector types (GCC/Clang vector extensions). Comparisons give -1 where true,
// else 0, as Flags8 or Ints4.
using Floats8 = float __attribute__((vector_size(32)));
using Flags8 = int32_t __attribute__((vector_size(32)));
using Floats4 = float __attribute__((vector_size(16)));
using Ints4 = int32_t __attribute__((vector_size(16)));
using Words4 = uint32_t __attribute__((vector_size(16)));
using Doubles4 = double __attribute__((vector_size(32)));
// The same, read and written at any element's address (one unaligned access; memcpy went
// through the stack). Typedefs of the vector type: Clang keeps a lowered alignment only in
// that form, and with the attributes in a `using` it emits aligned accesses.
typedef Floats8 LooseFloats8 __attribute__((aligned(4), may_alias));
typedef Flags8 LooseFlags8 __attribute__((aligned(4), may_alias));
typedef Floats4 LooseFloats4 __attribute__((aligned(4), may_alias));
typedef Ints4 LooseInts4 __attribute__((aligned(4), may_alias));
typedef Doubles4 LooseDoubles4 __attribute__((aligned(8), may_alias));
static_assert(alignof(LooseFloats8) == 4 && alignof(LooseFlags8) == 4 &&
              alignof(LooseFloats4) == 4 && alignof(LooseInts4) == 4 &&
              alignof(LooseDoubles4) == 8);

// Per 8-bit lane mask: the lanes set, in order (then zeros), their number, and a byte per lane
// (1 where set): compaction without branches, eight at a time.
struct LaneLists {
    int32_t lanes[256][8];
    int32_t count[256];
    uint8_t bytes[256][8];
};
inline constexpr LaneLists kLaneLists = [] {
    LaneLists t{};
    for (int mask = 0; mask < 256; ++mask) {
        for (int l = 0; l < 8; ++l) {
            if (mask & (1 << l)) {
                t.lanes[mask][t.count[mask]++] = l;
                t.bytes[mask][l] = 1;
            }
        }
    }
    return t;
}();

// Bit l set where lane l of a comparison result is true.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
[[gnu::always_inline]] inline int laneMask(const Flags8& flags) {
#if defined(__x86_64__) && defined(__GNUC__)
    const Floats8 f = (Floats8)flags;  // the same bits, as floats for movmskps
    return __builtin_ia32_movmskps(__builtin_shufflevector(f, f, 0, 1, 2, 3)) |
           __builtin_ia32_movmskps(__builtin_shufflevector(f, f, 4, 5, 6, 7)) << 4;
#else
    int mask = 0;
    for (int l = 0; l < 8; ++l) {
        mask |= flags[l] ? 1 << l : 0;
    }
    return mask;
#endif
}
#pragma GCC diagnostic pop

}  // namespace tembrel::tvq::lanes
