#include "codec/enc/transient_detector.h"

#include <algorithm>

namespace tembrel::tvq {
namespace {

constexpr int kSegmentsPerFrame = 16;
constexpr int kPastSegments = 4;
// Short blocks cost voiced speech its frequency resolution: in frames under 30 ms a ratio of
// 18 switched speech onsets to them and lost 2-4 dB of noise-to-mask ratio, while drum and
// castanet hits still rise far above 30. Longer frames smear onsets more and keep 18.
constexpr float kShortRatio = 30.0f;
constexpr float kShortRatioLongFrames = 18.0f;
// Middle blocks pay off more readily in frames of 30 ms and longer (the lower sampling rates),
// whose long windows smear speech onsets that are too gentle for short blocks.
constexpr float kMiddleRatioLongFrames = 3.0f;
constexpr float kMiddleRatio = 7.0f;
constexpr int kLookAfter = 2;
constexpr float kFloorPerSample = 64.0f;  // ignores rises out of near silence
// A sound that stops dead (energy falling by 30 dB into near silence) gets at least a middle
// block: a long block spreads its coding noise up to a frame past the end, a tail that
// spectrograms of castanets and noise bursts showed as a 20 ms smear into the silence. Middle
// blocks halve the tail at no cost in noise-to-mask ratio; short ones end it sooner but cost
// 0.05-0.1 dB (and on every fall, not just into silence, 0.1-0.4 dB).
constexpr float kFallRatio = 1000.0f;
constexpr float kQuietFloors = 4.0f;

}  // namespace

TransientDetector::TransientDetector(int frameSize, int sampleRate)
    : segment_(frameSize / kSegmentsPerFrame),
      shortRatio_(frameSize >= 0.03 * sampleRate ? kShortRatioLongFrames : kShortRatio),
      middleRatio_(frameSize >= 0.03 * sampleRate ? kMiddleRatioLongFrames : kMiddleRatio) {}

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
    // Rises inside the window's centre part decide; a strong rise just after it also makes it
    // short, since the start of that attack often falls into this window's last segments.
    // (Treating sudden falls alike measured worse: short blocks after a sound's end cost
    // more than the post-echo they save. Only a fall into near silence gets a middle block.)
    float worst = 0.0f;
    float strongAfter = 0.0f;
    float fall = 0.0f;
    const int first = kSegmentsPerFrame + kSegmentsPerFrame / 2;
    const int last = first + kSegmentsPerFrame;
    for (int s = first; s < last + kLookAfter; ++s) {
        float past = 0.0f;
        for (int p = s - kPastSegments; p < s; ++p) {
            past += energy_[p];
        }
        past /= kPastSegments;
        const float rise = energy_[s] / std::max(past, floor);
        if (s < last && energy_[s] < kQuietFloors * floor) {
            fall = std::max(fall, past / std::max(energy_[s], floor));
        }
        if (s >= last) {
            strongAfter = std::max(strongAfter, rise);
            continue;
        }
        worst = std::max(worst, rise);
    }
    if (strongAfter > shortRatio_) {
        return 2;
    }
    const int type = worst > shortRatio_ ? 2 : worst > middleRatio_ ? 1 : 0;
    return fall > kFallRatio ? std::max(type, 1) : type;
}

}  // namespace tembrel::tvq
