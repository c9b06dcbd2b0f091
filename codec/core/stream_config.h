// The coding configuration of one stream: transform sizes, band layout, quantiser ranges and the
// bit layout of a frame. Both libraries derive it from the same setup record, so the encoder and
// the decoder always agree on every width and count.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tvq/tvq_records.h"

namespace tembrel::tvq {

inline constexpr int kBlockTypes = 3;  // long, middle, short
inline constexpr int kMaxChannels = 2;
// Window type = stereo mode x 9 + block type x 3 + next block type; the stereo mode (0 left/
// right, 1 mid/side) exists only in stereo streams, whose window-type field is one bit wider.
inline constexpr int kWindowShapes = kBlockTypes * kBlockTypes;

// Quantiser constants shared by both sides.
inline constexpr int kGainBits = 8;
inline constexpr float kGainStepDb = 0.5f;
inline constexpr float kGainMinDb = -20.0f;
inline constexpr int kSubGainBits = 4;
inline constexpr float kSubGainStepDb = 3.5f;
inline constexpr float kSubGainMinDb = -42.0f;  // level of index 1; index 0 mutes
inline constexpr int kEnvBits = 3;
inline constexpr float kEnvStepDb = 2.5f;
// The default lowest band correction; each configuration sets its own (envMinDb).
inline constexpr float kEnvMinDb = -10.0f;
inline constexpr float kEnvPrediction = 0.5f;  // weight of the previous envelope when predicting
inline constexpr int kPbBits = 3;
inline constexpr float kNoiseStepDb = 3.0f;
inline constexpr float kNoiseMinDb = -18.0f;     // level of index 1; index 0 switches the band off
inline constexpr float kNoiseDefaultDb = -9.0f;  // used by blocks that carry no noise level
// Noise (relative to the scale) in the coefficients the shape layout leaves uncoded.
inline constexpr float kUncodedFill = 0.5f;
inline constexpr int kPitchBits = 8;
inline constexpr int kPitchGainBits = 4;
inline constexpr int kPitchVectorPairs = 2;
inline constexpr int kPitchShapeBits = 5;
// How fast the mask a sound leaves behind it decays within a frame: 1 dB per this many ms.
inline constexpr double kForwardMaskingMsPerDb = 1.0;
// Stereo ranges with their own left/right or mid/side choice.
inline constexpr int kStereoBands = 4;

// One block type's layout and analysis sizes.
struct BlockLayout {
    int subBlocks = 1;
    int subSize = 0;             // MDCT size of one sub-block
    int codedBins = 0;           // per sub-block, coded by vector quantisation
    int noiseBins = 0;           // per sub-block, highest bin (exclusive) reached by noise filling
    int envBands = 0;            // bark bands per sub-block
    std::vector<int> bandEdges;  // envBands + 1 bin edges within the coded range
    // envBands x envBands: how much of band m's power masks band b (at [b * envBands + m]),
    // for the mask estimate that decides which coefficients the shape vectors code.
    std::vector<float> bandSpread;
    int noiseBands = 0;  // noise bands above the coded range (index_pb fields per sub-block)
    std::vector<int> noiseEdges;  // noiseBands + 1 bin edges
    int subGainCount = 0;
    bool hasPitch = false;
    bool hasPb = false;
    int vectorCount = 0;  // shape vector pairs
    std::vector<int32_t> shape0Bits;
    std::vector<int32_t> shape1Bits;
    // Forward masking within a frame: a sub-block's mask is at least the previous one's times
    // this (1 dB less per millisecond of sub-block; 0: none).
    float forwardMasking = 0.0f;
    // Stereo: the coded range splits into stereoBands ranges (equal on the bark scale), each
    // coded as left/right or mid/side. The window type gives the lowest range's mode; range
    // r > 0 takes the top bit of the 8-bit first-codebook field of vector r - 1, whose
    // codebook is then a 7-bit one (shape0BookBits: the codebook widths).
    int stereoBands = 1;
    std::vector<int> stereoEdges;  // stereoBands + 1 bin edges; the last is subSize
    std::vector<int32_t> shape0BookBits;
    int sideBits = 0;
    int shapeBits = 0;
};

struct StreamConfig {
    int sampleRateHz = 0;
    int rateKhz = 0;
    int channels = 0;
    int bitRateKbps = 0;
    int frameSize = 0;
    int frameBits = 0;
    int windowTypeBits = 4;
    int windowTypes = kWindowShapes;  // valid window types: 0 .. windowTypes - 1
    int lpcOrder = 0;
    // The band corrections' lowest step (envIndex 0).
    float envMinDb = kEnvMinDb;
    int lspBits0 = 1;  // prediction switch
    int lspBits1 = 0;  // first group, finer steps
    int lspBits2 = 0;  // every further group
    int lspSplit = 0;
    int lspFirstGroup = 0;  // LSPs in the lsp1 field
    int lspGroup = 0;       // LSPs in each lsp2 field
    int lspFirstStepBits = 0;
    int lspStepBits = 0;
    std::array<BlockLayout, kBlockTypes> blocks;
    std::vector<int32_t> pitchShape0Bits;
    std::vector<int32_t> pitchShape1Bits;
};

// Builds the configuration for a setup record; false when the combination of sampling rate,
// channel mode and bit rate is not one the codec supports.
bool makeStreamConfig(const HeaderInfo& header, StreamConfig& config);

// What a mask keeps after `samples` of forward masking (0 where the stream uses none).
float forwardMaskingDecay(const StreamConfig& config, int samples);

// Fills the caller's ConfInfo from a configuration.
void fillConfInfo(const StreamConfig& config, ConfInfo& conf);

// The real sampling rate of a rate in kHz as the header stores it (0 when unknown).
int sampleRateFromKhz(int khz);

// Block type of a window type, or -1 when the window type is invalid for the stream.
inline int blockTypeOf(const StreamConfig& c, int windowType) {
    return windowType >= 0 && windowType < c.windowTypes ? windowType % kWindowShapes / kBlockTypes
                                                         : -1;
}
// The next window's block type and the stereo mode of a valid window type.
inline int nextBlockTypeOf(int windowType) {
    return windowType % kBlockTypes;
}
inline bool isMidSide(int windowType) {
    return windowType / kWindowShapes == 1;
}
inline int makeWindowType(int blockType, int nextType, bool midSide) {
    return (midSide ? kWindowShapes : 0) + blockType * kBlockTypes + nextType;
}

}  // namespace tembrel::tvq
