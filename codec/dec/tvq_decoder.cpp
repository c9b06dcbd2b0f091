// The decoder library's entry points over one process-wide decoding state.
#include <cstring>
#include <memory>

#include "codec/core/library_session.h"
#include "codec/dec/frame_decoder.h"
#include "tvq/tvqdec.h"

namespace {

using namespace tembrel::tvq;

using DecoderState = LibrarySession<FrameDecoder>;

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
    state() = DecoderState::open(*setupInfo, *index);
    return state() ? 0 : 1;
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
    state()->vectorInfo(shape0Bits, shape1Bits);
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
    copyShortBlockLayout(state()->config, shapeVectorCount, shape0Bits, shape1Bits);
}

int TvqDecodeFrame(FrameIndex* index, float* samples) {
    if (!state() || index == nullptr || samples == nullptr) {
        return 1;
    }
    state()->coder->decode(*index, samples);
    return 0;
}

void TvqTerminate(FrameIndex* index) {
    state().reset();
    if (index != nullptr) {
        IndexStorage::detach(*index);
    }
}
