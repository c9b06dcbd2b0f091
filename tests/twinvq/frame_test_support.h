// Frame records with their own storage, and the frame-layout facts the frame tests
// check against, stated independently of the code under test.
#pragma once

#include <array>
#include <vector>

#include "fake_tvq.h"
#include "tvq/tvq_records.h"

namespace tembrel::test {

// A FrameIndex whose arrays live here. Mono frames have no second-channel arrays, so
// that touching them would crash.
class FrameStore {
  public:
    FrameStore(int channels, int32_t fill);
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    FrameIndex index{};
    std::vector<int32_t> shape, env, ar, power, pitchShape;
    std::array<std::vector<int32_t>, 2> lsp, pb;
};

// The shape part of one frame: the count and widths in force for it.
struct ShapeLayout {
    int count = 0;
    std::vector<int32_t> shape0, shape1;
};

// For block type 2 the `shortFrame`-th update applies, if the config has updates.
ShapeLayout shapeLayout(const fake::Config& config, int blockType, int shortFrame);

// Bits in one frame: the sum of its field widths.
int frameBits(const fake::Config& config, int blockType, const ShapeLayout& shape);

}  // namespace tembrel::test
