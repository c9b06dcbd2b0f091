// The encoder library's entry points over one process-wide encoding state.
#include <cstring>
#include <memory>

#include "codec/core/index_storage.h"
#include "codec/core/stream_config.h"
#include "codec/enc/frame_encoder.h"
#include "tvq/tvqenc.h"

namespace {

using namespace tembrel::tvq;

struct EncoderState {
    StreamConfig config;
    IndexStorage storage;
    WidthTables widths;
    std::unique_ptr<FrameEncoder> encoder;
};

std::unique_ptr<EncoderState>& state() {
    static std::unique_ptr<EncoderState> s;
    return s;
}

}  // namespace

int TvqGetVersionID(int /*versionNumber*/, char* id) {
    if (id != nullptr) {
        std::memcpy(id, kTvqVersionId, sizeof kTvqVersionId);
    }
    return 0;
}

int TvqEncInitialize(HeaderInfo* setupInfo, EncoderOptions* /*options*/, FrameIndex* index,
                     int /*showErrors*/) {
    state().reset();
    if (setupInfo == nullptr || index == nullptr) {
        return 1;
    }
    auto s = std::make_unique<EncoderState>();
    if (!makeStreamConfig(*setupInfo, s->config)) {
        return 1;
    }
    s->widths.fill(s->config);
    s->storage.attach(s->config, *index);
    s->encoder = std::make_unique<FrameEncoder>(s->config);
    state() = std::move(s);
    return 0;
}

void TvqEncGetConfInfo(ConfInfo* conf) {
    if (state() && conf != nullptr) {
        fillConfInfo(state()->config, *conf);
    }
}

void TvqEncGetVectorInfo(int32_t* shape0Bits[4], int32_t* shape1Bits[4]) {
    if (!state()) {
        return;
    }
    for (int i = 0; i < 4; ++i) {
        shape0Bits[i] = state()->widths.shape0[i].data();
        shape1Bits[i] = state()->widths.shape1[i].data();
    }
}

int TvqEncGetFrameSize() {
    return state() ? state()->config.frameSize : 0;
}
int TvqEncGetNumChannels() {
    return state() ? state()->config.channels : 0;
}

int TvqEncodeFrame(const float* samples, FrameIndex* index) {
    if (!state() || samples == nullptr || index == nullptr) {
        return 1;
    }
    state()->encoder->encode(samples, *index);
    return 0;
}

// Short blocks keep the layout announced at initialisation (the decoder's update mirrors
// this exactly).
void TvqEncUpdateVectorInfo(int /*variableBits*/, int32_t* shapeVectorCount, int32_t* shape0Bits,
                            int32_t* shape1Bits) {
    if (!state()) {
        return;
    }
    const BlockLayout& b = state()->config.blocks[2];
    if (shapeVectorCount != nullptr) {
        *shapeVectorCount = b.vectorCount;
    }
    for (int i = 0; i < b.vectorCount; ++i) {
        if (shape0Bits != nullptr) {
            shape0Bits[i] = b.shape0Bits[i];
        }
        if (shape1Bits != nullptr) {
            shape1Bits[i] = b.shape1Bits[i];
        }
    }
}

void TvqEncTerminate(FrameIndex* index) {
    state().reset();
    if (index != nullptr) {
        IndexStorage::detach(*index);
    }
}
