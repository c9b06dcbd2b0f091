// Chooses the block type of a window from the rise of high-frequency energy inside it:
// sudden attacks need short blocks to keep their quantisation noise from spreading before them.
#pragma once

#include <vector>

namespace tembrel::tvq {

class TransientDetector {
  public:
    TransientDetector(int frameSize, int sampleRate);
    // `history` holds 3 * frameSize samples of each channel; the window judged is the one
    // whose centre part is samples [1.5, 2.5) x frameSize. Returns 0 long, 1 middle, 2 short.
    int decide(const std::vector<const float*>& history);

  private:
    int segment_;
    float shortRatio_;
    float middleRatio_;
    std::vector<float> energy_;
};

}  // namespace tembrel::tvq
