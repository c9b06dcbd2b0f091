#include "codec/core/frame_model.h"

#include <algorithm>

#include "codec/core/codebooks.h"
#include "codec/core/lpc.h"
#include "codec/core/quantisers.h"

namespace tembrel::tvq {

void resetMemory(const StreamConfig& config, ChannelMemory& memory) {
    flatLsp(config.lpcOrder, memory.lsp);
    memory.envBlockType = -1;
    memory.envDb.clear();
}

void setBandAmplitudes(ChannelModel& model) {
    model.bandAmp.resize(model.bandDb.size());
    for (size_t i = 0; i < model.bandDb.size(); ++i) {
        model.bandAmp[i] = dbToAmplitude(model.bandDb[i]);
    }
}

float envPrediction(const ChannelMemory& memory, int blockType, const std::vector<float>& bandDb,
                    int subBlock, int band, int bands) {
    if (subBlock > 0) {
        return kEnvPrediction * bandDb[(subBlock - 1) * bands + band];
    }
    if (memory.envBlockType == blockType && static_cast<int>(memory.envDb.size()) == bands) {
        return kEnvPrediction * memory.envDb[band];
    }
    return 0.0f;
}

void decodeChannelModel(const StreamConfig& c, int blockType, const FrameIndex& index, int channel,
                        ChannelMemory& memory, ChannelModel& model, bool withEnvelope) {
    const BlockLayout& b = c.blocks[blockType];
    decodeLsp(c, index.lspIndex[channel], memory.lsp, model.lsp);
    memory.lsp = model.lsp;
    if (withEnvelope) {
        lspEnvelope(model.lsp, b.subSize, b.noiseBins, b.codedBins, model.lpcEnv);
    } else {
        model.lpcEnv.clear();
    }

    const int* power = index.powerIndex + channel * (b.subGainCount + 1);
    model.gain = gainOf(power[0]);
    model.subGain.assign(b.subBlocks, 1.0f);
    for (int j = 0; j < b.subGainCount; ++j) {
        model.subGain[j] = subGainOf(power[1 + j]);
    }

    model.bandDb.assign(b.subBlocks * b.envBands, 0.0f);
    for (int j = 0; j < b.subBlocks; ++j) {
        const bool predicted = fieldValue(index.arIndex[channel * b.subBlocks + j], 1) != 0;
        for (int band = 0; band < b.envBands; ++band) {
            const float prediction =
                predicted ? envPrediction(memory, blockType, model.bandDb, j, band, b.envBands)
                          : 0.0f;
            const int32_t code = index.envIndex[(channel * b.subBlocks + j) * b.envBands + band];
            // Clamped so that a run of predicted frames cannot drift without bound.
            model.bandDb[j * b.envBands + band] = std::clamp(envDbOf(code, prediction, c.envMinDb),
                                                             2.0f * c.envMinDb, -2.0f * c.envMinDb);
        }
    }
    if (withEnvelope) {
        setBandAmplitudes(model);
    }
    memory.envBlockType = blockType;
    memory.envDb.assign(model.bandDb.end() - b.envBands, model.bandDb.end());

    model.noise.assign(b.subBlocks * b.noiseBands, dbToAmplitude(kNoiseDefaultDb));
    if (b.hasPb) {
        for (int j = 0; j < b.subBlocks * b.noiseBands; ++j) {
            model.noise[j] = noiseLevelOf(index.pbIndex[channel][j]);
        }
    }
}

void stereoModes(const StreamConfig& c, int blockType, const FrameIndex& index, bool* midSide) {
    const BlockLayout& b = c.blocks[blockType];
    midSide[0] = isMidSide(index.windowType);
    for (int r = 1; r < b.stereoBands; ++r) {
        midSide[r] =
            (static_cast<uint32_t>(index.shapeIndex[r - 1]) >> b.shape0BookBits[r - 1]) & 1u;
    }
}

void storeStereoModes(const StreamConfig& c, int blockType, const bool* midSide,
                      FrameIndex& index) {
    const BlockLayout& b = c.blocks[blockType];
    for (int r = 1; r < b.stereoBands; ++r) {
        const int32_t book = fieldValue(index.shapeIndex[r - 1], b.shape0BookBits[r - 1]);
        index.shapeIndex[r - 1] = book | (midSide[r] ? 1 << b.shape0BookBits[r - 1] : 0);
    }
}

void binScales(const StreamConfig& c, int blockType, const ChannelModel& model, int subBlock,
               std::vector<float>& scales) {
    const BlockLayout& b = c.blocks[blockType];
    scales.resize(b.codedBins);
    const float level = model.gain * model.subGain[subBlock];
    for (int band = 0; band < b.envBands; ++band) {
        const float s = level * model.bandAmp[subBlock * b.envBands + band];
        for (int k = b.bandEdges[band]; k < b.bandEdges[band + 1]; ++k) {
            scales[k] = s * model.lpcEnv[k];
        }
    }
}

void uniformShapeLayout(const StreamConfig& c, int blockType, ShapeLayout& layout) {
    const int total = codedCount(c, blockType);
    const int vectors = c.blocks[blockType].vectorCount;
    layout.order.clear();
    layout.start.assign(1, 0);
    layout.dim.assign(vectors, vectorDim(c, blockType));
    for (int v = 0; v < vectors; ++v) {
        for (int pos = v; pos < total; pos += vectors) {
            layout.order.push_back(pos);
        }
        layout.start.push_back(static_cast<int>(layout.order.size()));
    }
}

void decodeShapes(const StreamConfig& c, int blockType, const ShapeLayout& layout,
                  const int32_t* shapeIndex, std::vector<float>& coefs) {
    const BlockLayout& b = c.blocks[blockType];
    const int vectors = b.vectorCount;
    coefs.assign(codedCount(c, blockType), 0.0f);
    for (int v = 0; v < vectors; ++v) {
        const int bits0 = b.shape0BookBits[v];
        const int bits1 = b.shape1Bits[v];
        const int dim = std::clamp(layout.dim[v], kMinCodebookDim, kMaxCodebookDim);
        const float* c0 = shapeCodebook(0, bits0, dim) + fieldValue(shapeIndex[v], bits0) * dim;
        const float* c1 =
            shapeCodebook(1, bits1, dim) + fieldValue(shapeIndex[vectors + v], bits1) * dim;
        for (int i = 0, at = layout.start[v]; at < layout.start[v + 1] && i < dim; ++i, ++at) {
            coefs[layout.order[at]] = c0[i] + c1[i];
        }
    }
}

}  // namespace tembrel::tvq
