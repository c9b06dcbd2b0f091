// Decoder library. One decoding state per process: one VQF stream is decoded at a time.
// Calling order: TvqCheckVersion, TvqInitialize, TvqCheckVersion, TvqGetConfInfo,
// TvqGetVectorInfo, the frame-size queries, then per frame TvqWtypeToBtype (and
// TvqUpdateVectorInfo for short blocks) while reading and TvqDecodeFrame, and
// TvqTerminate at the end.
#pragma once

#include "tvq/tvq_records.h"

// -1 when the version id is not accepted.
int TvqCheckVersion(const char* id);
// 0 when the header describes a stream this library can decode.
int TvqInitialize(HeaderInfo* setupInfo, FrameIndex* index, int showErrors);
void TvqGetConfInfo(ConfInfo* conf);
void TvqGetVectorInfo(int32_t* shape0Bits[4], int32_t* shape1Bits[4]);
int TvqGetFrameSize();
int TvqGetNumChannels();
float TvqGetSamplingRate();
// Length of every frame of the stream, in bits.
int TvqGetNumFixedBitsPerFrame();
// Non-zero when `windowType` is not a valid window type.
int TvqWtypeToBtype(int windowType, int* blockType);
void TvqUpdateVectorInfo(int variableBits, int32_t* shapeVectorCount, int32_t* shape0Bits,
                         int32_t* shape1Bits);
// `samples` receives channels x frame size floats, channel-major, 16-bit scale.
int TvqDecodeFrame(FrameIndex* index, float* samples);
void TvqTerminate(FrameIndex* index);
