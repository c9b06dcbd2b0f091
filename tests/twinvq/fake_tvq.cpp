#include "fake_tvq.h"

#include <algorithm>

#include "tvq/tvqdec.h"
#include "tvq/tvqenc.h"

namespace tembrel::fake {

namespace {

struct Side {
    std::array<std::vector<int32_t>, 4> shape0, shape1;
    int updates = 0;
};

Config gConfig;
Calls gCalls;
Side gEncoder, gDecoder;

void prepareSide(Side& side) {
    side.shape0 = gConfig.shape0;
    side.shape1 = gConfig.shape1;
    side.updates = 0;
    // Room for the widest update, as the library's own arrays would have.
    size_t most = side.shape0[2].size();
    for (const auto& u : gConfig.updates)
        most = std::max(most, size_t(u.count));
    side.shape0[2].resize(most);
    side.shape1[2].resize(most);
}

void tables(Side& side, int32_t* shape0Bits[4], int32_t* shape1Bits[4]) {
    for (int i = 0; i < 4; ++i) {
        shape0Bits[i] = side.shape0[size_t(i)].data();
        shape1Bits[i] = side.shape1[size_t(i)].data();
    }
}

void update(Side& side, int32_t* count, int32_t* shape0Bits, int32_t* shape1Bits) {
    if (gConfig.updates.empty())
        return;
    const ShortBlockUpdate& u = gConfig.updates[size_t(side.updates++) % gConfig.updates.size()];
    *count = u.count;
    std::copy(u.shape0.begin(), u.shape0.end(), shape0Bits);
    std::copy(u.shape1.begin(), u.shape1.end(), shape1Bits);
}

}  // namespace

void install(const Config& config) {
    gConfig = config;
    gCalls = {};
    prepareSide(gEncoder);
    prepareSide(gDecoder);
}

Config& config() {
    return gConfig;
}
Calls& calls() {
    return gCalls;
}

void encoderTables(ConfInfo& conf, VectorInfo& vectors) {
    conf = gConfig.conf;
    tables(gEncoder, vectors.shape0Bits, vectors.shape1Bits);
}

}  // namespace tembrel::fake

using namespace tembrel::fake;

void TvqEncUpdateVectorInfo(int, int32_t* shapeVectorCount, int32_t* shape0Bits,
                            int32_t* shape1Bits) {
    ++gCalls.encoderUpdates;
    update(gEncoder, shapeVectorCount, shape0Bits, shape1Bits);
}

int TvqCheckVersion(const char* id) {
    ++gCalls.checkVersion;
    return gConfig.acceptedId == id ? 0 : -1;
}

void TvqGetConfInfo(ConfInfo* conf) {
    *conf = gConfig.conf;
}

void TvqGetVectorInfo(int32_t* shape0Bits[4], int32_t* shape1Bits[4]) {
    tables(gDecoder, shape0Bits, shape1Bits);
}

int TvqGetNumFixedBitsPerFrame() {
    if (gConfig.fixedBitsQueue.empty())
        return gConfig.fixedBits;
    const int bits = gConfig.fixedBitsQueue.front();
    gConfig.fixedBitsQueue.pop_front();
    return bits;
}

int TvqWtypeToBtype(int windowType, int* blockType) {
    if (windowType < 0 || windowType > gConfig.maxWindowType)
        return 1;
    *blockType = windowType % 3;
    return 0;
}

void TvqUpdateVectorInfo(int, int32_t* shapeVectorCount, int32_t* shape0Bits, int32_t* shape1Bits) {
    ++gCalls.decoderUpdates;
    update(gDecoder, shapeVectorCount, shape0Bits, shape1Bits);
}
