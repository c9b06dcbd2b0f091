#include "codec/dec/frame_decoder.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "codec/core/pitch_model.h"
#include "codec/core/quantisers.h"
#include "codec/core/simd_kernel.h"

namespace tembrel::tvq {
namespace {

// Far beyond anything a real stream decodes to (the 16-bit scale ends at 32768); only damaged
// or arbitrary frames reach it, and they must still give bounded samples.
constexpr float kOutputLimit = 1048576.0f;

// Uniform noise of unit power from a fixed-seed generator (same output on every run): the
// generator's next state, and the sample of a state.
constexpr uint32_t nextNoiseState(uint32_t state) {
    return state * 1664525u + 1013904223u;
}
inline float noiseOf(uint32_t state) {
    return (static_cast<int32_t>(state) * (1.0f / 2147483648.0f)) * 1.7320508f;
}

// Four lanes: every x86-64 clone has the integer operations for 128 bits.
using Lanes = lanes::Floats4;
using LooseLanes = lanes::LooseFloats4;
using Ints = lanes::Ints4;
using Words = lanes::Words4;
using TableWords = uint32_t __attribute__((vector_size(16), may_alias));  // from aligned tables
constexpr int kLanes = 4;

// The generator's state after 1-4 steps from s: kJumps.mul[j] * s + kJumps.add[j].
struct Jumps {
    alignas(16) uint32_t mul[kLanes];
    alignas(16) uint32_t add[kLanes];
};
constexpr Jumps kJumps = [] {
    Jumps t{};
    uint32_t mul = 1, add = 0;
    for (int j = 0; j < kLanes; ++j) {
        add = nextNoiseState(add);
        mul *= 1664525u;
        t.mul[j] = mul;
        t.add[j] = add;
    }
    return t;
}();

// Lanes that take noise (`taking`: -1) get the generator's states in turn, as the scalar
// loop would; `noise` moves past all of them. Other lanes get some state, to be masked.
[[gnu::always_inline]] inline Words statesTaken(Ints taking, uint32_t& noise) {
    const Ints zero{};
    const Ints one = -taking;
    // Inclusive prefix sums: how many lanes up to this one take noise.
    Ints count = one + __builtin_shufflevector(one, zero, 4, 0, 1, 2);
    count = count + __builtin_shufflevector(count, zero, 4, 4, 0, 1);
    const Words states = *reinterpret_cast<const TableWords*>(kJumps.mul) * noise +
                         *reinterpret_cast<const TableWords*>(kJumps.add);
    const Ints pick = (count - 1) & 3;
#if defined(__clang__)
    // Clang has no variable shuffle builtin (the fuzzing build uses it); same lanes.
    const Words taken{states[pick[0]], states[pick[1]], states[pick[2]], states[pick[3]]};
#else
    const Words taken = __builtin_shuffle(states, reinterpret_cast<Words>(pick));
#endif
    noise = count[kLanes - 1] > 0 ? states[count[kLanes - 1] - 1] : noise;
    return taken;
}
[[gnu::always_inline]] inline Lanes noiseOf(Words states) {
    return (__builtin_convertvector(reinterpret_cast<Ints>(states), Lanes) *
            (1.0f / 2147483648.0f)) *
           1.7320508f;
}

// Coefficients that decoded to nearly nothing (holes) get noise at level `fill`, from the
// generator state `noise`; returns the state after them.
TVQ_SIMD_KERNEL uint32_t fillHoles(float fill, size_t count, float* shapes, uint32_t noise) {
    // Selected by bit masks: GCC turned the conditional expressions into a branch.
    const auto fillBits = std::bit_cast<uint32_t>(fill);
    size_t pos = 0;
    for (; pos + kLanes <= count; pos += kLanes) {
        auto* at = reinterpret_cast<LooseLanes*>(shapes + pos);
        const Lanes v = *at;
        const Ints hole = (v < kHoleThreshold) & (v > -kHoleThreshold);
        const Lanes level = reinterpret_cast<Lanes>(hole & static_cast<int32_t>(fillBits));
        // (A coefficient that is no hole gains exactly +0.)
        *at = v + level * noiseOf(statesTaken(hole, noise));
    }
    for (; pos < count; ++pos) {
        float& v = shapes[pos];
        const uint32_t hole = 0u - static_cast<uint32_t>(std::fabs(v) < kHoleThreshold);
        const uint32_t next = nextNoiseState(noise);
        noise = (next & hole) | (noise & ~hole);
        v += std::bit_cast<float>(fillBits & hole) * noiseOf(next);
    }
    return noise;
}

}  // namespace

FrameDecoder::FrameDecoder(const StreamConfig& config)
    : config_(config), prevRightOverlap_(config.frameSize) {
    for (int t = 0; t < kBlockTypes; ++t) {
        mdct_[t] = std::make_unique<Mdct>(config_.blocks[t].subSize);
    }
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        resetMemory(config_, memory_[ch]);
        overlap_[ch].assign(2 * config_.frameSize, 0.0f);
    }
}

void FrameDecoder::decode(const FrameIndex& index, float* samples) {
    const int n = config_.frameSize;
    // A window type the reader would refuse never gets here; any other value is treated as
    // a long left/right block so that arbitrary input still decodes.
    const bool valid = blockTypeOf(config_, index.windowType) >= 0;
    const int blockType = valid ? blockTypeOf(config_, index.windowType) : 0;
    const int nextType = valid ? nextBlockTypeOf(index.windowType) : 0;
    const BlockLayout& b = config_.blocks[blockType];
    const int m = b.subSize;
    const int leftOverlap = std::min(prevRightOverlap_, m);
    const int rightOverlap = std::min(m, config_.blocks[nextType].subSize);
    prevRightOverlap_ = rightOverlap;

    for (int ch = 0; ch < config_.channels; ++ch) {
        decodeChannelModel(config_, blockType, index, ch, memory_[ch], model_[ch]);
    }
    allocator_.allocate(config_, blockType, model_.data(), layout_);
    decodeShapes(config_, blockType, layout_, index.shapeIndex, shapes_);
    // What no vector codes lies far below the estimated mask: noise at half the scale keeps
    // the spectrum free of holes there.
    // The generator advances only where it fills, chosen without branches (which
    // coefficients those are is a coin toss to the branch predictor); kept in a register.
    uint32_t noise = noiseState_;
    const std::vector<uint8_t>& coded = allocator_.coded();
    for (size_t pos = 0; pos < shapes_.size(); ++pos) {
        const bool uncoded = !coded[pos];
        const uint32_t next = nextNoiseState(noise);
        noise = uncoded ? next : noise;
        shapes_[pos] = uncoded ? kUncodedFill * noiseOf(next) : shapes_[pos];
    }
    addPitchComponent(config_, blockType, index, shapes_);
    if (const float fill = holeFillLevel(config_); fill > 0.0f) {
        noise = fillHoles(fill, shapes_.size(), shapes_.data(), noise);
    }
    for (int ch = 0; ch < config_.channels; ++ch) {
        const ChannelModel& model = model_[ch];
        std::vector<float>& coefs = coefs_[ch];
        coefs.assign(b.subBlocks * m, 0.0f);
        for (int j = 0; j < b.subBlocks; ++j) {
            float* sub = &coefs[j * m];
            binScales(config_, blockType, model, j, scales_);
            for (int k = 0; k < b.codedBins; ++k) {
                sub[k] = shapes_[coefPosition(b, ch, k, j)] * scales_[k];
            }
            // Noise filling above the coded range, at the level the frame gives relative to
            // the envelope continued from the top of the coded range.
            // Blocks without noise levels fill at a fixed level, never above what the top
            // envelope band says the spectrum has (a bright burst above a dull sound otherwise).
            const float level = model.gain * model.subGain[j];
            const float topBand = model.bandAmp[(j + 1) * b.envBands - 1];
            const float defaultLevel = dbToAmplitude(kNoiseDefaultDb) * std::min(1.0f, topBand);
            for (int band = 0; band + 1 < static_cast<int>(b.noiseEdges.size()); ++band) {
                const float bandLevel =
                    b.noiseBands > 0 ? model.noise[j * b.noiseBands + band] : defaultLevel;
                for (int k = b.noiseEdges[band]; k < b.noiseEdges[band + 1]; ++k) {
                    noise = nextNoiseState(noise);
                    sub[k] = noiseOf(noise) * level * bandLevel * model.lpcEnv[k];
                }
            }
        }
    }
    noiseState_ = noise;
    if (valid && config_.channels == 2) {
        bool midSide[kStereoBands];
        stereoModes(config_, blockType, index, midSide);
        for (int r = 0; r < b.stereoBands; ++r) {
            if (!midSide[r]) {
                continue;
            }
            for (int j = 0; j < b.subBlocks; ++j) {
                for (int k = b.stereoEdges[r]; k < b.stereoEdges[r + 1]; ++k) {
                    const float mid = coefs_[0][j * m + k];
                    const float side = coefs_[1][j * m + k];
                    coefs_[0][j * m + k] = mid + side;
                    coefs_[1][j * m + k] = mid - side;
                }
            }
        }
    }
    timeBlock_.resize(2 * m);
    for (int ch = 0; ch < config_.channels; ++ch) {
        std::vector<float>& acc = overlap_[ch];
        for (int j = 0; j < b.subBlocks; ++j) {
            mdct_[blockType]->inverse(&coefs_[ch][j * m], timeBlock_.data());
            const std::vector<float>& w =
                windows_.get(m, j == 0 ? leftOverlap : m, j == b.subBlocks - 1 ? rightOverlap : m);
            const int offset = n / 2 + j * m - m / 2;
            for (int i = 0; i < 2 * m; ++i) {
                acc[offset + i] += w[i] * timeBlock_[i];
            }
        }
        float* out = samples + ch * n;
        for (int i = 0; i < n; ++i) {
            const float v = acc[i];
            out[i] = std::isfinite(v) ? std::clamp(v, -kOutputLimit, kOutputLimit) : 0.0f;
        }
        std::copy(acc.begin() + n, acc.end(), acc.begin());
        std::fill(acc.end() - n, acc.end(), 0.0f);
    }
}

}  // namespace tembrel::tvq
