// The arrays behind a FrameIndex's pointers, sized for the largest block type of a stream.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/core/stream_config.h"

namespace tembrel::tvq {

class IndexStorage {
  public:
    // Sizes the arrays for `config`, zeroes them and points `index` at them.
    void attach(const StreamConfig& config, FrameIndex& index);
    // Points every array of `index` away from this storage (at nothing).
    static void detach(FrameIndex& index);

  private:
    std::vector<int32_t> shape_, env_, ar_, power_, lsp_[kMaxChannels], pitchShape_,
        pb_[kMaxChannels];
};

// Width tables a VectorInfo points at.
struct WidthTables {
    std::vector<int32_t> shape0[4];
    std::vector<int32_t> shape1[4];
    void fill(const StreamConfig& config);
};

}  // namespace tembrel::tvq
