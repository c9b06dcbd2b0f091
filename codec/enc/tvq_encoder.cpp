// The encoder library's entry points over one process-wide encoding state.
#include <cstring>
#include <memory>

#include "codec/core/library_session.h"
#include "codec/enc/frame_encoder.h"
#include "tvq/tvqenc.h"

namespace {

using namespace tembrel::tvq;

using EncoderState = LibrarySession<FrameEncoder>;

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
    state() = EncoderState::open(*setupInfo, *index);
    return state() ? 0 : 1;
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
    state()->vectorInfo(shape0Bits, shape1Bits);
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
    state()->coder->encode(samples, *index);
    return 0;
}

// Short blocks keep the layout announced at initialisation (the decoder's update mirrors
// this exactly).
void TvqEncUpdateVectorInfo(int /*variableBits*/, int32_t* shapeVectorCount, int32_t* shape0Bits,
                            int32_t* shape1Bits) {
    if (!state()) {
        return;
    }
    copyShortBlockLayout(state()->config, shapeVectorCount, shape0Bits, shape1Bits);
}

void TvqEncTerminate(FrameIndex* index) {
    state().reset();
    if (index != nullptr) {
        IndexStorage::detach(*index);
    }
}
