// Chooses the periodic component of a long block: per channel the fundamental and the gain,
// and the two peak-amplitude vectors they share, by the same weighted error the shape search
// minimises.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "codec/core/pitch_model.h"
#include "codec/core/stream_config.h"

namespace tembrel::tvq {

// The pair of pitch codebook entries (one from each) whose sum is nearest to z (one pitch
// vector, kPitchCodebookDim values) by the weights a: the few entries of each codebook nearest
// to z / 2, then every pair of them. Leaves first/second as they are when no pair comes
// below the largest float.
void nearestPitchPair(const float* z, const float* a, int32_t& first, int32_t& second);

class PitchSearch {
  public:
    PitchSearch(const StreamConfig& config, int blockType);

    // target/weight: the frame's interleaved coefficients and weights (codedCount values).
    // Writes the pitch fields of `index` and the decoded component (codedCount values, zero
    // where the frame has none) into `component`.
    void search(const std::vector<float>& target, const std::vector<float>& weight,
                FrameIndex& index, std::vector<float>& component);

  private:
    // The harmonic peaks of one choice of fundamentals, laid out like the pitch vectors.
    struct Peaks {
        std::array<float, kPitchElements> value{};   // target at the peak
        std::array<float, kPitchElements> weight{};  // 0 where no peak is coded
        std::array<int, kPitchElements> channel{};
    };
    struct Fit {
        std::array<int32_t, 2 * kPitchVectorPairs> shape{};
        std::array<int32_t, kMaxChannels> gain{};
        std::array<double, kMaxChannels> before{};  // weighted error without the component
        std::array<double, kMaxChannels> after{};   // and with it
    };

    void gather(const std::vector<float>& target, const std::vector<float>& weight, int channel,
                int pitchIndex, Peaks& peaks) const;
    // Gain-shape fit of the peaks of the channels in `active` (bit mask).
    Fit fit(const Peaks& peaks, unsigned active, int passes) const;
    void searchVector(const Peaks& peaks, const std::array<float, kMaxChannels>& gains, int v,
                      Fit& fit) const;

    StreamConfig config_;
    int blockType_;
    int harmonics_;
    // Bin of every harmonic of every pitch index (2^kPitchBits x harmonics_), the coded bin
    // count for those above the coded range.
    std::vector<int> bins_;
    // Weighted energy per coded bin of one channel, and a zero after them.
    std::vector<float> energy_;
    float codebookRms_ = 1.0f;
    // The last few answers of nearestPitchPair, by the bits of the z and a they answer.
    using Question = std::array<uint32_t, 2 * kPitchCodebookDim>;
    struct Answer {
        bool valid = false;
        Question question{};
        int32_t first = 0, second = 0;
    };
    static constexpr int kAnswers = 4;
    mutable std::array<Answer, kAnswers> answers_{};
    mutable int nextAnswer_ = 0;
};

}  // namespace tembrel::tvq
