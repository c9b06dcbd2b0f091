#include "codec/enc/masking_model.h"

#include <algorithm>
#include <cmath>

namespace tembrel::tvq {
namespace {

constexpr float kUpperSlopeDb = 12.0f;  // per bark, towards higher frequencies
constexpr float kLowerSlopeDb = 27.0f;  // per bark, towards lower frequencies
constexpr float kMarginDb = 12.0f;
constexpr float kQuietPower = 0.5f;  // per bin, on the 16-bit scale

double bark(double hz) {
    return 13.0 * std::atan(0.00076 * hz) + 3.5 * std::atan((hz / 7500.0) * (hz / 7500.0));
}

}  // namespace

MaskingModel::MaskingModel(int bins, int sampleRate) : bins_(bins) {
    const double hzPerBin = sampleRate / (2.0 * bins);
    edges_.push_back(0);
    double start = bark(0.0);
    for (int k = 1; k < bins; ++k) {
        if (bark(k * hzPerBin) - start >= 0.5) {
            edges_.push_back(k);
            start = bark(k * hzPerBin);
        }
    }
    edges_.push_back(bins);
    for (size_t b = 0; b + 1 < edges_.size(); ++b) {
        barkCentre_.push_back(
            static_cast<float>(bark(0.5 * (edges_[b] + edges_[b + 1]) * hzPerBin)));
    }
    // The spreading weights depend only on the bands: computed here once. Weights below
    // -60 dB are left out; they form the two ends of each band's row.
    const int bands = static_cast<int>(barkCentre_.size());
    spread_.resize(bands);
    for (int b = 0; b < bands; ++b) {
        Spread& s = spread_[b];
        s.first = bands;
        for (int m = 0; m < bands; ++m) {
            const float dz = barkCentre_[b] - barkCentre_[m];
            const float db = dz >= 0.0f ? -kUpperSlopeDb * dz : kLowerSlopeDb * dz;
            if (db > -60.0f) {
                s.first = std::min(s.first, m);
                s.weight.push_back(std::pow(10.0f, db / 10.0f));
            }
        }
    }
}

void MaskingModel::threshold(const float* power, std::vector<float>& out) const {
    const int bands = static_cast<int>(barkCentre_.size());
    std::vector<float> energy(bands, 0.0f);
    for (int b = 0; b < bands; ++b) {
        for (int k = edges_[b]; k < edges_[b + 1]; ++k) {
            energy[b] += power[k];
        }
    }
    out.resize(bins_);
    const float margin = std::pow(10.0f, -kMarginDb / 10.0f);
    for (int b = 0; b < bands; ++b) {
        const Spread& s = spread_[b];
        float spread = 0.0f;
        for (size_t i = 0; i < s.weight.size(); ++i) {
            spread += energy[s.first + i] * s.weight[i];
        }
        const int width = edges_[b + 1] - edges_[b];
        const float perBin = std::max(spread * margin / width, kQuietPower);
        for (int k = edges_[b]; k < edges_[b + 1]; ++k) {
            out[k] = perBin;
        }
    }
}

}  // namespace tembrel::tvq
