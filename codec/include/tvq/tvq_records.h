// Records shared by the encoder library (tvqenc), the decoder library (tvqdec) and the
// code that calls them. Field order is the libraries' contract with their callers.
#pragma once

#include <cstdint>

inline constexpr int kTvqTextSize = 512;
inline constexpr int kTvqIdSize = 16;
// The only version id the VQF header format knows.
inline constexpr char kTvqVersionId[] = "TWIN97012000";

// Setup record: filled by the caller from the source (encoding) or from a file
// header (decoding), read by the library.
struct HeaderInfo {
    char id[kTvqIdSize];
    int32_t size;          // not used by the callers; always 0
    int32_t channelMode;   // channels - 1
    int32_t bitRate;       // kbit/s
    int32_t samplingRate;  // kHz: 8, 11, 16, 22 or 44
    int32_t securityLevel;
    char name[kTvqTextSize];
    char comment[kTvqTextSize];
    char author[kTvqTextSize];
    char copyright[kTvqTextSize];
    char file[kTvqTextSize];
    char extra[kTvqTextSize];
    char track[kTvqTextSize];
    char year[kTvqTextSize];
    int32_t dataSize;
};
static_assert(sizeof(HeaderInfo) == 4136);

struct EncoderOptions {
    int32_t value;  // the caller always passes 32
};

// Layout of one block type (0 long, 1 middle, 2 short).
struct BlockConf {
    int32_t reserved0;
    int32_t subBlocks;         // sub-blocks per channel
    int32_t shapeVectorCount;  // number of shape field pairs
    int32_t pbEnd;
    int32_t envCoefCount;  // envelope fields per sub-block
    int32_t envBits;       // width of each envelope field
    int32_t subGainCount;  // sub-block power fields per channel (0: none)
    int32_t hasPitch;      // non-zero: the frame has the pitch part
    int32_t hasPb;         // non-zero: the frame has the index_pb part
    int32_t pbStart;
    int32_t pbBits;
    int32_t reserved[4];
};
static_assert(sizeof(BlockConf) == 15 * 4);

// Field widths and counts of the frame layout, fixed for one stream configuration.
struct ConfInfo {
    int32_t numChannels;
    int32_t windowTypeBits;
    int32_t lspBits0;
    int32_t lspBits1;
    int32_t lspBits2;
    int32_t lspSplit;
    int32_t arSwitchBits;
    int32_t gainBits;
    int32_t subGainBits;
    int32_t pitchVectorCount;
    int32_t pitchBits;
    int32_t pitchGainBits;
    BlockConf blocks[3];
};

// Width tables of the shape fields: entries 0-2 per block type (one width per field
// pair), entry 3 for the pitch codebook fields. The arrays belong to the library.
struct VectorInfo {
    int32_t* shape0Bits[4];
    int32_t* shape1Bits[4];
};

// Parameters of one frame. The arrays belong to the library; the callers read and
// write through the pointers.
struct FrameIndex {
    int32_t windowType;
    int32_t blockType;  // 0 long, 1 middle, 2 short
    int32_t reserved[6];
    int32_t* shapeIndex;   // 2 * shapeVectorCount: shape0 fields, then shape1 fields
    int32_t* envIndex;     // channels * subBlocks * envCoefCount
    int32_t* arIndex;      // channels * subBlocks
    int32_t* powerIndex;   // channels * (subGainCount + 1)
    int32_t* lspIndex[2];  // per channel: lsp0, lsp1, then lspSplit lsp2 fields
    int32_t pitchIndex[2];
    int32_t* pitchShapeIndex;  // 2 * pitchVectorCount
    int32_t pitchGainIndex[2];
    int32_t* pbIndex[2];  // per channel: subBlocks * (pbEnd - pbStart)
    int32_t reserved22;
};
