#include "codec/enc/shape_search.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "codec/core/codebooks.h"
#include "codec/core/frame_model.h"
#include "codec/core/simd_kernel.h"

namespace tembrel::tvq {
namespace {

// Candidates kept per codebook: 16 or 24 measured 0.1-0.4 dB worse NMR than 32.
constexpr int kCandidates = 32;
constexpr int kMaxBookSize = 1 << kMaxCodebookBits;
static_assert((1 << kMinCodebookBits) % (2 * kCandidates) == 0,
              "the preselection scores codebooks in whole pairs of candidate blocks");

// Eight floats (GCC/Clang vector extension, portable): one AVX register, or two SSE ones.
using Lanes = lanes::Floats8;
constexpr int kLanes = 8;
constexpr int kGroups = kCandidates / kLanes;
using Quad = lanes::Floats4;
using Flags = lanes::Flags8;  // the result of comparing two Lanes
using LooseLanes = lanes::LooseFloats8;
using LooseFlags = lanes::LooseFlags8;

using lanes::kLaneLists;
using lanes::laneMask;

constexpr int kBitWidths = kMaxCodebookBits - kMinCodebookBits + 1;
constexpr int kDims = kMaxCodebookDim - kMinCodebookDim + 1;

// A codebook stored component-major (component k of every vector side by side), so that the
// distance loops run over vectors in their innermost loop, which the compiler vectorises; and
// row by row with each row padded with zeros to whole groups of kLanes, so that the candidates
// are gathered by whole 8 x 8 transposes.
struct TransposedBook {
    int size = 0;
    std::vector<Lanes> data;  // lane i % kLanes of data[(k * size + i) / kLanes]: component k
                              // of vector i
    int stride = 0;           // floats per padded row
    std::vector<float> rows;  // rows[i * stride + k]: component k of vector i
};

const TransposedBook& transposedBook(int which, int bits, int dim) {
    // Built once on first use and never freed or changed after: readers only need the
    // published pointer (the lock is taken just to build), since every vector looks its
    // codebooks up.
    static std::mutex lock;
    static std::array<std::unique_ptr<TransposedBook>, 2 * kBitWidths * kDims> cache;
    static std::array<std::atomic<const TransposedBook*>, 2 * kBitWidths * kDims> published{};
    const int b = std::clamp(bits, kMinCodebookBits, kMaxCodebookBits);
    const int d = std::clamp(dim, kMinCodebookDim, kMaxCodebookDim);
    const int slot = ((which == 0 ? 0 : 1) * kBitWidths + (b - kMinCodebookBits)) * kDims +
                     (d - kMinCodebookDim);
    if (const TransposedBook* ready = published[slot].load(std::memory_order_acquire)) {
        return *ready;
    }
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<TransposedBook>& entry = cache[slot];
    if (!entry) {
        entry = std::make_unique<TransposedBook>();
        const float* book = shapeCodebook(which, b, d);
        const int size = 1 << b;
        entry->size = size;
        entry->data.resize(static_cast<size_t>(size) * d / kLanes);
        entry->stride = (d + kLanes - 1) / kLanes * kLanes;
        entry->rows.assign(static_cast<size_t>(size) * entry->stride, 0.0f);
        for (int i = 0; i < size; ++i) {
            for (int k = 0; k < d; ++k) {
                const int at = k * size + i;
                entry->data[at / kLanes][at % kLanes] = book[i * d + k];
                entry->rows[i * entry->stride + k] = book[i * d + k];
            }
        }
        published[slot].store(entry.get(), std::memory_order_release);
    }
    return *entry;
}

// Weighted distances of all `size` codewords (component-major, size / kLanes groups per
// component) to half the target, since each codebook carries about half of the vector;
// kCandidates codewords at a time, sums kept in registers. Then the kCandidates nearest by
// (cost, index), written to `out` in index order.
TVQ_SIMD_KERNEL void preselect(const Lanes* data, int size, const float* x, const float* w, int len,
                               int32_t* out) {
    const int rowGroups = size / kLanes;
    const Lanes zero{};
    const Lanes one = zero + 1.0f;
    const Lanes infinite = zero + std::numeric_limits<float>::infinity();
    Lanes cost[kMaxBookSize / kLanes];
    // Every slot l of the kCandidates-wide blocks has its minimum over the blocks, so at
    // least kCandidates costs are <= the largest of those minima.
    Lanes slotMin[kGroups];
    for (int g = 0; g < kGroups; ++g) {
        slotMin[g] = infinite;
    }
    // Two blocks of kCandidates codewords at a time: eight independent sums hide the latency
    // of the additions.
    constexpr int kBlockGroups = 2 * kGroups;
    for (int first = 0; first < rowGroups; first += kBlockGroups) {
        Lanes sum[kBlockGroups] = {};
        for (int k = 0; k < len; ++k) {
            const Lanes* c = &data[k * rowGroups + first];
            const Lanes half = 0.5f * x[k] - zero;  // (x - +0 is x: a plain broadcast)
            const Lanes wk = w[k] - zero;
            for (int g = 0; g < kBlockGroups; ++g) {
                const Lanes e = half - c[g];
                sum[g] += wk * e * e;
            }
        }
        for (int g = 0; g < kBlockGroups; ++g) {
            // -0 and rounding below zero become +0 (the bisection below works on bit
            // patterns, which order non-negative floats only); a NaN (from absurd weights)
            // becomes infinite, so it ranks last.
            const Lanes s = sum[g];
            const Lanes c = s > zero ? s : (s <= zero ? zero : infinite);
            cost[first + g] = c;
            slotMin[g % kGroups] = c < slotMin[g % kGroups] ? c : slotMin[g % kGroups];
        }
    }
    Lanes low = slotMin[0], high = slotMin[0];
    for (int g = 1; g < kGroups; ++g) {
        low = slotMin[g] < low ? slotMin[g] : low;
        high = slotMin[g] > high ? slotMin[g] : high;
    }
    float lowest = low[0], bound = high[0];
    for (int l = 1; l < kLanes; ++l) {
        lowest = low[l] < lowest ? low[l] : lowest;
        bound = high[l] > bound ? high[l] : bound;
    }
    // The kCandidates-th smallest cost, by bisection on the bit patterns (which order
    // non-negative floats like their values): branch-free counting, all lanes at once,
    // instead of a partition, whose branches mispredict half the time. Invariant: its bit
    // pattern is in [lo, hi]; a midpoint with exactly kCandidates costs at or below it ends
    // the search early.
    int32_t lo, hi;
    std::memcpy(&lo, &lowest, sizeof(float));
    std::memcpy(&hi, &bound, sizeof(float));
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        float midValue;
        std::memcpy(&midValue, &mid, sizeof(float));
        const Lanes pivot = zero + midValue;
        // Counted in floats (exact at these sizes): integer vectors would be split in two
        // without AVX2.
        Lanes counted[4] = {};
        for (int g = 0; g < rowGroups; g += 4) {  // (size is a multiple of 4 * kLanes)
            for (int u = 0; u < 4; ++u) {
                counted[u] += cost[g + u] <= pivot ? one : zero;
            }
        }
        // (Counts are small integers: any order of the additions gives them exactly.)
        const Lanes total = (counted[0] + counted[1]) + (counted[2] + counted[3]);
        const Quad four = __builtin_shufflevector(total, total, 0, 1, 2, 3) +
                          __builtin_shufflevector(total, total, 4, 5, 6, 7);
        const Quad two = four + __builtin_shufflevector(four, four, 2, 3, 2, 3);
        const int below = static_cast<int>(two[0] + two[1]);
        if (below == kCandidates) {
            hi = mid + 1;
            break;
        }
        // Without a branch: which half follows is a coin toss the predictor would miss.
        const bool tooMany = below > kCandidates;
        hi = tooMany ? mid : hi;
        lo = tooMany ? lo : mid + 1;
    }
    // Costs below `last` are kept, then ties with it by index.
    const int32_t lastBits = lo < hi ? hi : lo;
    float last;
    std::memcpy(&last, &lastBits, sizeof(float));
    // Branch-free compaction in index order, kLanes codewords at a time: the lanes below
    // `last` as a bit mask, whose table row lists them; all kLanes slots are written, the
    // next block overwrites those past the kept ones. Fewer than kCandidates costs are below.
    const Lanes lastLanes = zero + last;
    int32_t picked[kCandidates + kLanes];
    int kept = 0;
    for (int g = 0; g < rowGroups; ++g) {
        const Flags below = cost[g] < lastLanes;
        const int mask = laneMask(below);
        *reinterpret_cast<LooseFlags*>(picked + kept) =
            *reinterpret_cast<const LooseFlags*>(kLaneLists.lanes[mask]) + g * kLanes;
        kept += kLaneLists.count[mask];
    }
    // Ties with `last` (only when the bisection ran to the end) fill up the rest, merged in
    // so that the pair search sees index order, whatever the ties.
    if (kept < kCandidates) {
        const int below = kept;
        for (int i = 0; i < size && kept < kCandidates; ++i) {
            if (cost[i / kLanes][i % kLanes] == last) {
                picked[kept++] = i;
            }
        }
        std::inplace_merge(picked, picked + below, picked + kCandidates);
    }
    std::copy(picked, picked + kCandidates, out);
}

// The terms of the pair cost that depend on one candidate only, kLanes candidates at a time
// (columns: component-major candidates of each codebook, kGroups vectors per component):
// P_i = sum w (x - a_i)^2, Q_j = sum w b_j (b_j - 2 x), and the weighted first-codebook
// components 2 w a_i that the pair loop multiplies with b_j.
TVQ_SIMD_KERNEL void candidateTerms(const Lanes* columns0, const Lanes* columns1, const float* x,
                                    const float* w, int len, Lanes* partial0, Lanes* partial1,
                                    Lanes* weighted0) {
    for (int g = 0; g < kGroups; ++g) {
        partial0[g] = Lanes{};
        partial1[g] = Lanes{};
    }
    for (int k = 0; k < len; ++k) {
        const Lanes xk = Lanes{} + x[k];
        const Lanes wk = Lanes{} + w[k];
        const Lanes twoW = Lanes{} + 2.0f * w[k];
        const Lanes twoX = Lanes{} + 2.0f * x[k];
        for (int g = 0; g < kGroups; ++g) {
            const Lanes a = columns0[k * kGroups + g];
            const Lanes e = xk - a;
            partial0[g] += wk * e * e;
            weighted0[k * kGroups + g] = twoW * a;
            const Lanes b = columns1[k * kGroups + g];
            partial1[g] += wk * b * (b - twoX);
        }
    }
}

// Every pair (i, j) of candidates: cost P_i + Q_j + sum_k wa_ik b_jk, summed in that order.
// Returns the pair with the smallest cost, the first in (i, j) order among equal ones, as
// i * kCandidates + j; -1 when no cost is below the largest float (all NaN or huge).
TVQ_SIMD_KERNEL int bestPair(const Lanes* columns1, const Lanes* partial0, const Lanes* partial1,
                             const Lanes* weighted0, int len) {
    const Lanes zero{};
    Lanes low[kGroups], row[kGroups];
    for (int g = 0; g < kGroups; ++g) {
        low[g] = zero + std::numeric_limits<float>::max();
        row[g] = zero - 1.0f;
    }
    // Two rows at a time: eight independent sums hide the latency of the additions.
    for (int i = 0; i < kCandidates; i += 2) {
        const Lanes p0 = partial0[i / kLanes][i % kLanes] - zero;  // (a plain broadcast)
        const Lanes p1 = partial0[(i + 1) / kLanes][(i + 1) % kLanes] - zero;
        Lanes sum0[kGroups], sum1[kGroups];
        for (int g = 0; g < kGroups; ++g) {
            sum0[g] = p0 + partial1[g];
            sum1[g] = p1 + partial1[g];
        }
        for (int k = 0; k < len; ++k) {
            const Lanes* wa = &weighted0[k * kGroups];
            const Lanes wa0 = wa[i / kLanes][i % kLanes] - zero;
            const Lanes wa1 = wa[(i + 1) / kLanes][(i + 1) % kLanes] - zero;
            for (int g = 0; g < kGroups; ++g) {
                const Lanes b = columns1[k * kGroups + g];
                sum0[g] += wa0 * b;
                sum1[g] += wa1 * b;
            }
        }
        // Per lane, the first row reaching its minimum (a NaN never compares below).
        const Lanes rowNumber0 = static_cast<float>(i) - zero;
        const Lanes rowNumber1 = static_cast<float>(i + 1) - zero;
        for (int g = 0; g < kGroups; ++g) {
            const auto better0 = sum0[g] < low[g];
            low[g] = better0 ? sum0[g] : low[g];
            row[g] = better0 ? rowNumber0 : row[g];
            const auto better1 = sum1[g] < low[g];
            low[g] = better1 ? sum1[g] : low[g];
            row[g] = better1 ? rowNumber1 : row[g];
        }
    }
    float best = std::numeric_limits<float>::max();
    for (int g = 0; g < kGroups; ++g) {
        for (int l = 0; l < kLanes; ++l) {
            best = low[g][l] < best ? low[g][l] : best;
        }
    }
    int pair = -1;
    for (int g = 0; g < kGroups; ++g) {
        for (int l = 0; l < kLanes; ++l) {
            if (row[g][l] >= 0.0f && low[g][l] == best) {
                const int at = static_cast<int>(row[g][l]) * kCandidates + g * kLanes + l;
                pair = pair < 0 || at < pair ? at : pair;
            }
        }
    }
    return pair;
}

// Component-major copy of the picked codewords (rows of `stride` floats, a multiple of
// kLanes, in `rows`): lane j % kLanes of columns[k * kGroups + j / kLanes] is component k of
// codeword pick[j], for k below `len` (and up to a whole kLanes past it, padding).
TVQ_SIMD_KERNEL void gatherCandidates(const float* rows, int stride, const int32_t* pick, int len,
                                      Lanes* columns) {
    const float* row[kCandidates];
    for (int j = 0; j < kCandidates; ++j) {
        row[j] = rows + pick[j] * stride;
    }
    // Eight components of eight codewords at a time by an 8 x 8 transpose in registers; the
    // last few one at a time, where that takes fewer instructions.
    constexpr int kFewest = 3;
    int k = 0;
    for (; len - k > kFewest; k += kLanes) {
        for (int g = 0; g < kGroups; ++g) {
            Lanes m[kLanes];
            for (int l = 0; l < kLanes; ++l) {
                m[l] = *reinterpret_cast<const LooseLanes*>(row[g * kLanes + l] + k);
            }
            Lanes t[kLanes];
            for (int l = 0; l < kLanes; l += 2) {  // pairs of rows interleaved
                t[l] = __builtin_shufflevector(m[l], m[l + 1], 0, 8, 1, 9, 4, 12, 5, 13);
                t[l + 1] = __builtin_shufflevector(m[l], m[l + 1], 2, 10, 3, 11, 6, 14, 7, 15);
            }
            for (int l = 0; l < kLanes; l += 4) {  // then pairs of pairs
                for (int u = 0; u < 2; ++u) {
                    m[l + u] =
                        __builtin_shufflevector(t[l + u], t[l + u + 2], 0, 1, 8, 9, 4, 5, 12, 13);
                    m[l + u + 2] =
                        __builtin_shufflevector(t[l + u], t[l + u + 2], 2, 3, 10, 11, 6, 7, 14, 15);
                }
            }
            for (int l = 0; l < kLanes / 2; ++l) {  // then the halves of four rows each
                const int c = (l % 2) * 2 + l / 2;  // component order within a half: 0, 2, 1, 3
                columns[(k + c) * kGroups + g] =
                    __builtin_shufflevector(m[l], m[l + 4], 0, 1, 2, 3, 8, 9, 10, 11);
                columns[(k + c + 4) * kGroups + g] =
                    __builtin_shufflevector(m[l], m[l + 4], 4, 5, 6, 7, 12, 13, 14, 15);
            }
        }
    }
    for (; k < len; ++k) {
        for (int g = 0; g < kGroups; ++g) {
            const float* const* r = row + g * kLanes;
            columns[k * kGroups + g] =
                Lanes{r[0][k], r[1][k], r[2][k], r[3][k], r[4][k], r[5][k], r[6][k], r[7][k]};
        }
    }
}

// The pair of codewords for one vector: x/w its `len` target values and weights, the
// codebooks those of `dim` components and 2^bits0 and 2^bits1 entries. row0/row1: the chosen
// codewords (from the padded copies, which the search has just read: still in cache).
void searchVector(const float* x, const float* w, int len, int bits0, int bits1, int dim,
                  int32_t& best0, int32_t& best1, const float*& row0, const float*& row1) {
    int32_t pick0[kCandidates], pick1[kCandidates];
    // The candidates of each codebook, component-major: chosen[k] holds component k of every
    // candidate, kLanes candidates to a vector register (rows past `len` up to a whole kLanes
    // are written too).
    constexpr int kColumns = (kMaxCodebookDim + kLanes - 1) / kLanes * kLanes;
    Lanes chosen0[kColumns][kGroups], chosen1[kColumns][kGroups];
    Lanes weighted0[kMaxCodebookDim][kGroups];
    Lanes partial0[kGroups], partial1[kGroups];
    const TransposedBook& t0 = transposedBook(0, bits0, dim);
    const TransposedBook& t1 = transposedBook(1, bits1, dim);
    preselect(t0.data.data(), t0.size, x, w, len, pick0);
    preselect(t1.data.data(), t1.size, x, w, len, pick1);
    // d(i, j) = sum w (x - a_i - b_j)^2 = P_i + Q_j + 2 sum w a_i b_j, with
    // P_i = sum w (x - a_i)^2 and Q_j = sum w b_j (b_j - 2 x); only the cross term is
    // left for the pair loop.
    gatherCandidates(t0.rows.data(), t0.stride, pick0, len, &chosen0[0][0]);
    gatherCandidates(t1.rows.data(), t1.stride, pick1, len, &chosen1[0][0]);
    candidateTerms(&chosen0[0][0], &chosen1[0][0], x, w, len, partial0, partial1, &weighted0[0][0]);
    const int pair = bestPair(&chosen1[0][0], partial0, partial1, &weighted0[0][0], len);
    best0 = pick0[pair < 0 ? 0 : pair / kCandidates];
    best1 = pick1[pair < 0 ? 0 : pair % kCandidates];
    row0 = t0.rows.data() + static_cast<size_t>(best0) * t0.stride;
    row1 = t1.rows.data() + static_cast<size_t>(best1) * t1.stride;
}

}  // namespace

void searchShapes(const StreamConfig& config, int blockType, const ShapeLayout& layout,
                  const std::vector<float>& target, const std::vector<float>& weight,
                  int32_t* shapeIndex, std::vector<float>& reconstruction) {
    const BlockLayout& b = config.blocks[blockType];
    const int total = codedCount(config, blockType);
    const int vectors = b.vectorCount;
    reconstruction.assign(total, 0.0f);
    float x[kMaxCodebookDim], w[kMaxCodebookDim];
    for (int v = 0; v < vectors; ++v) {
        const int dim = std::clamp(layout.dim[v], kMinCodebookDim, kMaxCodebookDim);
        const int first = layout.start[v];
        const int len = std::min(layout.start[v + 1] - first, dim);
        for (int i = 0; i < len; ++i) {
            x[i] = target[layout.order[first + i]];
            w[i] = weight[layout.order[first + i]];
        }
        int32_t best0 = 0, best1 = 0;
        const float *c0 = nullptr, *c1 = nullptr;
        searchVector(x, w, len, b.shape0BookBits[v], b.shape1Bits[v], dim, best0, best1, c0, c1);
        shapeIndex[v] = best0;
        shapeIndex[vectors + v] = best1;
        for (int i = 0; i < len; ++i) {
            reconstruction[layout.order[first + i]] = c0[i] + c1[i];
        }
    }
}

}  // namespace tembrel::tvq
