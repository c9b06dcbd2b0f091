// The periodic component of long blocks: per channel a fundamental and a gain, and two vectors
// (each the sum of one entry from each pitch codebook) that hold the signed amplitudes of the
// harmonic peaks. The component is added to the flattened spectrum before it is scaled, so the
// shape vectors only code what the harmonics leave over.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "codec/core/codebooks.h"
#include "codec/core/stream_config.h"

namespace tembrel::tvq {

// Harmonic peaks per frame over all channels: one per pitch vector component.
inline constexpr int kPitchElements = kPitchVectorPairs * kPitchCodebookDim;
// Fundamentals step logarithmically from kPitchLowHz to kPitchHighHz over the pitch index.
inline constexpr float kPitchLowHz = 40.0f;
inline constexpr float kPitchHighHz = 1000.0f;

// Harmonics coded per channel.
inline int pitchHarmonics(const StreamConfig& c) {
    return kPitchElements / c.channels;
}

// Fundamental of a pitch index, in bins of the block type's transform (at least one bin, so
// that no two harmonics share a bin).
float pitchFundamental(const StreamConfig& c, int blockType, int32_t pitchIndex);

// Bin of harmonic h (0 for the fundamental): bin k covers the frequencies around k + 1/2.
inline int harmonicBin(float fundamental, int h) {
    return static_cast<int>(std::lround((h + 1) * fundamental - 0.5f));
}

// Which pitch vector and which component of it carry harmonic h of channel ch. Harmonics
// alternate between the two vectors, and in stereo the channels alternate too, so that each
// vector mixes both channels and low and high harmonics.
struct PitchSlot {
    int vector;
    int component;
};
inline PitchSlot pitchSlot(int channels, int channel, int h) {
    return {(h + channel) % kPitchVectorPairs, (h * channels + channel) / kPitchVectorPairs};
}

// Gain of the component (0 for index 0: the channel has none in this frame), and the nearest
// non-zero index to a gain.
float pitchGainOf(int32_t index);
int32_t pitchGainIndex(float gain);

// The two decoded pitch vectors, kPitchVectorPairs x kPitchCodebookDim values.
void decodePitchVectors(const StreamConfig& c, const int32_t* pitchShapeIndex, float* vectors);

// Adds the decoded component of every channel to the interleaved coefficients (codedCount
// values) of a block type that carries the pitch part; any field values are accepted.
void addPitchComponent(const StreamConfig& c, int blockType, const FrameIndex& index,
                       std::vector<float>& coefs);

}  // namespace tembrel::tvq
