// Weighted search of the conjugate shape codebooks: a few candidates per codebook are
// preselected by a cheap distance, then every pair of candidates is tried exactly.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/core/frame_model.h"

namespace tembrel::tvq {

// target/weight: the frame's coefficients (codedCount values) and their weights; `layout`
// says which of them each vector codes. Writes 2 * vectorCount indices (shape0 fields, then
// shape1 fields) and the reconstruction (zero where the layout codes nothing).
void searchShapes(const StreamConfig& config, int blockType, const ShapeLayout& layout,
                  const std::vector<float>& target, const std::vector<float>& weight,
                  int32_t* shapeIndex, std::vector<float>& reconstruction);

}  // namespace tembrel::tvq
