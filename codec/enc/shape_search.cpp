#include "codec/enc/shape_search.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "codec/core/codebooks.h"
#include "codec/core/frame_model.h"

namespace tembrel::tvq {
namespace {

// Candidates kept per codebook: 16 or 24 measured 0.1-0.4 dB worse NMR than 32.
constexpr int kCandidates = 32;
constexpr int kMaxBookSize = 1 << kMaxCodebookBits;
static_assert((1 << kMinCodebookBits) % kCandidates == 0,
              "every codebook fills the candidates, in whole blocks of them");

// Eight floats (GCC/Clang vector extension, portable): one AVX register, or two SSE ones.
using Lanes = float __attribute__((vector_size(32)));
constexpr int kLanes = 8;
constexpr int kGroups = kCandidates / kLanes;

// The distance kernels are built twice on x86-64 with GCC, for AVX and for the baseline, and
// the CPU picks at load time; the binary still runs on any x86-64. AVX without FMA rounds
// like SSE, so both give the same indices.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TVQ_SIMD_KERNEL __attribute__((target_clones("avx", "default")))
#else
#define TVQ_SIMD_KERNEL
#endif
constexpr int kBitWidths = kMaxCodebookBits - kMinCodebookBits + 1;
constexpr int kDims = kMaxCodebookDim - kMinCodebookDim + 1;

// A codebook stored component-major (component k of every vector side by side), so that the
// distance loops run over vectors in their innermost loop, which the compiler vectorises.
struct TransposedBook {
    int size = 0;
    std::vector<Lanes> data;  // lane i % kLanes of data[(k * size + i) / kLanes]: component k
                              // of vector i
};

const TransposedBook& transposedBook(int which, int bits, int dim) {
    static std::mutex lock;
    static std::array<std::unique_ptr<TransposedBook>, 2 * kBitWidths * kDims> cache;
    const int b = std::clamp(bits, kMinCodebookBits, kMaxCodebookBits);
    const int d = std::clamp(dim, kMinCodebookDim, kMaxCodebookDim);
    const int slot = ((which == 0 ? 0 : 1) * kBitWidths + (b - kMinCodebookBits)) * kDims +
                     (d - kMinCodebookDim);
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<TransposedBook>& entry = cache[slot];
    if (!entry) {
        entry = std::make_unique<TransposedBook>();
        const float* book = shapeCodebook(which, b, d);
        const int size = 1 << b;
        entry->size = size;
        entry->data.resize(static_cast<size_t>(size) * d / kLanes);
        for (int i = 0; i < size; ++i) {
            for (int k = 0; k < d; ++k) {
                const int at = k * size + i;
                entry->data[at / kLanes][at % kLanes] = book[i * d + k];
            }
        }
    }
    return *entry;
}

struct Scored {
    float cost;
    int index;
};

// The kCandidates codewords of one codebook nearest (weighted) to half the target, since each
// codebook carries about half of the vector; in index order.
// Weighted distances of all `size` codewords (component-major, size / kLanes groups per
// component) to half the target; kCandidates codewords at a time, sums kept in registers.
TVQ_SIMD_KERNEL void halfTargetCosts(const Lanes* data, int size, const float* x, const float* w,
                                     int len, float* cost) {
    const int rowGroups = size / kLanes;
    for (int first = 0; first < rowGroups; first += kGroups) {
        Lanes sum[kGroups] = {};
        for (int k = 0; k < len; ++k) {
            const Lanes* c = &data[k * rowGroups + first];
            const Lanes half = Lanes{} + 0.5f * x[k];
            const Lanes wk = Lanes{} + w[k];
            for (int g = 0; g < kGroups; ++g) {
                const Lanes e = half - c[g];
                sum[g] += wk * e * e;
            }
        }
        for (int g = 0; g < kGroups; ++g) {
            for (int l = 0; l < kLanes; ++l) {
                cost[(first + g) * kLanes + l] = sum[g][l];
            }
        }
    }
}

// Costs of one first-codebook candidate (partial cost p, weighted components wa) paired
// with every second-codebook candidate: p + Q_j + sum_k wa_k b_jk, summed in that order.
// Returns the smallest.
TVQ_SIMD_KERNEL float pairCosts(const Lanes* columns, const Lanes* partial1, const float* wa,
                                float p, int len, float* cost) {
    Lanes sum[kGroups];
    for (int g = 0; g < kGroups; ++g) {
        sum[g] = (Lanes{} + p) + partial1[g];
    }
    for (int k = 0; k < len; ++k) {
        const Lanes wk = Lanes{} + wa[k];
        for (int g = 0; g < kGroups; ++g) {
            sum[g] += wk * columns[k * kGroups + g];
        }
    }
    // NaN sums never replace a number here; a NaN that starts a lane makes the result NaN,
    // which the caller treats as "scan the row".
    Lanes low = sum[0];
    for (int g = 1; g < kGroups; ++g) {
        low = sum[g] < low ? sum[g] : low;
    }
    float lowest = low[0];
    for (int l = 1; l < kLanes; ++l) {
        lowest = low[l] < lowest ? low[l] : lowest;
    }
    for (int g = 0; g < kGroups; ++g) {
        for (int l = 0; l < kLanes; ++l) {
            cost[g * kLanes + l] = sum[g][l];
        }
    }
    return lowest;
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

void preselect(const TransposedBook& book, const float* x, const float* w, int len, Scored* out) {
    const int size = book.size;
    float cost[kMaxBookSize];
    halfTargetCosts(book.data.data(), size, x, w, len, cost);
    // The kCandidates smallest by (cost, index). Every slot l of the kCandidates-wide blocks
    // has its minimum over the blocks, so at least kCandidates costs are <= the largest of
    // those minima: only codewords up to that bound (typically 60 %) are counted below. A
    // NaN (from absurd weights) counts as infinite, so it ranks last.
    float slotMin[kCandidates];
    std::fill(std::begin(slotMin), std::end(slotMin), std::numeric_limits<float>::infinity());
    for (int i = 0; i < size; ++i) {
        // (-0 and rounding below zero become +0: the bit patterns below must not be negative.)
        cost[i] = cost[i] > 0.0f    ? cost[i]
                  : cost[i] <= 0.0f ? 0.0f
                                    : std::numeric_limits<float>::infinity();
        float& m = slotMin[i % kCandidates];
        m = cost[i] < m ? cost[i] : m;
    }
    float bound = slotMin[0];
    for (const float m : slotMin) {
        bound = m > bound ? m : bound;
    }
    // The kCandidates-th smallest cost among those, by bisection on the bit patterns (which
    // order non-negative floats like their values): branch-free counting instead of a
    // partition, whose branches mispredict half the time.
    int32_t bits[kMaxBookSize], near[kMaxBookSize];
    int count = 0;
    float lowest = cost[0];
    for (int i = 0; i < size; ++i) {
        std::memcpy(&bits[i], &cost[i], sizeof(float));
        near[count] = bits[i];
        count += cost[i] <= bound ? 1 : 0;
        lowest = cost[i] < lowest ? cost[i] : lowest;
    }
    // Invariant: the bit pattern of the kCandidates-th smallest cost is in [lo, hi]. A
    // midpoint with exactly kCandidates costs at or below it ends the search early.
    int32_t lo, hi;
    std::memcpy(&lo, &lowest, sizeof(float));
    std::memcpy(&hi, &bound, sizeof(float));
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        int below = 0;
        for (int i = 0; i < count; ++i) {
            below += near[i] <= mid ? 1 : 0;
        }
        if (below == kCandidates) {
            hi = mid + 1;
            break;
        }
        if (below > kCandidates) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    // Costs below `last` are kept, then ties with it by index.
    const int32_t last = lo < hi ? hi : lo;
    Scored picked[kCandidates + 1];  // one spare slot for the branch-free writes
    int kept = 0;
    for (int i = 0; i < size; ++i) {
        picked[kept] = {cost[i], i};
        kept += bits[i] < last ? 1 : 0;
    }
    for (int i = 0; i < size && kept < kCandidates; ++i) {
        if (bits[i] == last) {
            picked[kept++] = {cost[i], i};
        }
    }
    std::copy(picked, picked + kCandidates, out);
}

}  // namespace

void searchShapes(const StreamConfig& config, int blockType, const std::vector<float>& target,
                  const std::vector<float>& weight, int32_t* shapeIndex,
                  std::vector<float>& reconstruction) {
    const BlockLayout& b = config.blocks[blockType];
    const int total = codedCount(config, blockType);
    const int vectors = b.vectorCount;
    reconstruction.assign(total, 0.0f);
    const int dim = std::clamp(vectorDim(config, blockType), kMinCodebookDim, kMaxCodebookDim);
    float x[kMaxCodebookDim], w[kMaxCodebookDim];
    Scored pick0[kCandidates], pick1[kCandidates];
    // The candidates of each codebook, component-major: chosen[k] holds component k of every
    // candidate, kLanes candidates to a vector register.
    Lanes chosen0[kMaxCodebookDim][kGroups], chosen1[kMaxCodebookDim][kGroups];
    Lanes weighted0[kMaxCodebookDim][kGroups];
    Lanes partial0[kGroups], partial1[kGroups];
    for (int v = 0; v < vectors; ++v) {
        int len = 0;
        for (int pos = v; pos < total && len < dim; pos += vectors) {
            x[len] = target[pos];
            w[len] = weight[pos];
            ++len;
        }
        const float* book0 = shapeCodebook(0, b.shape0Bits[v], dim);
        const float* book1 = shapeCodebook(1, b.shape1Bits[v], dim);
        preselect(transposedBook(0, b.shape0Bits[v], dim), x, w, len, pick0);
        preselect(transposedBook(1, b.shape1Bits[v], dim), x, w, len, pick1);
        // d(i, j) = sum w (x - a_i - b_j)^2 = P_i + Q_j + 2 sum w a_i b_j, with
        // P_i = sum w (x - a_i)^2 and Q_j = sum w b_j (b_j - 2 x); only the cross term is
        // left for the pair loop.
        for (int j = 0; j < kCandidates; ++j) {
            const float* a = book0 + pick0[j].index * dim;
            const float* b1 = book1 + pick1[j].index * dim;
            for (int k = 0; k < len; ++k) {
                chosen0[k][j / kLanes][j % kLanes] = a[k];
                chosen1[k][j / kLanes][j % kLanes] = b1[k];
            }
        }
        candidateTerms(&chosen0[0][0], &chosen1[0][0], x, w, len, partial0, partial1,
                       &weighted0[0][0]);
        float best = std::numeric_limits<float>::max();
        int best0 = pick0[0].index, best1 = pick1[0].index;
        for (int i = 0; i < kCandidates; ++i) {
            float wa[kMaxCodebookDim];
            for (int k = 0; k < len; ++k) {
                wa[k] = weighted0[k][i / kLanes][i % kLanes];
            }
            float cost[kCandidates];
            const float rowBest = pairCosts(&chosen1[0][0], partial1, wa,
                                            partial0[i / kLanes][i % kLanes], len, cost);
            if (rowBest >= best) {  // (a NaN row is scanned, and skipped there)
                continue;
            }
            for (int j = 0; j < kCandidates; ++j) {
                if (cost[j] < best) {
                    best = cost[j];
                    best0 = pick0[i].index;
                    best1 = pick1[j].index;
                }
            }
        }
        shapeIndex[v] = best0;
        shapeIndex[vectors + v] = best1;
        const float* c0 = book0 + best0 * dim;
        const float* c1 = book1 + best1 * dim;
        for (int i = 0, pos = v; pos < total && i < dim; ++i, pos += vectors) {
            reconstruction[pos] = c0[i] + c1[i];
        }
    }
}

}  // namespace tembrel::tvq
