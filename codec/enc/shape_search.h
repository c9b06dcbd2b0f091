// Weighted search of the conjugate shape codebooks: a few candidates per codebook are
// preselected by a cheap distance, then every pair of candidates is tried exactly.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/core/stream_config.h"

namespace tembrel::tvq {

// target/weight: the frame's interleaved coefficients (codedCount values) and their weights.
// Writes 2 * vectorCount indices (shape0 fields, then shape1 fields) and the reconstruction.
void searchShapes(const StreamConfig& config, int blockType, const std::vector<float>& target,
                  const std::vector<float>& weight, int32_t* shapeIndex,
                  std::vector<float>& reconstruction);

}  // namespace tembrel::tvq
