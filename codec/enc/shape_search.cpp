#include "codec/enc/shape_search.h"

#include <algorithm>
#include <array>
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

// Four floats, one SSE register on x86-64 (GCC/Clang vector extension, portable).
using Lanes = float __attribute__((vector_size(16)));
constexpr int kLanes = 4;
constexpr int kGroups = kCandidates / kLanes;

Lanes broadcast(float v) {
    return Lanes{v, v, v, v};
}
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
// codebook carries about half of the vector; best first.
void preselect(const TransposedBook& book, const float* x, const float* w, int len, Scored* out) {
    const int size = book.size;
    const int rowGroups = size / kLanes;
    alignas(16) float cost[kMaxBookSize];
    // kCandidates codewords at a time, their sums kept in registers over the components.
    for (int first = 0; first < rowGroups; first += kGroups) {
        Lanes sum[kGroups] = {};
        for (int k = 0; k < len; ++k) {
            const Lanes* c = &book.data[k * rowGroups + first];
            const Lanes half = broadcast(0.5f * x[k]);
            const Lanes wk = broadcast(w[k]);
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
    std::array<Scored, kMaxBookSize> all;
    for (int i = 0; i < size; ++i) {
        all[i] = {cost[i], i};
    }
    const int keep = kCandidates;
    const auto before = [](const Scored& a, const Scored& b) {
        return a.cost < b.cost || (a.cost == b.cost && a.index < b.index);
    };
    std::nth_element(all.begin(), all.begin() + keep - 1, all.begin() + size, before);
    std::sort(all.begin(), all.begin() + keep, before);
    std::copy(all.begin(), all.begin() + keep, out);
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
    // Candidates of the second codebook, component-major: column k holds component k of
    // every candidate, kLanes candidates to a vector register.
    Lanes chosen1[kMaxCodebookDim][kGroups];
    Lanes partial1[kGroups];
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
            const float* b1 = book1 + pick1[j].index * dim;
            float q = 0.0f;
            for (int k = 0; k < len; ++k) {
                q += w[k] * b1[k] * (b1[k] - 2.0f * x[k]);
                chosen1[k][j / kLanes][j % kLanes] = b1[k];
            }
            partial1[j / kLanes][j % kLanes] = q;
        }
        float best = std::numeric_limits<float>::max();
        int best0 = pick0[0].index, best1 = pick1[0].index;
        for (int i = 0; i < kCandidates; ++i) {
            const float* a = book0 + pick0[i].index * dim;
            float p = 0.0f;
            float wa[kMaxCodebookDim];
            for (int k = 0; k < len; ++k) {
                const float e = x[k] - a[k];
                p += w[k] * e * e;
                wa[k] = 2.0f * w[k] * a[k];
            }
            // All kCandidates pairs of this row at once, the sums kept in registers.
            Lanes cost[kGroups];
            for (int g = 0; g < kGroups; ++g) {
                cost[g] = broadcast(p) + partial1[g];
            }
            for (int k = 0; k < len; ++k) {
                const Lanes wk = broadcast(wa[k]);
                for (int g = 0; g < kGroups; ++g) {
                    cost[g] += wk * chosen1[k][g];
                }
            }
            Lanes low = cost[0];
            for (int g = 1; g < kGroups; ++g) {
                low = low < cost[g] ? low : cost[g];
            }
            float rowBest = low[0];
            for (int l = 1; l < kLanes; ++l) {
                rowBest = std::min(rowBest, low[l]);
            }
            if (rowBest >= best) {  // (a NaN row is scanned, and skipped there)
                continue;
            }
            for (int j = 0; j < kCandidates; ++j) {
                if (cost[j / kLanes][j % kLanes] < best) {
                    best = cost[j / kLanes][j % kLanes];
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
