// The decoder library's entry points over one process-wide decoding state.
#include <cstring>
#include <memory>

#include "codec/core/index_storage.h"
#include "codec/core/stream_config.h"
#include "codec/dec/frame_decoder.h"
#include "tvq/tvqdec.h"

namespace {

using namespace tembrel::tvq;

struct DecoderState {
    StreamConfig config;
    IndexStorage storage;
    WidthTables widths;
    std::unique_ptr<FrameDecoder> decoder;
};

std::unique_ptr<DecoderState>& state() {
    static std::unique_ptr<DecoderState> s;
    return s;
}

bool sameId(const char* id) {
    return id != nullptr && std::strncmp(id, kTvqVersionId, sizeof kTvqVersionId) == 0;
}

}  // namespace

int TvqCheckVersion(const char* id) {
    return sameId(id) ? 0 : -1;
}

int TvqInitialize(HeaderInfo* setupInfo, FrameIndex* index, int /*showErrors*/) {
    state().reset();
    if (setupInfo == nullptr || index == nullptr || !sameId(setupInfo->id)) {
        return 1;
    }
    auto s = std::make_unique<DecoderState>();
    if (!makeStreamConfig(*setupInfo, s->config)) {
        return 1;
    }
    s->widths.fill(s->config);
    s->storage.attach(s->config, *index);
    s->decoder = std::make_unique<FrameDecoder>(s->config);
    state() = std::move(s);
    return 0;
}

void TvqGetConfInfo(ConfInfo* conf) {
    if (state() && conf != nullptr) {
        fillConfInfo(state()->config, *conf);
    }
}

void TvqGetVectorInfo(int32_t* shape0Bits[4], int32_t* shape1Bits[4]) {
    if (!state()) {
        return;
    }
    for (int i = 0; i < 4; ++i) {
        shape0Bits[i] = state()->widths.shape0[i].data();
        shape1Bits[i] = state()->widths.shape1[i].data();
    }
}

int TvqGetFrameSize() {
    return state() ? state()->config.frameSize : 0;
}
int TvqGetNumChannels() {
    return state() ? state()->config.channels : 0;
}
float TvqGetSamplingRate() {
    return state() ? static_cast<float>(state()->config.sampleRateHz) : 0.0f;
}
int TvqGetNumFixedBitsPerFrame() {
    return state() ? state()->config.frameBits : 0;
}

int TvqWtypeToBtype(int windowType, int* blockType) {
    if (!state()) {
        return 1;
    }
    const int type = blockTypeOf(state()->config, windowType);
    if (type < 0) {
        return 1;
    }
    if (blockType != nullptr) {
        *blockType = type;
    }
    return 0;
}

// Short blocks keep the layout announced at initialisation; the caller's copies are
// refreshed from it so that they always match what the frame holds.
void TvqUpdateVectorInfo(int /*variableBits*/, int32_t* shapeVectorCount, int32_t* shape0Bits,
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

int TvqDecodeFrame(FrameIndex* index, float* samples) {
    if (!state() || index == nullptr || samples == nullptr) {
        return 1;
    }
    state()->decoder->decode(*index, samples);
    return 0;
}

void TvqTerminate(FrameIndex* index) {
    state().reset();
    if (index != nullptr) {
        IndexStorage::detach(*index);
    }
}
