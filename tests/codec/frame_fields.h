// Walks the fields of one frame in stream order, with their widths, the way the frame writer
// and reader do; the tests use it to check widths and values and to carry a FrameIndex from
// the encoder to the decoder through a bit string.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tvq/tvq_records.h"

namespace tembrel::test {

// Calls visit(width, value) for every field of the frame in `index`; `value` refers into the
// index, so a visitor can read or write it. `updateShort` is the library's vector-info update,
// called for short blocks before the shape fields as the writer and reader do.
inline void forEachField(ConfInfo& conf, VectorInfo& widths, FrameIndex& index,
                         void (*updateShort)(int, int32_t*, int32_t*, int32_t*),
                         const std::function<void(int, int32_t&)>& visit) {
    visit(conf.windowTypeBits, index.windowType);
    const int type = index.blockType;
    BlockConf& c = conf.blocks[type];
    if (type == 2) {
        updateShort(0, &c.shapeVectorCount, widths.shape0Bits[2], widths.shape1Bits[2]);
    }
    for (int i = 0; i < c.shapeVectorCount; ++i) {
        visit(widths.shape0Bits[type][i], index.shapeIndex[i]);
        visit(widths.shape1Bits[type][i], index.shapeIndex[c.shapeVectorCount + i]);
    }
    const int channels = conf.numChannels;
    for (int ch = 0; ch < channels; ++ch) {
        for (int sb = 0; sb < c.subBlocks; ++sb) {
            for (int k = 0; k < c.envCoefCount; ++k) {
                visit(c.envBits, index.envIndex[(ch * c.subBlocks + sb) * c.envCoefCount + k]);
            }
        }
    }
    for (int ch = 0; ch < channels; ++ch) {
        for (int sb = 0; sb < c.subBlocks; ++sb) {
            visit(conf.arSwitchBits, index.arIndex[ch * c.subBlocks + sb]);
        }
    }
    for (int ch = 0; ch < channels; ++ch) {
        const int base = ch * (c.subGainCount + 1);
        visit(conf.gainBits, index.powerIndex[base]);
        for (int j = 0; j < c.subGainCount; ++j) {
            visit(conf.subGainBits, index.powerIndex[base + 1 + j]);
        }
    }
    for (int ch = 0; ch < channels; ++ch) {
        visit(conf.lspBits0, index.lspIndex[ch][0]);
        visit(conf.lspBits1, index.lspIndex[ch][1]);
        for (int j = 0; j < conf.lspSplit; ++j) {
            visit(conf.lspBits2, index.lspIndex[ch][2 + j]);
        }
    }
    if (c.hasPitch) {
        for (int i = 0; i < conf.pitchVectorCount; ++i) {
            visit(widths.shape0Bits[3][i], index.pitchShapeIndex[i]);
            visit(widths.shape1Bits[3][i], index.pitchShapeIndex[conf.pitchVectorCount + i]);
        }
        for (int ch = 0; ch < channels; ++ch) {
            visit(conf.pitchBits, index.pitchIndex[ch]);
            visit(conf.pitchGainBits, index.pitchGainIndex[ch]);
        }
    }
    if (c.hasPb) {
        for (int ch = 0; ch < channels; ++ch) {
            for (int sb = 0; sb < c.subBlocks; ++sb) {
                for (int k = c.pbStart; k < c.pbEnd; ++k) {
                    visit(c.pbBits, index.pbIndex[ch][sb * (c.pbEnd - c.pbStart) + k - c.pbStart]);
                }
            }
        }
    }
}

// A most-significant-bit-first bit string.
class Bits {
  public:
    void put(int width, uint32_t value) {
        for (int b = width - 1; b >= 0; --b) {
            bits_.push_back(((value >> b) & 1u) != 0);
        }
    }
    uint32_t get(int width) {
        uint32_t v = 0;
        for (int b = 0; b < width; ++b) {
            v = (v << 1) | (pos_ < bits_.size() && bits_[pos_] ? 1u : 0u);
            ++pos_;
        }
        return v;
    }
    size_t size() const { return bits_.size(); }
    size_t position() const { return pos_; }

  private:
    std::vector<bool> bits_;
    size_t pos_ = 0;
};

}  // namespace tembrel::test
