// Encodes one frame: transient decision with one frame of look-ahead, windowed MDCT,
// LPC/LSP envelope, gains, bark-band envelope, noise levels and the weighted shape search.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "codec/core/frame_model.h"
#include "codec/core/mdct.h"
#include "codec/core/shape_allocation.h"
#include "codec/core/stream_config.h"
#include "codec/enc/masking_model.h"
#include "codec/enc/pitch_search.h"
#include "codec/enc/transient_detector.h"

namespace tembrel::tvq {

class FrameEncoder {
  public:
    explicit FrameEncoder(const StreamConfig& config);

    // samples: channels x frameSize floats, channel-major, 16-bit scale.
    void encode(const float* samples, FrameIndex& index);

    // With false, frames that have the pitch part leave it at zero gain (for comparisons).
    void usePitch(bool on) { usePitch_ = on; }

  private:
    void analyse(int blockType, int leftOverlap, int rightOverlap);
    // Chooses and applies left/right or mid/side per stereo range.
    void chooseMidSide(int blockType, bool* midSide);
    void encodeChannel(int ch, int blockType, FrameIndex& index);

    StreamConfig config_;
    std::array<std::unique_ptr<Mdct>, kBlockTypes> mdct_;
    std::array<std::unique_ptr<MaskingModel>, kBlockTypes> masking_;
    std::array<std::unique_ptr<PitchSearch>, kBlockTypes> pitch_;  // block types with pitch
    bool usePitch_ = true;
    WindowCache windows_;
    TransientDetector detector_;
    std::array<std::vector<float>, kMaxChannels> history_;  // 3 frames per channel
    std::array<ChannelMemory, kMaxChannels> memory_;
    int pendingType_ = 0;  // block type decided one frame ahead
    int prevRightOverlap_;
    // Per-frame work areas.
    std::array<std::vector<float>, kMaxChannels> spectrum_;       // subBlocks x subSize
    std::array<std::vector<float>, kMaxChannels> threshold_;      // masked noise power per bin
    std::array<std::vector<float>, kMaxChannels> lastThreshold_;  // the last sub-block's
    std::vector<float> target_, weight_, reconstruction_, windowed_, scales_, power_,
        bandThreshold_, component_, residual_, envelopePower_, flat_, wanted_;
    std::vector<double> lpc_, lspTarget_;
    std::vector<const float*> views_;
    ChannelModel memoryModel_;  // what advances the memory after the gain refit
    std::array<ChannelModel, kMaxChannels> model_;
    ShapeAllocator allocator_;
    ShapeLayout layout_;
};

}  // namespace tembrel::tvq
