#include "codec/enc/pitch_search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "codec/core/codebooks.h"
#include "codec/core/frame_model.h"
#include "codec/core/simd_kernel.h"

namespace tembrel::tvq {
namespace {

constexpr int kPitchIndices = 1 << kPitchBits;
constexpr int kBookSize = 1 << kPitchCodebookBits;
// Fundamentals tried in closed loop per channel, the best by the energy their peaks hold.
constexpr int kCandidates = 2;
// Entries per codebook whose pairs are tried.
constexpr int kPreselect = 6;
// A channel keeps its component only when it removes at least this share of the weighted
// error at its peaks; below that the shape vectors code the peaks about as well on their own.
constexpr double kMinRemoved = 0.25;

// Eight floats (GCC/Clang vector extension): one AVX register, or two SSE ones.
using Lanes = float __attribute__((vector_size(32)));
constexpr int kLanes = 8;
static_assert(kPitchCodebookDim == kLanes && kBookSize % kLanes == 0,
              "a pitch vector fills one group of lanes; the entries fill whole groups");
constexpr int kEntryGroups = kBookSize / kLanes;

// The pitch codebooks component-major: lane i % kLanes of [k * kEntryGroups + i / kLanes] is
// component k of entry i.
struct PitchColumns {
    Lanes book[2][kPitchCodebookDim * kEntryGroups];
};

const PitchColumns& pitchColumns() {
    static const PitchColumns columns = [] {
        PitchColumns t{};
        for (int side = 0; side < 2; ++side) {
            const float* book = pitchCodebook(side);
            for (int i = 0; i < kBookSize; ++i) {
                for (int k = 0; k < kPitchCodebookDim; ++k) {
                    t.book[side][k * kEntryGroups + i / kLanes][i % kLanes] =
                        book[i * kPitchCodebookDim + k];
                }
            }
        }
        return t;
    }();
    return columns;
}

// d_i = sum_k a_k (half_k - c_ik)^2 of every entry of a codebook (component-major), summed in
// order of k, kLanes entries at a time.
TVQ_SIMD_KERNEL void entryDistances(const Lanes* columns, const float* half, const float* a,
                                    float* d) {
    Lanes sum[kEntryGroups] = {};
    for (int k = 0; k < kPitchCodebookDim; ++k) {
        const Lanes h = half[k] - Lanes{};  // (x - +0 is x: a plain broadcast)
        const Lanes ak = a[k] - Lanes{};
        for (int g = 0; g < kEntryGroups; ++g) {
            const Lanes r = h - columns[k * kEntryGroups + g];
            sum[g] += ak * r * r;
        }
    }
    for (int g = 0; g < kEntryGroups; ++g) {
        for (int l = 0; l < kLanes; ++l) {
            d[g * kLanes + l] = sum[g][l];
        }
    }
}

// d_ij = sum_k a_k ((z_k - c0_ik) - c1_jk)^2 for every row i of `rows` (kPreselect entries of
// the first codebook) and the kPreselect entries of the second in the lanes of `columns`
// (component k in columns[k]), summed in order of k.
TVQ_SIMD_KERNEL void pairDistances(const float* const* rows, const Lanes* columns, const float* z,
                                   const float* a, Lanes* d) {
    for (int i = 0; i < kPreselect; ++i) {
        Lanes sum{};
        for (int k = 0; k < kPitchCodebookDim; ++k) {
            const Lanes u = (z[k] - rows[i][k]) - Lanes{};
            const Lanes r = u - columns[k];
            sum += (a[k] - Lanes{}) * r * r;
        }
        d[i] = sum;
    }
}

// score[p] = the sum of energy over the bins of pitch index p's `Harmonics` harmonics, in
// their order (bins past the coded range point at a zero, which leaves the sum as it is).
// Plain scalar loads and additions: vectorised across p, the loads are scattered and put
// together lane by lane, which takes more than twice the instructions.
template <int Harmonics>
[[gnu::optimize("no-tree-vectorize")]] void harmonicSums(const int* bins, const float* energy,
                                                         float* score) {
    for (int p = 0; p < kPitchIndices; ++p) {
        float s = 0.0f;
        const int* b = bins + p * Harmonics;
        for (int h = 0; h < Harmonics; ++h) {
            s += energy[b[h]];
        }
        score[p] = s;
    }
}

}  // namespace

void nearestPitchPair(const float* z, const float* a, int32_t& first, int32_t& second) {
    const PitchColumns& columns = pitchColumns();
    float half[kPitchCodebookDim];
    for (int k = 0; k < kPitchCodebookDim; ++k) {
        half[k] = 0.5f * z[k];
    }
    int picked[2][kPreselect];
    for (int side = 0; side < 2; ++side) {
        float d[kBookSize];
        entryDistances(columns.book[side], half, a, d);
        // The kPreselect nearest entries to half the target, kept sorted by insertion.
        float kept[kPreselect];
        std::fill_n(kept, kPreselect, std::numeric_limits<float>::max());
        for (int i = 0; i < kBookSize; ++i) {
            if (i >= kPreselect && !(d[i] < kept[kPreselect - 1])) {
                continue;
            }
            int at = std::min(i, kPreselect - 1);
            for (; at > 0 && d[i] < kept[at - 1]; --at) {
                kept[at] = kept[at - 1];
                picked[side][at] = picked[side][at - 1];
            }
            kept[at] = d[i];
            picked[side][at] = i;
        }
    }
    // Every pair, the second codebook's entries side by side in lanes; the first pair (in the
    // order the entries were kept) with the smallest distance wins.
    const float* book0 = pitchCodebook(0);
    const float* book1 = pitchCodebook(1);
    const float* rows[kPreselect];
    Lanes entries[kPitchCodebookDim] = {};
    for (int j = 0; j < kPreselect; ++j) {
        rows[j] = book0 + picked[0][j] * kPitchCodebookDim;
        for (int k = 0; k < kPitchCodebookDim; ++k) {
            entries[k][j] = book1[picked[1][j] * kPitchCodebookDim + k];
        }
    }
    Lanes d[kPreselect];
    pairDistances(rows, entries, z, a, d);
    float best = std::numeric_limits<float>::max();
    for (int i = 0; i < kPreselect; ++i) {
        for (int j = 0; j < kPreselect; ++j) {
            if (d[i][j] < best) {
                best = d[i][j];
                first = picked[0][i];
                second = picked[1][j];
            }
        }
    }
}

PitchSearch::PitchSearch(const StreamConfig& config, int blockType)
    : config_(config), blockType_(blockType), harmonics_(pitchHarmonics(config)) {
    const int coded = config_.blocks[blockType].codedBins;
    bins_.resize(kPitchIndices * harmonics_);
    for (int p = 0; p < kPitchIndices; ++p) {
        const float f0 = pitchFundamental(config_, blockType, p);
        for (int h = 0; h < harmonics_; ++h) {
            const int bin = harmonicBin(f0, h);
            bins_[p * harmonics_ + h] = bin < coded ? bin : coded;
        }
    }
    double sum = 0.0;
    const float* book0 = pitchCodebook(0);
    const float* book1 = pitchCodebook(1);
    for (int i = 0; i < kBookSize; ++i) {
        for (int j = 0; j < kBookSize; ++j) {
            for (int k = 0; k < kPitchCodebookDim; ++k) {
                const double x =
                    book0[i * kPitchCodebookDim + k] + book1[j * kPitchCodebookDim + k];
                sum += x * x;
            }
        }
    }
    codebookRms_ = static_cast<float>(std::sqrt(sum / (kBookSize * kBookSize * kPitchCodebookDim)));
}

void PitchSearch::gather(const std::vector<float>& target, const std::vector<float>& weight,
                         int channel, int pitchIndex, Peaks& peaks) const {
    const BlockLayout& b = config_.blocks[blockType_];
    for (int h = 0; h < harmonics_; ++h) {
        const PitchSlot s = pitchSlot(config_.channels, channel, h);
        const int e = s.vector * kPitchCodebookDim + s.component;
        const int bin = bins_[pitchIndex * harmonics_ + h];
        peaks.channel[e] = channel;
        if (bin >= b.codedBins) {
            peaks.value[e] = 0.0f;
            peaks.weight[e] = 0.0f;
            continue;
        }
        const int pos = coefPosition(b, channel, bin, 0);
        peaks.value[e] = target[pos];
        peaks.weight[e] = weight[pos];
    }
}

void PitchSearch::searchVector(const Peaks& peaks, const std::array<float, kMaxChannels>& gains,
                               int v, Fit& fit) const {
    // Distance of an entry pair: sum of a (z - c0 - c1)^2 with z the peaks over the gain and
    // a the weight times the gain squared.
    float a[kPitchCodebookDim], z[kPitchCodebookDim];
    for (int k = 0; k < kPitchCodebookDim; ++k) {
        const int e = v * kPitchCodebookDim + k;
        const float g = gains[peaks.channel[e]];
        a[k] = g > 0.0f ? peaks.weight[e] * g * g : 0.0f;
        z[k] = g > 0.0f ? peaks.value[e] / g : 0.0f;
    }
    // A refit that lands on the same gains, and the chosen fundamental's fit again, ask the
    // same question: answered from the last few answers.
    Question q;
    for (int k = 0; k < kPitchCodebookDim; ++k) {
        q[k] = std::bit_cast<uint32_t>(z[k]);
        q[kPitchCodebookDim + k] = std::bit_cast<uint32_t>(a[k]);
    }
    for (const Answer& known : answers_) {
        if (known.valid && known.question == q) {
            fit.shape[v] = known.first;
            fit.shape[kPitchVectorPairs + v] = known.second;
            return;
        }
    }
    int32_t first = -1, second = -1;
    nearestPitchPair(z, a, first, second);
    if (first < 0) {
        return;  // no pair found: the shapes stay as they were
    }
    fit.shape[v] = first;
    fit.shape[kPitchVectorPairs + v] = second;
    Answer& slot = answers_[nextAnswer_];
    nextAnswer_ = (nextAnswer_ + 1) % kAnswers;
    slot = Answer{true, q, first, second};
}

PitchSearch::Fit PitchSearch::fit(const Peaks& peaks, unsigned active, int passes) const {
    Fit f;
    Peaks used = peaks;
    for (int e = 0; e < kPitchElements; ++e) {
        if ((active & (1u << peaks.channel[e])) == 0) {
            used.weight[e] = 0.0f;
        }
    }
    std::array<float, kMaxChannels> gains{};
    for (int ch = 0; ch < config_.channels; ++ch) {
        double energy = 0.0, weights = 0.0;
        for (int e = 0; e < kPitchElements; ++e) {
            if (used.channel[e] == ch) {
                energy += double{used.weight[e]} * used.value[e] * used.value[e];
                weights += used.weight[e];
            }
        }
        f.before[ch] = energy;
        f.after[ch] = energy;
        if (weights > 0.0 && energy > 0.0) {
            f.gain[ch] =
                pitchGainIndex(static_cast<float>(std::sqrt(energy / weights)) / codebookRms_);
            gains[ch] = pitchGainOf(f.gain[ch]);
        }
    }
    float vectors[kPitchElements];
    for (int pass = 0; pass < passes; ++pass) {
        for (int v = 0; v < kPitchVectorPairs; ++v) {
            searchVector(used, gains, v, f);
        }
        decodePitchVectors(config_, f.shape.data(), vectors);
        // Refit each channel's gain to the chosen vectors.
        for (int ch = 0; ch < config_.channels; ++ch) {
            if (gains[ch] == 0.0f) {
                continue;
            }
            double num = 0.0, den = 0.0;
            for (int e = 0; e < kPitchElements; ++e) {
                if (used.channel[e] == ch) {
                    num += double{used.weight[e]} * used.value[e] * vectors[e];
                    den += double{used.weight[e]} * vectors[e] * vectors[e];
                }
            }
            if (!(num > 0.0 && den > 0.0)) {
                f.gain[ch] = 0;
                gains[ch] = 0.0f;
                continue;
            }
            f.gain[ch] = pitchGainIndex(static_cast<float>(num / den));
            gains[ch] = pitchGainOf(f.gain[ch]);
        }
    }
    for (int ch = 0; ch < config_.channels; ++ch) {
        double error = 0.0;
        for (int e = 0; e < kPitchElements; ++e) {
            if (used.channel[e] == ch) {
                const double r = used.value[e] - gains[ch] * vectors[e];
                error += used.weight[e] * r * r;
            }
        }
        f.after[ch] = gains[ch] > 0.0f ? error : f.before[ch];
    }
    return f;
}

void PitchSearch::search(const std::vector<float>& target, const std::vector<float>& weight,
                         FrameIndex& index, std::vector<float>& component) {
    const BlockLayout& b = config_.blocks[blockType_];
    const int channels = config_.channels;
    component.assign(codedCount(config_, blockType_), 0.0f);
    for (int i = 0; i < 2 * kPitchVectorPairs; ++i) {
        index.pitchShapeIndex[i] = 0;
    }
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        index.pitchIndex[ch] = 0;
        index.pitchGainIndex[ch] = 0;
    }

    // Per channel: rank the fundamentals by the weighted energy at their harmonics, then fit
    // the best few in closed loop on their own.
    Peaks peaks;
    std::array<float, kPitchIndices> score;
    for (int ch = 0; ch < channels; ++ch) {
        energy_.resize(b.codedBins + 1);
        for (int k = 0; k < b.codedBins; ++k) {
            const int pos = coefPosition(b, ch, k, 0);
            energy_[k] = weight[pos] * target[pos] * target[pos];
        }
        energy_[b.codedBins] = 0.0f;  // (harmonics above the coded range add nothing)
        if (harmonics_ == kPitchElements) {
            harmonicSums<kPitchElements>(bins_.data(), energy_.data(), score.data());
        } else {
            harmonicSums<kPitchElements / 2>(bins_.data(), energy_.data(), score.data());
        }
        std::array<int, kCandidates> best;
        for (int k = 0; k < kCandidates; ++k) {
            const auto top = std::max_element(score.begin(), score.end());
            best[k] = static_cast<int>(top - score.begin());
            *top = -1.0f;
        }
        // Candidates hit different bins, so they compare by the error they remove.
        double most = -1.0;
        for (int p : best) {
            gather(target, weight, ch, p, peaks);
            const Fit f = fit(peaks, 1u << ch, 1);
            if (f.before[ch] - f.after[ch] > most) {
                most = f.before[ch] - f.after[ch];
                index.pitchIndex[ch] = p;
            }
        }
        gather(target, weight, ch, index.pitchIndex[ch], peaks);
    }

    // All channels together share the vectors; a channel whose component does not pay is
    // switched off and the rest refitted without it.
    unsigned active = (1u << channels) - 1u;
    Fit f = fit(peaks, active, 2);
    unsigned keep = 0;
    for (int ch = 0; ch < channels; ++ch) {
        if (f.gain[ch] != 0 && f.after[ch] <= (1.0 - kMinRemoved) * f.before[ch]) {
            keep |= 1u << ch;
        }
    }
    if (keep == 0) {
        return;
    }
    if (keep != active) {
        f = fit(peaks, keep, 2);
    }
    for (int i = 0; i < 2 * kPitchVectorPairs; ++i) {
        index.pitchShapeIndex[i] = f.shape[i];
    }
    for (int ch = 0; ch < channels; ++ch) {
        index.pitchGainIndex[ch] = (keep & (1u << ch)) != 0 ? f.gain[ch] : 0;
    }
    addPitchComponent(config_, blockType_, index, component);
}

}  // namespace tembrel::tvq
