// What both sides rebuild from a frame's parameters: the per-bin scale of every channel and
// sub-block (LPC envelope x gains x bark-band correction), the noise-fill levels, and the
// shape vectors. The encoder runs the same code to code against what the decoder will see.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/core/stream_config.h"

namespace tembrel::tvq {

// Quantised parameters of one channel in one frame.
struct ChannelModel {
    std::vector<double> lsp;
    std::vector<float> lpcEnv;  // noiseBins bins, unit mean power over the coded bins
    float gain = 0.0f;
    std::vector<float> subGain;  // per sub-block (1.0 for long blocks)
    std::vector<float> bandDb;   // subBlocks x envBands corrections
    std::vector<float> noise;    // subBlocks x noiseBands levels relative to the envelope
};

// Inter-frame memory of one channel's parameters, identical on both sides.
struct ChannelMemory {
    std::vector<double> lsp;
    int envBlockType = -1;     // block type of the last envelope (-1: none yet)
    std::vector<float> envDb;  // last sub-block's band corrections
};

void resetMemory(const StreamConfig& config, ChannelMemory& memory);

// Position of (channel, bin, sub-block) in the frame's coefficient list that the shape
// vectors interleave over.
inline int coefPosition(const BlockLayout& b, int channel, int bin, int subBlock) {
    return (channel * b.codedBins + bin) * b.subBlocks + subBlock;
}
inline int codedCount(const StreamConfig& c, int blockType) {
    const BlockLayout& b = c.blocks[blockType];
    return c.channels * b.codedBins * b.subBlocks;
}

// Length of the longest shape vector of a block type (the codebook dimension it uses).
inline int vectorDim(const StreamConfig& c, int blockType) {
    const int vectors = c.blocks[blockType].vectorCount;
    return (codedCount(c, blockType) + vectors - 1) / vectors;
}

// Band correction prediction for sub-block `subBlock` from the memory and the sub-blocks
// before it (kEnvPrediction times the previous envelope when it has the same layout).
float envPrediction(const ChannelMemory& memory, int blockType, const std::vector<float>& bandDb,
                    int subBlock, int band, int bands);

// Decodes one channel's model from the index fields and advances its memory. Without
// `withEnvelope` the LPC envelope (the costly part, which the memory does not depend on) is
// left out: the encoder uses that to keep its memory in step with the decoder's.
void decodeChannelModel(const StreamConfig& config, int blockType, const FrameIndex& index,
                        int channel, ChannelMemory& memory, ChannelModel& model,
                        bool withEnvelope = true);

// Scale of every coded bin of sub-block `subBlock` (codedBins values).
void binScales(const StreamConfig& config, int blockType, const ChannelModel& model, int subBlock,
               std::vector<float>& scales);

// Rebuilds the interleaved shape coefficients (codedCount values) from the shape indices.
void decodeShapes(const StreamConfig& config, int blockType, const int32_t* shapeIndex,
                  std::vector<float>& coefs);

}  // namespace tembrel::tvq
