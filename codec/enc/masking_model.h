// A simple simultaneous-masking model: band powers spread over the bark scale with the usual
// asymmetric slopes, lowered by a fixed signal-to-mask margin and floored near the threshold
// of hearing. Gives the noise power each bin can hide.
#pragma once

#include <vector>

namespace tembrel::tvq {

class MaskingModel {
  public:
    // Bands of about half a bark over `bins` bins of a block at `sampleRate`.
    MaskingModel(int bins, int sampleRate);
    // power: bins values; threshold: bins values (per-bin masked noise power).
    void threshold(const float* power, std::vector<float>& threshold) const;

  private:
    int bins_;
    std::vector<int> edges_;
    std::vector<float> barkCentre_;
    // Per band: the weights of the bands that reach it, from band `first` on (contiguous,
    // since the slopes fall monotonically on both sides).
    struct Spread {
        int first;
        std::vector<float> weight;
    };
    std::vector<Spread> spread_;
};

}  // namespace tembrel::tvq
