#include "codec/enc/shape_search.h"

#include <algorithm>
#include <limits>

#include "codec/core/codebooks.h"
#include "codec/core/spectrum_model.h"

namespace tembrel::tvq {
namespace {

constexpr int kCandidates = 8;

struct Scored {
    float cost;
    int index;
};

// Candidates of one codebook, ranked by the weighted distance of the codeword to half the
// target (each codebook carries about half of the vector).
void preselect(const float* book, int size, int dim, const float* x, const float* w, int len,
               std::vector<Scored>& out) {
    out.resize(size);
    for (int i = 0; i < size; ++i) {
        const float* c = book + i * dim;
        float d = 0.0f;
        for (int k = 0; k < len; ++k) {
            const float e = 0.5f * x[k] - c[k];
            d += w[k] * e * e;
        }
        out[i] = {d, i};
    }
    const int keep = std::min(kCandidates, size);
    std::partial_sort(out.begin(), out.begin() + keep, out.end(),
                      [](const Scored& a, const Scored& b) { return a.cost < b.cost; });
    out.resize(keep);
}

}  // namespace

void searchShapes(const StreamConfig& config, int blockType, const std::vector<float>& target,
                  const std::vector<float>& weight, int32_t* shapeIndex,
                  std::vector<float>& reconstruction) {
    const BlockLayout& b = config.blocks[blockType];
    const int total = codedCount(config, blockType);
    const int vectors = b.vectorCount;
    reconstruction.assign(total, 0.0f);
    const int dim = vectorDim(config, blockType);
    float x[kMaxCodebookDim], w[kMaxCodebookDim];
    std::vector<Scored> pick0, pick1;
    for (int v = 0; v < vectors; ++v) {
        int len = 0;
        for (int pos = v; pos < total; pos += vectors) {
            x[len] = target[pos];
            w[len] = weight[pos];
            ++len;
        }
        const float* book0 = shapeCodebook(0, b.shape0Bits[v], dim);
        const float* book1 = shapeCodebook(1, b.shape1Bits[v], dim);
        preselect(book0, 1 << b.shape0Bits[v], dim, x, w, len, pick0);
        preselect(book1, 1 << b.shape1Bits[v], dim, x, w, len, pick1);
        float best = std::numeric_limits<float>::max();
        int best0 = pick0[0].index, best1 = pick1[0].index;
        for (const Scored& s0 : pick0) {
            const float* c0 = book0 + s0.index * dim;
            for (const Scored& s1 : pick1) {
                const float* c1 = book1 + s1.index * dim;
                float d = 0.0f;
                for (int k = 0; k < len; ++k) {
                    const float e = x[k] - c0[k] - c1[k];
                    d += w[k] * e * e;
                }
                if (d < best) {
                    best = d;
                    best0 = s0.index;
                    best1 = s1.index;
                }
            }
        }
        shapeIndex[v] = best0;
        shapeIndex[vectors + v] = best1;
        const float* c0 = book0 + best0 * dim;
        const float* c1 = book1 + best1 * dim;
        for (int i = 0, pos = v; pos < total; ++i, pos += vectors) {
            reconstruction[pos] = c0[i] + c1[i];
        }
    }
}

}  // namespace tembrel::tvq
