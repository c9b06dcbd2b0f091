#include "codec/core/shape_allocation.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codec/core/codebooks.h"
#include "codec/core/quantisers.h"
#include "codec/core/simd_kernel.h"

namespace tembrel::tvq {
namespace {

// Importance: log2(coefficient power / estimated mask) in steps of 1/32 octave, clamped;
// kMuted marks the coefficients of silent sub-blocks, never coded.
constexpr int32_t kKeySteps = 32;
constexpr int32_t kKeyMin = -512;
constexpr int32_t kKeyMax = 511;
constexpr int32_t kMuted = kKeyMin - 1;
constexpr int32_t kUnit = 1024;  // bits are counted in 1/1024
// Bits per step of importance, x kUnit, times the weighting exponent: a quarter of the half
// bit per octave of weight that rate-distortion theory gives measured best (0.5 and 1 cost
// 44.1 kHz up to 0.3 dB, 0.25 gained 0.05-0.3 dB at every configuration from 16 kHz up).
constexpr float kSlope = 0.25f * kUnit / (2.0f * kKeySteps);

// log2(x) x 32 from the float's bits (the mantissa's top five bits, each at the middle of its
// step): exact, and the same on every machine.
constexpr int32_t kMantissaLog[32] = {1,  2,  3,  5,  6,  7,  9,  10, 11, 12, 13,
                                      14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                      25, 25, 26, 27, 28, 29, 29, 30, 31, 32};

int32_t log2Steps(float x) {
    // (Without a branch: the loops over it stay free of mispredictions.)
    const auto bits = std::bit_cast<uint32_t>(std::min(x, 1e30f));
    const int32_t exponent = static_cast<int32_t>(bits >> 23) - 127;
    const int32_t steps = exponent * kKeySteps + kMantissaLog[(bits >> 18) & 31];
    return x > 1e-30f ? steps : -100 * kKeySteps;
}

// The same table as counts of thresholds passed, for vector lanes (no table look-up there).
constexpr int32_t mantissaLog(int32_t m) {
    return m + 1 + (m >= 3) + (m >= 6) - (m >= 23) - (m >= 28);
}
constexpr bool mantissaLogMatches() {
    for (int32_t m = 0; m < 32; ++m) {
        if (mantissaLog(m) != kMantissaLog[m]) {
            return false;
        }
    }
    return true;
}
static_assert(mantissaLogMatches());

// Four lanes: every x86-64 clone has the integer operations for 128 bits (wider integer
// vectors without AVX2 fall back to one lane at a time).
using Lanes = lanes::Floats4;
using LooseLanes = lanes::LooseFloats4;
using Ints = lanes::Ints4;
using LooseInts = lanes::LooseInts4;
using Words = lanes::Words4;
constexpr int kLanes = 4;

// keys[k] = clamp(log2Steps(power[k]) - mask[k]) for k < bins, four at a time, and the
// lowest and highest of them folded into `lowest` and `highest`. The integer steps are those
// of log2Steps exactly.
TVQ_SIMD_KERNEL void importanceKeys(const float* power, const int32_t* mask, int bins,
                                    int32_t* keys, int32_t& lowest, int32_t& highest) {
    int k = 0;
    Ints low = Ints{} + lowest, high = Ints{} + highest;
    for (; k + kLanes <= bins; k += kLanes) {
        const Lanes x = *reinterpret_cast<const LooseLanes*>(power + k);
        const Words bits = reinterpret_cast<Words>(1e30f < x ? Lanes{} + 1e30f : x);
        const Ints exponent = reinterpret_cast<Ints>(bits >> 23) - 127;
        const Ints m = reinterpret_cast<Ints>((bits >> 18) & 31);
        // (Comparisons give -1 where true.)
        const Ints log = m + 1 - (m >= 3) - (m >= 6) + (m >= 23) + (m >= 28);
        const Ints steps = x > 1e-30f ? exponent * kKeySteps + log : Ints{} - 100 * kKeySteps;
        Ints value = steps - *reinterpret_cast<const LooseInts*>(mask + k);
        value = value < kKeyMin ? Ints{} + kKeyMin : value;
        value = kKeyMax < value ? Ints{} + kKeyMax : value;
        *reinterpret_cast<LooseInts*>(keys + k) = value;
        low = value < low ? value : low;
        high = high < value ? value : high;
    }
    for (int l = 0; l < kLanes; ++l) {
        lowest = std::min(lowest, low[l]);
        highest = std::max(highest, high[l]);
    }
    for (; k < bins; ++k) {
        const int32_t value = std::clamp(log2Steps(power[k]) - mask[k], kKeyMin, kKeyMax);
        keys[k] = value;
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
}

// Flags the positions whose key reaches `lowestCoded` (kMuted lies below every threshold) and
// lists them in order, eight positions at a time through the lane-mask tables.
TVQ_SIMD_KERNEL void compactCoded(const int32_t* key, int total, int32_t lowestCoded,
                                  uint8_t* codedFlags, int* list) {
    int found = 0, pos = 0;
    for (; pos + 8 <= total; pos += 8) {
        const Ints low = *reinterpret_cast<const LooseInts*>(key + pos) >= lowestCoded;
        const Ints high = *reinterpret_cast<const LooseInts*>(key + pos + 4) >= lowestCoded;
        const int mask =
            lanes::laneMask(__builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7));
        std::memcpy(codedFlags + pos, lanes::kLaneLists.bytes[mask], 8);
        const auto* lanesSet = reinterpret_cast<const LooseInts*>(lanes::kLaneLists.lanes[mask]);
        *reinterpret_cast<LooseInts*>(list + found) = lanesSet[0] + pos;
        *reinterpret_cast<LooseInts*>(list + found + 4) = lanesSet[1] + pos;
        found += lanes::kLaneLists.count[mask];
    }
    for (; pos < total; ++pos) {
        const bool coded = key[pos] >= lowestCoded;
        codedFlags[pos] = coded;
        list[found] = pos;
        found += coded;
    }
}

}  // namespace

void ShapeAllocator::allocate(const StreamConfig& c, int blockType, const ChannelModel* models,
                              ShapeLayout& layout) {
    const BlockLayout& b = c.blocks[blockType];
    const int total = codedCount(c, blockType);
    const int vectors = b.vectorCount;
    const int bands = b.envBands;
    key_.assign(total, kMuted);
    // Two histograms over every importance value, left zeroed by the sums below: neighbouring
    // coefficients often share a key, so alternate bins count in alternate tables and an
    // increment rarely waits for the one before it.
    constexpr int kKeyValues = kKeyMax - kKeyMin + 1;
    if (evenCount_.empty()) {
        evenCount_.assign(kKeyValues, 0);
        oddCount_.assign(kKeyValues, 0);
    }
    int32_t lowest = kKeyMax, highest = kKeyMin;  // of the keys that are not kMuted
    power_.resize(b.codedBins);
    binMask_.resize(b.codedBins);
    binKey_.resize(b.codedBins);
    bandPower_.resize(bands);
    for (int ch = 0; ch < c.channels; ++ch) {
        const ChannelModel& model = models[ch];
        for (int j = 0; j < b.subBlocks; ++j) {
            // The main gain cancels out of power over mask: the layout does not depend on it,
            // so the encoder may refit it after the search.
            const float level = model.subGain[j];
            if (!(level > 0.0f)) {
                continue;  // a muted sub-block
            }
            for (int band = 0; band < bands; ++band) {
                const float s = level * model.bandAmp[j * bands + band];
                float sum = 0.0f;
                for (int k = b.bandEdges[band]; k < b.bandEdges[band + 1]; ++k) {
                    const float a = s * model.lpcEnv[k];
                    power_[k] = a * a;
                    sum += power_[k];
                }
                bandPower_[band] = sum;
            }
            for (int band = 0; band < bands; ++band) {
                const float* spread = &b.bandSpread[band * bands];
                float excitation = 0.0f;
                for (int m = 0; m < bands; ++m) {
                    excitation += spread[m] * bandPower_[m];
                }
                const int lo = b.bandEdges[band], hi = b.bandEdges[band + 1];
                std::fill(binMask_.begin() + lo, binMask_.begin() + hi,
                          log2Steps(excitation / static_cast<float>(hi - lo)));
            }
            const int lo = b.bandEdges[0], hi = b.bandEdges[bands];
            importanceKeys(power_.data() + lo, binMask_.data() + lo, hi - lo, binKey_.data() + lo,
                           lowest, highest);
            // (Through locals: the key stores could alias the layout's fields, which the loop
            // would otherwise load again for every coefficient.)
            const int32_t* binKey = binKey_.data();
            int32_t* key = key_.data();
            int32_t* counts[2] = {evenCount_.data() - kKeyMin, oddCount_.data() - kKeyMin};
            const int step = b.subBlocks;  // between neighbouring bins' positions
            for (int k = lo, pos = coefPosition(b, ch, lo, j); k < hi; ++k, pos += step) {
                key[pos] = binKey[k];
                ++counts[k & 1][binKey[k]];
            }
        }
    }

    // Reverse water-filling: the lowest water level whose bits (each coefficient's share capped
    // at what the shortest codebook gives) cover the frame's shape bits. Shares are linear in
    // the importance between the two caps, so counts and sums of the importances from each
    // value up give the bits of any level at once.
    const int values = std::max(0, highest - lowest + 1);
    // The sums from each value up, clearing the histograms for the next frame.
    countFrom_.assign(values + 1, 0);
    sumFrom_.assign(values + 1, 0);
    for (int i = values - 1; i >= 0; --i) {
        const int32_t key = i + lowest;
        const int32_t count = evenCount_[key - kKeyMin] + oddCount_[key - kKeyMin];
        evenCount_[key - kKeyMin] = 0;
        oddCount_[key - kKeyMin] = 0;
        sumFrom_[i] = sumFrom_[i + 1] + count * key;
        countFrom_[i] = count + countFrom_[i + 1];
    }
    const int64_t slope = static_cast<int64_t>(kSlope * weightExponent(c, blockType) + 0.5f);
    const int64_t most = int64_t{kUnit} * 2 * kShapeBaseBits / kMinCodebookDim;
    const int64_t budget = int64_t{kUnit} * b.shapeBits;
    // Index of the first importance >= key (clamped to the table).
    auto from = [&](int64_t key) {
        return static_cast<int>(std::clamp<int64_t>(key - lowest, 0, values));
    };
    auto floorDiv = [](int64_t a, int64_t d) { return a / d - (a % d != 0 && (a < 0) != (d < 0)); };
    auto spend = [&](int64_t level) {
        // Shares: 0 up to key `low`, most from key `high`, key * slope + level between.
        const int low = from(floorDiv(-level, slope) + 1);
        const int high = std::max(low, from(-floorDiv(level - most, slope)));
        return most * countFrom_[high] + slope * int64_t{sumFrom_[low] - sumFrom_[high]} +
               level * (countFrom_[low] - countFrom_[high]);
    };
    int64_t low = -int64_t{kKeyMax} * slope - most, high = -int64_t{kKeyMin} * slope + most;
    while (high - low > 1) {
        const int64_t mid = low + (high - low) / 2;
        (spend(mid) >= budget ? high : low) = mid;
    }

    // The coefficients with a share, in frequency order, dealt out to the vectors in turn:
    // the i-th goes to vector i % vectors.
    const int64_t threshold = floorDiv(-high, slope) + 1;  // the lowest key with a share
    const int count = static_cast<int>(countFrom_[from(threshold)]);
    const int dim = std::max(1, (count + vectors - 1) / std::max(vectors, 1));
    layout.order.resize(count);
    layout.start.resize(vectors + 1);
    layout.dim.assign(vectors, dim);
    layout.start[0] = 0;
    for (int v = 0; v < vectors; ++v) {
        layout.start[v + 1] = layout.start[v] + (count - v + vectors - 1) / vectors;
    }
    // Compacted without branches (whether a coefficient is coded is a coin toss to the
    // predictor), then dealt out row by row.
    const auto lowestCoded =
        static_cast<int32_t>(std::clamp<int64_t>(threshold, kKeyMin, kKeyMax + 1));
    coded_.resize(total);
    codedList_.resize(total);
    // (Through local pointers: the byte stores to coded_ could alias anything, and the loop
    // would reload every vector's data pointer each time round.)
    const int32_t* key = key_.data();
    uint8_t* codedFlags = coded_.data();
    int* list = codedList_.data();
    compactCoded(key, total, lowestCoded, codedFlags, list);
    for (int v = 0; v < vectors; ++v) {
        int* to = layout.order.data() + layout.start[v];
        const int rows = layout.start[v + 1] - layout.start[v];
        const int* from = list + v;
        for (int r = 0; r < rows; ++r) {
            to[r] = from[r * vectors];
        }
    }
}

}  // namespace tembrel::tvq
