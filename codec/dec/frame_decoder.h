// Turns one frame's parameters back into samples: parameter models, shape vectors, noise
// filling, inverse transforms and overlap-add.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/core/frame_model.h"
#include "codec/core/mdct.h"
#include "codec/core/shape_allocation.h"
#include "codec/core/stream_config.h"

namespace tembrel::tvq {

class FrameDecoder {
  public:
    explicit FrameDecoder(const StreamConfig& config);

    // Writes channels x frameSize samples, channel-major; the output is two frames behind the
    // encoder's input.
    void decode(const FrameIndex& index, float* samples);

  private:
    StreamConfig config_;
    std::array<std::unique_ptr<Mdct>, kBlockTypes> mdct_;
    WindowCache windows_;
    std::array<ChannelMemory, kMaxChannels> memory_;
    std::array<std::vector<float>, kMaxChannels> overlap_;  // 2 * frameSize per channel
    int prevRightOverlap_;
    uint32_t noiseState_ = 0x2545f491u;
    // Scratch, kept to avoid allocation per frame.
    std::array<ChannelModel, kMaxChannels> model_;
    ShapeAllocator allocator_;
    ShapeLayout layout_;
    std::vector<float> shapes_, scales_, timeBlock_;
    std::array<std::vector<float>, kMaxChannels> coefs_;  // subBlocks x subSize per channel
};

}  // namespace tembrel::tvq
