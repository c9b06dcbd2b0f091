#include "codec/enc/shape_search.h"

#include <algorithm>
#include <limits>

#include "codec/core/codebooks.h"
#include "codec/core/frame_model.h"

namespace tembrel::tvq {
namespace {

constexpr int kCandidates = 32;

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
    float weighted0[kCandidates * kMaxCodebookDim];
    float partial0[kCandidates], partial1[kCandidates];
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
        // d(i, j) = sum w (x - a_i - b_j)^2 = P_i + Q_j + 2 sum w a_i b_j, with
        // P_i = sum w (x - a_i)^2 and Q_j = sum w b_j (b_j - 2 x); only the cross term is
        // left for the pair loop.
        const int count0 = static_cast<int>(pick0.size());
        const int count1 = static_cast<int>(pick1.size());
        for (int i = 0; i < count0; ++i) {
            const float* a = book0 + pick0[i].index * dim;
            float p = 0.0f;
            for (int k = 0; k < len; ++k) {
                const float e = x[k] - a[k];
                p += w[k] * e * e;
                weighted0[i * kMaxCodebookDim + k] = 2.0f * w[k] * a[k];
            }
            partial0[i] = p;
        }
        for (int j = 0; j < count1; ++j) {
            const float* b1 = book1 + pick1[j].index * dim;
            float q = 0.0f;
            for (int k = 0; k < len; ++k) {
                q += w[k] * b1[k] * (b1[k] - 2.0f * x[k]);
            }
            partial1[j] = q;
        }
        float best = std::numeric_limits<float>::max();
        int best0 = pick0[0].index, best1 = pick1[0].index;
        for (int i = 0; i < count0; ++i) {
            const float* wa = &weighted0[i * kMaxCodebookDim];
            for (int j = 0; j < count1; ++j) {
                const float* b1 = book1 + pick1[j].index * dim;
                float d = partial0[i] + partial1[j];
                for (int k = 0; k < len; ++k) {
                    d += wa[k] * b1[k];
                }
                if (d < best) {
                    best = d;
                    best0 = pick0[i].index;
                    best1 = pick1[j].index;
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
