#include "codec/core/index_storage.h"

#include <algorithm>

namespace tembrel::tvq {

void IndexStorage::attach(const StreamConfig& c, FrameIndex& index) {
    int shapes = 0, env = 0, subBlocks = 0, power = 0, pb = 0;
    for (const BlockLayout& b : c.blocks) {
        shapes = std::max(shapes, 2 * b.vectorCount);
        env = std::max(env, b.subBlocks * b.envBands);
        subBlocks = std::max(subBlocks, b.subBlocks);
        power = std::max(power, b.subGainCount + 1);
        pb = std::max(pb, b.subBlocks * b.noiseBands);
    }
    // Both channels always get room: callers may touch the second channel of a mono stream.
    shape_.assign(shapes, 0);
    env_.assign(kMaxChannels * env, 0);
    ar_.assign(kMaxChannels * subBlocks, 0);
    power_.assign(kMaxChannels * power, 0);
    pitchShape_.assign(2 * kPitchVectorPairs, 0);
    index = FrameIndex{};
    index.shapeIndex = shape_.data();
    index.envIndex = env_.data();
    index.arIndex = ar_.data();
    index.powerIndex = power_.data();
    index.pitchShapeIndex = pitchShape_.data();
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        lsp_[ch].assign(2 + c.lspSplit, 0);
        pb_[ch].assign(std::max(pb, 1), 0);
        index.lspIndex[ch] = lsp_[ch].data();
        index.pbIndex[ch] = pb_[ch].data();
    }
}

void IndexStorage::detach(FrameIndex& index) {
    index = FrameIndex{};
}

void WidthTables::fill(const StreamConfig& c) {
    for (int t = 0; t < kBlockTypes; ++t) {
        shape0[t] = c.blocks[t].shape0Bits;
        shape1[t] = c.blocks[t].shape1Bits;
    }
    shape0[3] = c.pitchShape0Bits;
    shape1[3] = c.pitchShape1Bits;
}

}  // namespace tembrel::tvq
