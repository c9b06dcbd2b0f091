// What both sides rebuild from a frame's parameters: the per-bin scale of every channel and
// sub-block (LPC envelope x gains x bark-band correction), the noise-fill levels, and the
// shape vectors. The encoder runs the same code to code against what the decoder will see.
#pragma once

#include <algorithm>
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
    std::vector<float> bandAmp;  // the same as amplitude factors (setBandAmplitudes)
    std::vector<float> noise;    // subBlocks x noiseBands levels relative to the envelope
};

// Inter-frame memory of one channel's parameters, identical on both sides.
struct ChannelMemory {
    std::vector<double> lsp;
    int envBlockType = -1;     // block type of the last envelope (-1: none yet)
    std::vector<float> envDb;  // last sub-block's band corrections
};

void resetMemory(const StreamConfig& config, ChannelMemory& memory);

// bandAmp from bandDb, once per frame for the scales, the layout and the noise levels.
void setBandAmplitudes(ChannelModel& model);

// Position of (channel, bin, sub-block) in the frame's coefficient list that the shape
// vectors interleave over.
inline int coefPosition(const BlockLayout& b, int channel, int bin, int subBlock) {
    return (channel * b.codedBins + bin) * b.subBlocks + subBlock;
}
inline int codedCount(const StreamConfig& c, int blockType) {
    const BlockLayout& b = c.blocks[blockType];
    return c.channels * b.codedBins * b.subBlocks;
}

// Length of the longest shape vector of a block type when every coefficient is coded.
inline int vectorDim(const StreamConfig& c, int blockType) {
    const int vectors = c.blocks[blockType].vectorCount;
    return (codedCount(c, blockType) + vectors - 1) / vectors;
}

// Which coefficients each shape vector codes: vector v codes the coefficient positions
// order[start[v]] .. order[start[v + 1] - 1], in that order, with the codebooks of length
// dim[v]. Positions in no vector are not coded (the decoder fills them with noise).
struct ShapeLayout {
    std::vector<int> order;
    std::vector<int> start;  // vectorCount + 1 offsets into order
    std::vector<int> dim;    // vectorCount codebook lengths
};

// Every coefficient coded, the vectors interleaved over the whole frame (vector v takes
// positions v, v + vectorCount, ...).
void uniformShapeLayout(const StreamConfig& config, int blockType, ShapeLayout& layout);

// Exponent applied to the noise-to-mask weights: 1 follows the masking model fully, less
// spreads the noise more evenly. With few bits per coefficient the softer weighting measured
// better, with more bits the full one.
inline float weightExponent(const StreamConfig& c, int blockType) {
    const float bitsPerCoef =
        static_cast<float>(c.blocks[blockType].shapeBits) / codedCount(c, blockType);
    return std::clamp(0.8f + (bitsPerCoef - 1.2f), 0.8f, 1.0f);
}

// Noise added to coefficients the shape vectors leave near zero, relative to their scale.
// In streams whose long blocks have under 0.7 bits per coefficient (8 kHz, 11 kHz up to
// 16 kbit/s) the vector quantiser leaves many coefficients near zero, holes that come and go
// from frame to frame; a little noise there keeps the spectrum closed. With more bits the
// holes are rare and real (valleys between partials), and noise there costs noise-to-mask
// ratio (0.05-0.1 dB at 16 and 22 kHz).
inline constexpr float kHoleThreshold = 0.25f;
inline float holeFillLevel(const StreamConfig& c) {
    const float bitsPerCoef = static_cast<float>(c.blocks[0].shapeBits) / codedCount(c, 0);
    return bitsPerCoef < 0.7f ? 0.1f : 0.0f;
}

// Band correction prediction for sub-block `subBlock` from the memory and the sub-blocks
// before it (kEnvPrediction times the previous envelope when it has the same layout).
float envPrediction(const ChannelMemory& memory, int blockType, const std::vector<float>& bandDb,
                    int subBlock, int band, int bands);

// Stereo mode of each of the block type's stereo ranges (true: mid/side), as the frame's
// fields give them.
void stereoModes(const StreamConfig& config, int blockType, const FrameIndex& index, bool* midSide);
// Stores the modes of the ranges above the lowest in their shape fields (after the search).
void storeStereoModes(const StreamConfig& config, int blockType, const bool* midSide,
                      FrameIndex& index);

// Decodes one channel's model from the index fields and advances its memory. Without
// `withEnvelope` the LPC envelope (the costly part, which the memory does not depend on) is
// left out: the encoder uses that to keep its memory in step with the decoder's.
void decodeChannelModel(const StreamConfig& config, int blockType, const FrameIndex& index,
                        int channel, ChannelMemory& memory, ChannelModel& model,
                        bool withEnvelope = true);

// Scale of every coded bin of sub-block `subBlock` (codedBins values).
void binScales(const StreamConfig& config, int blockType, const ChannelModel& model, int subBlock,
               std::vector<float>& scales);

// Rebuilds the shape coefficients (codedCount values) from the shape indices; positions the
// layout leaves uncoded come out as zero.
void decodeShapes(const StreamConfig& config, int blockType, const ShapeLayout& layout,
                  const int32_t* shapeIndex, std::vector<float>& coefs);

}  // namespace tembrel::tvq
