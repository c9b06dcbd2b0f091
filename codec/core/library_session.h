// What the encoder and the decoder library each keep for their one open stream: the
// configuration, the arrays the caller's FrameIndex points into, the width tables a
// VectorInfo points at, and the coder itself. Both libraries answer the configuration
// queries from it in the same way.
#pragma once

#include <memory>

#include "codec/core/index_storage.h"
#include "codec/core/stream_config.h"

namespace tembrel::tvq {

template <class Coder>
struct LibrarySession {
    StreamConfig config;
    IndexStorage storage;
    WidthTables widths;
    std::unique_ptr<Coder> coder;

    // A session for the stream `setup` describes, with `index` pointed at its arrays;
    // nullptr when the configuration is not one the format knows.
    static std::unique_ptr<LibrarySession> open(const HeaderInfo& setup, FrameIndex& index) {
        auto s = std::make_unique<LibrarySession>();
        if (!makeStreamConfig(setup, s->config))
            return nullptr;
        s->widths.fill(s->config);
        s->storage.attach(s->config, index);
        s->coder = std::make_unique<Coder>(s->config);
        return s;
    }

    void vectorInfo(int32_t* shape0Bits[4], int32_t* shape1Bits[4]) {
        for (int i = 0; i < 4; ++i) {
            shape0Bits[i] = widths.shape0[i].data();
            shape1Bits[i] = widths.shape1[i].data();
        }
    }
};

// Short blocks keep the layout announced at initialisation; the caller's count and width
// copies are refreshed from it, identically on both sides, so that they always match what
// the frame holds. Null pointers are left alone.
inline void copyShortBlockLayout(const StreamConfig& config, int32_t* shapeVectorCount,
                                 int32_t* shape0Bits, int32_t* shape1Bits) {
    const BlockLayout& b = config.blocks[2];
    if (shapeVectorCount != nullptr)
        *shapeVectorCount = b.vectorCount;
    for (int i = 0; i < b.vectorCount; ++i) {
        if (shape0Bits != nullptr)
            shape0Bits[i] = b.shape0Bits[i];
        if (shape1Bits != nullptr)
            shape1Bits[i] = b.shape1Bits[i];
    }
}

}  // namespace tembrel::tvq
