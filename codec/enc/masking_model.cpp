#include "codec/enc/masking_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace tembrel::tvq {
namespace {

constexpr float kLowerSlopeDb = 27.0f;    // per bark, towards lower frequencies
constexpr float kBandResolution = 0.25f;  // bark
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

// 2^x for x <= 0, to about 1e-5 relative error: the spreading evaluates it for every pair of
// nearby bands in every block, where std::exp2 would dominate the model's cost.
float fastExp2(float x) {
    x = std::max(x, -126.0f);
    const float whole = std::floor(x);
    const float f = x - whole;
    // Minimax polynomial for 2^f on [0, 1).
    const float p =
        1.0f + f * (0.6931472f +
                    f * (0.2402265f + f * (0.05550357f + f * (0.009618129f + f * 0.001333355f))));
    return std::bit_cast<float>(std::bit_cast<int32_t>(p) + (static_cast<int32_t>(whole) << 23));
}

float toDb(float power) {
    return 10.0f * std::log10(std::max(power, 1e-20f));
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
    const int bands = static_cast<int>(barkCentre_.size());
    std::vector<float> energy(bands), spread(bands, 0.0f);
    for (int b = 0; b < bands; ++b) {
        float e = internalNoise_[b];
        for (int k = edges_[b]; k < edges_[b + 1]; ++k) {
            e += power[k] * binWeight_[k];
        }
        energy[b] = e;
    }
    constexpr float kLog2Of10 = 3.3219281f;
    std::vector<float>& upper04 = upper04_;
    for (int m = 0; m < bands; ++m) {
        const float slope = std::max(0.0f, slopeBase_[m] - 0.2f * toDb(energy[m]));
        // Upper weights 10^(-slope dz / 10) = 2^(-rate dz), up to the cut.
        const float rate = slope * kLog2Of10 / 10.0f;
        const float cut = kCutDb * kLog2Of10 / 10.0f;
        float upperTotal = 0.0f;
        upper04.clear();
        for (int b = m + 1; b < bands; ++b) {
            const float x = rate * (barkCentre_[b] - barkCentre_[m]);
            if (x > cut) {
                break;
            }
            const float w04 = fastExp2(-kPowerLaw * x);
            upper04.push_back(w04);
            upperTotal += w04 * w04 * std::sqrt(w04);  // (w^0.4)^2.5 = w
        }
        const float base = std::pow(energy[m] / (1.0f + lowerTotal_[m] + upperTotal), kPowerLaw);
        spread[m] += base;
        const std::vector<float>& lower = lower04_[m];
        for (size_t i = 0; i < lower.size(); ++i) {
            spread[lowerFirst_[m] + i] += base * lower[i];
        }
        for (size_t i = 0; i < upper04.size(); ++i) {
            spread[m + 1 + i] += base * upper04[i];
        }
    }
    out.resize(bins_);
    for (int b = 0; b < bands; ++b) {
        const float mask = std::pow(spread[b], 1.0f / kPowerLaw) * maskScale_[b];
        for (int k = edges_[b]; k < edges_[b + 1]; ++k) {
            out[k] = mask / binWeight_[k];
        }
    }
}

}  // namespace tembrel::tvq
