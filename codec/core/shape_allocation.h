// Which coefficients the shape vectors code, decided from what the decoder knows before the
// shapes: the scale of every coefficient and a mask estimated from those scales. Bits go out
// by reverse water-filling on scale over mask, and the coefficients whose share falls to
// nothing (far below the estimated mask: deep envelope valleys, the weak side of a steep
// slope) are left uncoded, so the vectors spend their bits on the rest. The coded
// coefficients are shared out over the vectors in frequency order, every vector taking every
// n-th: a vector drawn from all over the frame averages out the envelope's local misses,
// which the unit-power codebooks cannot follow. Both sides run this on the same decoded
// parameters, in integer arithmetic from the floats' bit patterns.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/core/frame_model.h"

namespace tembrel::tvq {

class ShapeAllocator {
  public:
    // models: the decoded models of every channel (lpcEnv, subGain, bandDb).
    void allocate(const StreamConfig& config, int blockType, const ChannelModel* models,
                  ShapeLayout& layout);
    // Per coefficient position of the last layout: 1 when a vector codes it.
    const std::vector<uint8_t>& coded() const { return coded_; }

  private:
    std::vector<int32_t> key_;  // per coefficient position: importance, or kMuted
    // Per importance value: the coefficients of at least that importance, and their sum (a
    // frame has a few thousand coefficients of importance -512..511: 32 bits hold both).
    std::vector<int32_t> countFrom_, sumFrom_;
    // Per importance value from kKeyMin: how many even and odd bins have it (zero between calls).
    std::vector<int32_t> evenCount_, oddCount_;
    std::vector<uint8_t> coded_;
    std::vector<int> codedList_;  // positions of the coded coefficients, in order
    std::vector<float> power_, bandPower_;
    std::vector<int32_t> binMask_, binKey_;  // per bin of a sub-block: its band's mask, its key
};

}  // namespace tembrel::tvq
