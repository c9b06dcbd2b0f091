#include "codec/enc/transient_detector.h"

#include <algorithm>

namespace tembrel::tvq {
namespace {

constexpr int kSegmentsPerFrame = 16;
constexpr int kPastSegments = 4;
constexpr float kShortRatio = 18.0f;
constexpr float kMiddleRatio = 7.0f;
constexpr float kFloorPerSample = 64.0f;  // ignores rises out of near silence

}  // namespace

TransientDetector::TransientDetector(int frameSize)
    : frameSize_(frameSize), segment_(frameSize / kSegmentsPerFrame) {}

int TransientDetector::decide(const std::vector<const float*>& history) {
    const int segments = 3 * kSegmentsPerFrame;
    energy_.assign(segments, 0.0f);
    for (const float* x : history) {
        for (int s = 0; s < segments; ++s) {
            float e = 0.0f;
            for (int i = std::max(s * segment_, 1); i < (s + 1) * segment_; ++i) {
                const float d = x[i] - x[i - 1];  // first difference: emphasises high frequencies
                e += d * d;
            }
            energy_[s] += e;
        }
    }
    const float floor = kFloorPerSample * segment_ * static_cast<float>(history.size());
    float worst = 0.0f;
    const int first = kSegmentsPerFrame + kSegmentsPerFrame / 2;
    for (int s = first; s < first + kSegmentsPerFrame; ++s) {
        float past = 0.0f;
        for (int p = s - kPastSegments; p < s; ++p) {
            past += energy_[p];
        }
        past = std::max(past / kPastSegments, floor);
        worst = std::max(worst, energy_[s] / past);
    }
    return worst > kShortRatio ? 2 : worst > kMiddleRatio ? 1 : 0;
}

}  // namespace tembrel::tvq
