// Encoder library. One encoding state per process: one file is encoded at a time.
// Calling order: TvqGetVersionID, TvqEncInitialize, TvqEncGetConfInfo,
// TvqEncGetVectorInfo, TvqEncGetFrameSize/TvqEncGetNumChannels, then per frame
// TvqEncodeFrame (and TvqEncUpdateVectorInfo while writing a short-block frame),
// and TvqEncTerminate once for each successful TvqEncInitialize.
#pragma once

#include "tvq/tvq_records.h"

// Writes the version id text (12 characters and a NUL) into `id`.
int TvqGetVersionID(int versionNumber, char* id);
// 0 when the configuration in `setupInfo` is supported and the state is ready.
int TvqEncInitialize(HeaderInfo* setupInfo, EncoderOptions* options, FrameIndex* index,
                     int showErrors);
void TvqEncGetConfInfo(ConfInfo* conf);
void TvqEncGetVectorInfo(int32_t* shape0Bits[4], int32_t* shape1Bits[4]);
int TvqEncGetFrameSize();
int TvqEncGetNumChannels();
// `samples`: channels x frame size floats, channel 0's block first, 16-bit scale.
int TvqEncodeFrame(const float* samples, FrameIndex* index);
void TvqEncUpdateVectorInfo(int variableBits, int32_t* shapeVectorCount, int32_t* shape0Bits,
                            int32_t* shape1Bits);
void TvqEncTerminate(FrameIndex* index);
