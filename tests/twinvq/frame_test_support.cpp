#include "frame_test_support.h"

#include <algorithm>

namespace tembrel::test {

FrameStore::FrameStore(int channels, int32_t fill) {
    for (auto* v : {&shape, &env, &ar, &power, &pitchShape})
        v->assign(64, fill);
    for (int ch = 0; ch < channels; ++ch) {
        lsp[size_t(ch)].assign(64, fill);
        pb[size_t(ch)].assign(64, fill);
        index.lspIndex[ch] = lsp[size_t(ch)].data();
        index.pbIndex[ch] = pb[size_t(ch)].data();
    }
    index.shapeIndex = shape.data();
    index.envIndex = env.data();
    index.arIndex = ar.data();
    index.powerIndex = power.data();
    index.pitchShapeIndex = pitchShape.data();
    index.windowType = index.blockType = index.pitchIndex[0] = index.pitchIndex[1] = fill;
    index.pitchGainIndex[0] = index.pitchGainIndex[1] = fill;
}

ShapeLayout shapeLayout(const fake::Config& config, int blockType, int shortFrame) {
    ShapeLayout s;
    if (blockType == 2 && !config.updates.empty()) {
        const auto& u = config.updates[size_t(shortFrame) % config.updates.size()];
        s.count = u.count;
        s.shape0 = u.shape0;
        s.shape1 = u.shape1;
    } else {
        s.count = config.conf.blocks[blockType].shapeVectorCount;
        s.shape0 = config.shape0[size_t(blockType)];
        s.shape1 = config.shape1[size_t(blockType)];
    }
    return s;
}

int frameBits(const fake::Config& config, int blockType, const ShapeLayout& shape) {
    const ConfInfo& c = config.conf;
    const BlockConf& b = c.blocks[blockType];
    const int ch = c.numChannels;
    int bits = c.windowTypeBits;
    for (int i = 0; i < shape.count; ++i)
        bits += shape.shape0[size_t(i)] + shape.shape1[size_t(i)];
    bits += ch * b.subBlocks * (b.envCoefCount * b.envBits + c.arSwitchBits);
    bits += ch * (c.gainBits + b.subGainCount * c.subGainBits);
    bits += ch * (c.lspBits0 + c.lspBits1 + c.lspSplit * c.lspBits2);
    if (b.hasPitch) {
        for (int i = 0; i < c.pitchVectorCount; ++i)
            bits += config.shape0[3][size_t(i)] + config.shape1[3][size_t(i)];
        bits += ch * (c.pitchBits + c.pitchGainBits);
    }
    if (b.hasPb)
        bits += ch * b.subBlocks * (b.pbEnd - b.pbStart) * b.pbBits;
    return bits;
}

}  // namespace tembrel::test
