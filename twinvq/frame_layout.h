// The order and widths of the fields of one VQF frame after its window type, walked
// once for the writer and once for the reader so that the two cannot drift apart.
#pragma once

#include <algorithm>
#include <cstdint>

#include "tvq/tvq_records.h"

namespace tembrel {

enum class FrameField {
    Shape0,
    Shape1,
    Envelope,
    ArSwitch,
    MainPower,
    SubPower,
    Lsp0,
    Lsp1,
    Lsp2,
    PitchShape0,
    PitchShape1,
    Pitch,
    PitchGain,
    Pb,
};

// Which field a value is, and where it stands, for diagnostics.
struct FieldPlace {
    FrameField field;
    int index = 0;  // pair number of a shape field, j of a power or lsp2 field
    int ch = 0;
    int sb = 0;
    int k = 0;
};

// Channels the frame carries: the frame index has room for two.
inline int frameChannels(const ConfInfo& conf) {
    return std::clamp(conf.numChannels, 0, 2);
}

// True when the tables and arrays a frame of `blockType` needs are all there.
inline bool frameLayoutUsable(const ConfInfo& conf, const VectorInfo& vectors,
                              const FrameIndex& index, int blockType) {
    if (blockType < 0 || blockType > 2)
        return false;
    const BlockConf& c = conf.blocks[blockType];
    if (c.shapeVectorCount > 0 &&
        (!vectors.shape0Bits[blockType] || !vectors.shape1Bits[blockType] || !index.shapeIndex))
        return false;
    const int channels = frameChannels(conf);
    if (channels == 0)
        return true;
    if (!index.envIndex || !index.arIndex || !index.powerIndex)
        return false;
    for (int ch = 0; ch < channels; ++ch) {
        if (!index.lspIndex[ch])
            return false;
        if (c.hasPb && !index.pbIndex[ch])
            return false;
    }
    if (c.hasPitch && conf.pitchVectorCount > 0 &&
        (!vectors.shape0Bits[3] || !vectors.shape1Bits[3] || !index.pitchShapeIndex))
        return false;
    return true;
}

// Calls visit(int32_t& value, int width, const FieldPlace&) for every field after the
// window type, in stream order. `index.blockType` must be 0..2 and the layout usable.
template <class Visit>
void walkFrameFields(const ConfInfo& conf, const VectorInfo& vectors, FrameIndex& index,
                     Visit&& visit) {
    const int bt = index.blockType;
    const BlockConf& c = conf.blocks[bt];
    const int channels = frameChannels(conf);

    // Shape pairs: the shape0 and shape1 halves interleave pair by pair.
    const int count = c.shapeVectorCount;
    for (int i = 0; i < count; ++i) {
        visit(index.shapeIndex[i], vectors.shape0Bits[bt][i], FieldPlace{FrameField::Shape0, i});
        visit(index.shapeIndex[count + i], vectors.shape1Bits[bt][i],
              FieldPlace{FrameField::Shape1, i});
    }
    // Envelope of every channel before the first AR switch.
    for (int ch = 0; ch < channels; ++ch)
        for (int sb = 0; sb < c.subBlocks; ++sb)
            for (int k = 0; k < c.envCoefCount; ++k)
                visit(index.envIndex[(ch * c.subBlocks + sb) * c.envCoefCount + k], c.envBits,
                      FieldPlace{FrameField::Envelope, 0, ch, sb, k});
    for (int ch = 0; ch < channels; ++ch)
        for (int sb = 0; sb < c.subBlocks; ++sb)
            visit(index.arIndex[ch * c.subBlocks + sb], conf.arSwitchBits,
                  FieldPlace{FrameField::ArSwitch, 0, ch, sb});
    for (int ch = 0; ch < channels; ++ch) {
        const int base = ch * (c.subGainCount + 1);
        visit(index.powerIndex[base], conf.gainBits, FieldPlace{FrameField::MainPower, 0, ch});
        for (int j = 0; j < c.subGainCount; ++j)
            visit(index.powerIndex[base + 1 + j], conf.subGainBits,
                  FieldPlace{FrameField::SubPower, j, ch});
    }
    for (int ch = 0; ch < channels; ++ch) {
        visit(index.lspIndex[ch][0], conf.lspBits0, FieldPlace{FrameField::Lsp0, 0, ch});
        visit(index.lspIndex[ch][1], conf.lspBits1, FieldPlace{FrameField::Lsp1, 0, ch});
        for (int j = 0; j < conf.lspSplit; ++j)
            visit(index.lspIndex[ch][2 + j], conf.lspBits2, FieldPlace{FrameField::Lsp2, j, ch});
    }
    if (c.hasPitch) {
        const int pitchCount = conf.pitchVectorCount;
        for (int i = 0; i < pitchCount; ++i) {
            visit(index.pitchShapeIndex[i], vectors.shape0Bits[3][i],
                  FieldPlace{FrameField::PitchShape0, i});
            visit(index.pitchShapeIndex[pitchCount + i], vectors.shape1Bits[3][i],
                  FieldPlace{FrameField::PitchShape1, i});
        }
        for (int ch = 0; ch < channels; ++ch) {
            visit(index.pitchIndex[ch], conf.pitchBits, FieldPlace{FrameField::Pitch, 0, ch});
            visit(index.pitchGainIndex[ch], conf.pitchGainBits,
                  FieldPlace{FrameField::PitchGain, 0, ch});
        }
    }
    if (c.hasPb) {
        const int span = c.pbEnd - c.pbStart;
        for (int ch = 0; ch < channels; ++ch)
            for (int sb = 0; sb < c.subBlocks; ++sb)
                for (int k = c.pbStart; k < c.pbEnd; ++k)
                    visit(index.pbIndex[ch][sb * span + (k - c.pbStart)], c.pbBits,
                          FieldPlace{FrameField::Pb, 0, ch, sb, k});
    }
}

}  // namespace tembrel
