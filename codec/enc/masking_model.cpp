#include "codec/enc/masking_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "codec/core/simd_kernel.h"

namespace tembrel::tvq {
namespace {

constexpr float kLowerSlopeDb = 27.0f;  // per bark, towards lower frequencies
// Bark per band: a quarter bark measured the same noise-to-mask ratio, 0.5 bark about 0.5 dB
// lower SNR; a third keeps most of the saving in spreading work.
constexpr float kBandResolution = 0.35f;  // bark
constexpr double kFullScale = 32767.0;
constexpr double kFullScaleLevelDb = 92.0;  // a full-scale sine is taken to play at 92 dB SPL
constexpr float kPowerLaw = 0.4f;           // maskers add as powers of their energies

double barkOf(double hz) {
    return 7.0 * std::asinh(hz / 650.0);
}

// Outer and middle ear transfer in dB.
double outerEarDb(double hz) {
    const double k = std::max(hz, 20.0) / 1000.0;
    return -0.6 * 3.64 * std::pow(k, -0.8) + 6.5 * std::exp(-0.6 * (k - 3.3) * (k - 3.3)) -
           1e-3 * std::pow(k, 3.6);
}

constexpr float kCutDb = 60.0f;  // spreading weights below this are left out

using FloatLanes = float __attribute__((vector_size(32)));
using IntLanes = int32_t __attribute__((vector_size(32)));
constexpr int kLanes = 8;

// 2^x for x <= 0 and log2(x) for x > 0, to about 1e-5 relative error, on eight values at once,
// in place: the spreading evaluates them for every pair of nearby bands in every block, where
// the library functions would dominate the model's cost. (By reference: vector values passed
// by value would change the calling convention between the AVX and baseline builds.)
inline void exp2Lanes(FloatLanes& x) {
    x = x < -126.0f ? FloatLanes{} - 126.0f : x;
    IntLanes whole = __builtin_convertvector(x, IntLanes);    // rounds towards zero
    whole += x < __builtin_convertvector(whole, FloatLanes);  // true is -1: now rounds down
    const FloatLanes f = x - __builtin_convertvector(whole, FloatLanes);
    // Minimax polynomial for 2^f on [0, 1).
    const FloatLanes p =
        1.0f + f * (0.6931472f +
                    f * (0.2402265f + f * (0.05550357f + f * (0.009618129f + f * 0.001333355f))));
    x = (FloatLanes)((IntLanes)p + (whole << 23));
}

inline void log2Lanes(FloatLanes& x) {
    x = x < 1e-37f ? FloatLanes{} + 1e-37f : x;
    const IntLanes bits = (IntLanes)x;
    const FloatLanes exponent = __builtin_convertvector((bits >> 23) - 127, FloatLanes);
    const FloatLanes m = (FloatLanes)((bits & 0x007FFFFF) | 0x3F800000) - 1.0f;  // [0, 1)
    // Polynomial for log2(1 + m) on [0, 1).
    const FloatLanes p =
        m * (1.4426898f +
             m * (-0.7211542f +
                  m * (0.4778547f +
                       m * (-0.3473545f + m * (0.2417819f + m * (-0.1287800f + m * 0.0362383f))))));
    x = exponent + p;
}

// out = x^y for `count` values, read and written in whole groups of eight.
TVQ_SIMD_KERNEL void powers(const float* x, int count, float y, float* out) {
    for (int i = 0; i < count; i += kLanes) {
        FloatLanes v;
        __builtin_memcpy(&v, x + i, sizeof v);
        log2Lanes(v);
        v = y * v;
        exp2Lanes(v);
        __builtin_memcpy(out + i, &v, sizeof v);
    }
}

// Each masker's upper-slope rate in log2 units per bark: its slope of a 0 dB masker, flattened
// by 0.2 dB per bark for every dB of its level (whole groups of eight, like powers()).
TVQ_SIMD_KERNEL void upperRates(const float* energy, const float* slopeBase, int count,
                                float* rate) {
    constexpr float kLog2Of10 = 3.3219281f;
    for (int i = 0; i < count; i += kLanes) {
        FloatLanes e, base;
        __builtin_memcpy(&e, energy + i, sizeof e);
        __builtin_memcpy(&base, slopeBase + i, sizeof base);
        log2Lanes(e);
        const FloatLanes levelDb = 10.0f / kLog2Of10 * e;
        FloatLanes slope = base - 0.2f * levelDb;
        slope = 0.0f < slope ? slope : FloatLanes{};
        const FloatLanes r = slope * kLog2Of10 / 10.0f;
        __builtin_memcpy(rate + i, &r, sizeof r);
    }
}

// The upper spreading weights of one masker for bands at `above` (count of them, read and
// written in whole groups of eight): w04 = 2^(-0.4 rate dz), w = 2^(-rate dz). Returns the
// sum of w over the first `count`.
TVQ_SIMD_KERNEL float upperWeights(const float* above, int count, float centre, float rate,
                                   float* w04, float* w) {
    FloatLanes total{};
    for (int i = 0; i < count; i += kLanes) {
        FloatLanes z;
        __builtin_memcpy(&z, above + i, sizeof z);
        const FloatLanes x = rate * (z - centre);
        FloatLanes a = -kPowerLaw * x;
        FloatLanes b = -x;
        exp2Lanes(a);
        exp2Lanes(b);
        __builtin_memcpy(w04 + i, &a, sizeof a);
        __builtin_memcpy(w + i, &b, sizeof b);
        for (int lane = 0; lane < kLanes; ++lane) {
            if (i + lane >= count) {
                b[lane] = 0.0f;
            }
        }
        total += b;
    }
    float sum = 0.0f;
    for (int lane = 0; lane < kLanes; ++lane) {
        sum += total[lane];
    }
    return sum;
}

// The first of the bands from `from` to `count` (centres ascending) whose centre lies above
// `limit`, as std::upper_bound finds it, but without branches: which half the search goes on
// in is a coin toss the predictor misses, once per step and masker.
int firstAbove(const float* centre, int from, int count, float limit) {
    const float* base = centre + from;
    int n = count - from;
    if (n <= 0) {
        return from;
    }
    while (n > 1) {  // (the answer lies in base .. base + n)
        const int half = n / 2;
        base = base[half] <= limit ? base + half : base;
        n -= half;
    }
    return static_cast<int>(base - centre) + (*base <= limit ? 1 : 0);
}

}  // namespace

MaskingModel::MaskingModel(int bins, int sampleRate) : bins_(bins) {
    const double hzPerBin = sampleRate / (2.0 * bins);
    // With the orthonormal transform a full-scale sine puts about bins * 32767^2 / 2 into the
    // block; that power is the reference level.
    const double levelScale =
        std::pow(10.0, kFullScaleLevelDb / 10.0) / (bins * kFullScale * kFullScale / 2.0);
    binWeight_.resize(bins);
    for (int k = 0; k < bins; ++k) {
        const double hz = (k + 0.5) * hzPerBin;
        binWeight_[k] = static_cast<float>(levelScale * std::pow(10.0, outerEarDb(hz) / 10.0));
    }
    edges_.push_back(0);
    double start = barkOf(0.0);
    for (int k = 1; k < bins; ++k) {
        const double z = barkOf(k * hzPerBin);
        if (z - start >= kBandResolution) {
            edges_.push_back(k);
            start = z;
        }
    }
    edges_.push_back(bins);
    const int bands = static_cast<int>(edges_.size()) - 1;
    for (int b = 0; b < bands; ++b) {
        const double hz = 0.5 * (edges_[b] + edges_[b + 1]) * hzPerBin;
        const double z = barkOf(hz);
        barkCentre_.push_back(static_cast<float>(z));
        slopeBase_.push_back(static_cast<float>(24.0 + 230.0 / hz));
        internalNoise_.push_back(
            static_cast<float>(std::pow(10.0, 0.4 * 0.364 * std::pow(hz / 1000.0, -0.8))));
    }
    // The weight kernel reads whole groups of lanes past the last band.
    paddedCentre_ = barkCentre_;
    paddedCentre_.resize(bands + kLanes, barkCentre_.back() + 100.0f);
    slopeBase_.resize(bands + kLanes, slopeBase_.back());
    upper_.assign(bands + kLanes, 0.0f);
    lowerTotal_.assign(bands, 0.0f);
    lowerFirst_.assign(bands, 0);
    lower04_.resize(bands);
    for (int m = 0; m < bands; ++m) {
        int first = m;
        while (first > 0 && kLowerSlopeDb * (barkCentre_[m] - barkCentre_[first - 1]) < kCutDb) {
            --first;
        }
        lowerFirst_[m] = first;
        for (int b = first; b < m; ++b) {
            const float db = -kLowerSlopeDb * (barkCentre_[m] - barkCentre_[b]);
            lowerTotal_[m] += std::pow(10.0f, db / 10.0f);
            lower04_[m].push_back(std::pow(10.0f, kPowerLaw * db / 10.0f));
        }
    }
    // The spreading of a flat 0 dB pattern, so that the mask of a flat spectrum equals the
    // spectrum before the offset.
    maskScale_.assign(bands, 1.0f);
    std::vector<float> flat(bins, 0.0f);
    for (int b = 0; b < bands; ++b) {
        for (int k = edges_[b]; k < edges_[b + 1]; ++k) {
            flat[k] = 1.0f / ((edges_[b + 1] - edges_[b]) * binWeight_[k]);
        }
    }
    std::vector<float> out;
    threshold(flat.data(), out);
    for (int b = 0; b < bands; ++b) {
        // threshold() returned mask / binWeight; the flat pattern's mask should be 1.
        const float mask = out[edges_[b]] * binWeight_[edges_[b]];
        const float offsetDb = barkCentre_[b] <= 12.0f ? 3.0f : 0.25f * barkCentre_[b];
        maskScale_[b] = 1.0f / (std::max(mask, 1e-20f) * std::pow(10.0f, offsetDb / 10.0f));
    }
}

void MaskingModel::threshold(const float* power, std::vector<float>& out) const {
    constexpr float kLog2Of10 = 3.3219281f;
    constexpr float kCut = kCutDb * kLog2Of10 / 10.0f;
    const int bands = static_cast<int>(barkCentre_.size());
    const int stride = bands + kLanes;  // one masker's row of upper weights
    // Per-band values are computed in whole groups of lanes; the padding stays harmless.
    energy_.assign(stride, 1.0f);
    rate_.resize(stride);
    level_.assign(stride, 1.0f);
    base_.resize(stride);
    spread_.assign(stride, 1.0f);
    upperRows_.resize(static_cast<size_t>(bands) * stride);
    upperCount_.resize(bands);
    for (int b = 0; b < bands; ++b) {
        float e = internalNoise_[b];
        for (int k = edges_[b]; k < edges_[b + 1]; ++k) {
            e += power[k] * binWeight_[k];
        }
        energy_[b] = e;
    }
    // Upper weights 10^(-slope dz / 10) = 2^(-rate dz), for the bands up to the cut.
    upperRates(energy_.data(), slopeBase_.data(), bands, rate_.data());
    for (int m = 0; m < bands; ++m) {
        const float rate = rate_[m];
        const float centre = barkCentre_[m];
        const int reach = rate > 0.0f
                              ? firstAbove(barkCentre_.data(), m + 1, bands, centre + kCut / rate)
                              : bands;
        const int count = reach - (m + 1);
        const float upperTotal =
            upperWeights(paddedCentre_.data() + m + 1, count, centre, rate,
                         upperRows_.data() + static_cast<size_t>(m) * stride, upper_.data());
        upperCount_[m] = count;
        level_[m] = energy_[m] / (1.0f + lowerTotal_[m] + upperTotal);
    }
    powers(level_.data(), bands, kPowerLaw, base_.data());
    std::fill_n(spread_.begin(), bands, 0.0f);
    float* spread = spread_.data();
    for (int m = 0; m < bands; ++m) {
        const float base = base_[m];
        spread[m] += base;
        const std::vector<float>& lower = lower04_[m];
        float* lowerTo = spread + lowerFirst_[m];
        for (size_t i = 0; i < lower.size(); ++i) {
            lowerTo[i] += base * lower[i];
        }
        const float* upper04 = upperRows_.data() + static_cast<size_t>(m) * stride;
        float* upperTo = spread + m + 1;
        for (int i = 0; i < upperCount_[m]; ++i) {
            upperTo[i] += base * upper04[i];
        }
    }
    powers(spread, bands, 1.0f / kPowerLaw, level_.data());
    out.resize(bins_);
    for (int b = 0; b < bands; ++b) {
        const float mask = level_[b] * maskScale_[b];
        for (int k = edges_[b]; k < edges_[b + 1]; ++k) {
            out[k] = mask / binWeight_[k];
        }
    }
}

}  // namespace tembrel::tvq
