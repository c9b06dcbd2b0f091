// Scalar quantisers of the frame parameters, shared by both sides so that the encoder's
// closed loop sees exactly what the decoder will rebuild. Every decoder accepts any index.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/core/stream_config.h"

namespace tembrel::tvq {

// Keeps the low `bits` bits: the value a field of that width can carry.
inline int32_t fieldValue(int32_t value, int bits) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) & ((1u << bits) - 1u));
}

float dbToAmplitude(float db);
float amplitudeToDb(float amplitude);

// Main gain (amplitude) of an index, and the index nearest to an amplitude.
float gainOf(int32_t index);
int32_t gainIndex(float amplitude);
// Sub-block gain relative to the main gain (0 for index 0: the sub-block is silent).
float subGainOf(int32_t index);
int32_t subGainIndex(float ratio);
// Envelope correction in dB of an index, given the prediction (0 when not predicted).
float envDbOf(int32_t index, float predictionDb, float minDb);
int32_t envIndex(float db, float predictionDb, float minDb);
// Noise band level relative to the envelope (0 for index 0: band off).
float noiseLevelOf(int32_t index);
int32_t noiseIndex(float level);

// LSP fields of one channel: [0] prediction switch, [1] first group, [2..] further groups.
// Decoding always yields a stable, ordered set.
void decodeLsp(const StreamConfig& config, const int32_t* fields,
               const std::vector<double>& previous, std::vector<double>& lsp);
// Chooses the fields whose decoded set is nearest `target`; `lsp` receives that decoded set.
void encodeLsp(const StreamConfig& config, const std::vector<double>& target,
               const std::vector<double>& previous, int32_t* fields, std::vector<double>& lsp);

}  // namespace tembrel::tvq
