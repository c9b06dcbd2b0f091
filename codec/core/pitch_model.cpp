#include "codec/core/pitch_model.h"

#include <algorithm>
#include <array>

#include "codec/core/frame_model.h"
#include "codec/core/quantisers.h"

namespace tembrel::tvq {
namespace {

static_assert(kPitchShapeBits == kPitchCodebookBits, "the pitch fields index the pitch codebooks");
static_assert(kPitchVectorPairs == 2, "the slot layout alternates between two vectors");

// Gain steps of index 1 upwards, relative to the flattened spectrum's unit level.
constexpr float kPitchGainMinDb = -3.0f;
constexpr float kPitchGainStepDb = 2.5f;

}  // namespace

float pitchFundamental(const StreamConfig& c, int blockType, int32_t pitchIndex) {
    const int top = (1 << kPitchBits) - 1;
    const float position = static_cast<float>(fieldValue(pitchIndex, kPitchBits)) / top;
    const float hz = kPitchLowHz * std::pow(kPitchHighHz / kPitchLowHz, position);
    const float binsPerHz = 2.0f * c.blocks[blockType].subSize / c.sampleRateHz;
    return std::max(1.0f, hz * binsPerHz);
}

float pitchGainOf(int32_t index) {
    // Looked up: the encoder's gain fits call this many times per frame.
    static const std::array<float, 1 << kPitchGainBits> gains = [] {
        std::array<float, 1 << kPitchGainBits> g{};
        for (size_t i = 1; i < g.size(); ++i) {
            g[i] = dbToAmplitude(kPitchGainMinDb + static_cast<float>(i - 1) * kPitchGainStepDb);
        }
        return g;
    }();
    return gains[fieldValue(index, kPitchGainBits)];
}

int32_t pitchGainIndex(float gain) {
    const float steps = std::round((amplitudeToDb(gain) - kPitchGainMinDb) / kPitchGainStepDb);
    const float top = static_cast<float>((1 << kPitchGainBits) - 2);
    return 1 + static_cast<int32_t>(std::clamp(std::isfinite(steps) ? steps : 0.0f, 0.0f, top));
}

void decodePitchVectors(const StreamConfig& c, const int32_t* pitchShapeIndex, float* vectors) {
    const float* book0 = pitchCodebook(0);
    const float* book1 = pitchCodebook(1);
    for (int v = 0; v < kPitchVectorPairs; ++v) {
        // Both codebooks have 2^kPitchCodebookBits entries whatever width the fields have.
        const int bits0 = std::min<int>(c.pitchShape0Bits[v], kPitchCodebookBits);
        const int bits1 = std::min<int>(c.pitchShape1Bits[v], kPitchCodebookBits);
        const float* c0 = book0 + fieldValue(pitchShapeIndex[v], bits0) * kPitchCodebookDim;
        const float* c1 =
            book1 + fieldValue(pitchShapeIndex[kPitchVectorPairs + v], bits1) * kPitchCodebookDim;
        for (int i = 0; i < kPitchCodebookDim; ++i) {
            vectors[v * kPitchCodebookDim + i] = c0[i] + c1[i];
        }
    }
}

void addPitchComponent(const StreamConfig& c, int blockType, const FrameIndex& index,
                       std::vector<float>& coefs) {
    const BlockLayout& b = c.blocks[blockType];
    if (!b.hasPitch) {
        return;
    }
    float vectors[kPitchElements];
    decodePitchVectors(c, index.pitchShapeIndex, vectors);
    const int harmonics = pitchHarmonics(c);
    for (int ch = 0; ch < c.channels; ++ch) {
        const float gain = pitchGainOf(index.pitchGainIndex[ch]);
        if (gain == 0.0f) {
            continue;
        }
        const float f0 = pitchFundamental(c, blockType, index.pitchIndex[ch]);
        for (int h = 0; h < harmonics; ++h) {
            const int bin = harmonicBin(f0, h);
            if (bin >= b.codedBins) {
                break;
            }
            const PitchSlot s = pitchSlot(c.channels, ch, h);
            coefs[coefPosition(b, ch, bin, 0)] +=
                gain * vectors[s.vector * kPitchCodebookDim + s.component];
        }
    }
}

}  // namespace tembrel::tvq
