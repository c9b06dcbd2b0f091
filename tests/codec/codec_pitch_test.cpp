// The periodic component of long blocks: harmonic placement for every field value, the
// encoder's choice of fundamental and peaks (and its agreement with what the decoder adds),
// and its effect on a steady harmonic tone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "codec/core/codebooks.h"
#include "codec/core/frame_model.h"
#include "codec/core/index_storage.h"
#include "codec/core/pitch_model.h"
#include "codec/core/stream_config.h"
#include "codec/dec/frame_decoder.h"
#include "codec/enc/frame_encoder.h"
#include "codec/enc/pitch_search.h"
#include "tests/codec/stream_config_for.h"
#include "tvq/tvqenc.h"

using namespace tembrel::tvq;
using tembrel::test::configFor;

namespace {

double weightedEnergy(const std::vector<float>& x, const std::vector<float>& w) {
    double e = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        e += double{w[i]} * x[i] * x[i];
    }
    return e;
}

// Every pitch index of every configuration puts its harmonics on distinct bins in ascending
// order, none below bin 0; the fundamentals span the intended range at every rate, and a
// frame with any field values (within and far outside their widths) adds finite values.
TEST(PitchModel, HarmonicsStayOrderedAndAnyFieldsDecodeFinitely) {
    const int configs[][3] = {{8, 1, 8},   {11, 1, 8},  {11, 2, 16}, {16, 1, 16},
                              {22, 1, 24}, {22, 2, 64}, {44, 1, 48}, {44, 2, 96}};
    for (const auto& k : configs) {
        StreamConfig c = configFor(k[0], k[1], k[2]);
        c.blocks[0].hasPitch = true;  // whether or not this configuration uses it
        SCOPED_TRACE(testing::Message() << k[0] << " kHz " << k[1] << " ch " << k[2]);
        const float hzPerBin = c.sampleRateHz / (2.0f * c.blocks[0].subSize);
        EXPECT_NEAR(pitchFundamental(c, 0, 0) * hzPerBin, kPitchLowHz, hzPerBin);
        EXPECT_NEAR(pitchFundamental(c, 0, 255) * hzPerBin, kPitchHighHz, 1.0f);
        for (int p = 0; p < (1 << kPitchBits); ++p) {
            const float f0 = pitchFundamental(c, 0, p);
            int previous = -1;
            for (int h = 0; h < pitchHarmonics(c); ++h) {
                const int bin = harmonicBin(f0, h);
                ASSERT_GT(bin, previous) << "pitch " << p << " harmonic " << h;
                previous = bin;
            }
        }
        IndexStorage storage;
        FrameIndex index{};
        storage.attach(c, index);
        const int32_t values[] = {0, 1, 31, 255, -1, INT32_MIN, INT32_MAX};
        for (int32_t v : values) {
            for (int i = 0; i < 2 * kPitchVectorPairs; ++i) {
                index.pitchShapeIndex[i] = v;
            }
            for (int ch = 0; ch < 2; ++ch) {
                index.pitchIndex[ch] = v;
                index.pitchGainIndex[ch] = v == 0 ? 15 : v;
            }
            std::vector<float> coefs(codedCount(c, 0), 0.0f);
            addPitchComponent(c, 0, index, coefs);
            ASSERT_EQ(coefs.size(), static_cast<size_t>(codedCount(c, 0)));
            for (float x : coefs) {
                ASSERT_TRUE(std::isfinite(x)) << v;
            }
        }
    }
}

// A flattened spectrum of harmonic peaks over noise: the search finds a fundamental whose
// harmonics sit on the peaks of every tonal channel, switches the component on there (and
// off for a channel of noise), removes most of the weighted error it can reach, and hands
// back exactly what the decoder adds for the fields it wrote.
TEST(PitchSearch, FindsHarmonicPeaksAndMatchesTheDecoder) {
    struct Case {
        int channels;
        bool tonal[2];
    };
    for (const Case& t : {Case{1, {true, false}}, Case{2, {true, true}}, Case{2, {false, true}}}) {
        SCOPED_TRACE(testing::Message() << t.channels << " ch, tonal " << t.tonal[0] << t.tonal[1]);
        const StreamConfig c = configFor(22, t.channels, t.channels == 1 ? 24 : 48);
        StreamConfig withPitch = c;
        withPitch.blocks[0].hasPitch = true;
        const BlockLayout& b = withPitch.blocks[0];
        std::mt19937 rng(7 + t.channels);
        std::normal_distribution<float> noise(0.0f, 0.3f);
        const int total = codedCount(withPitch, 0);
        std::vector<float> target(total), weight(total, 1.0f);
        for (float& x : target) {
            x = noise(rng);
        }
        const int truePitch[2] = {90, 140};
        const int harmonics = pitchHarmonics(withPitch);
        int tonal = 0;
        for (int ch = 0; ch < t.channels; ++ch) {
            if (!t.tonal[ch]) {
                continue;
            }
            ++tonal;
            const float f0 = pitchFundamental(withPitch, 0, truePitch[ch]);
            for (int h = 0; h < harmonics; ++h) {
                const int bin = harmonicBin(f0, h);
                if (bin < b.codedBins) {
                    target[coefPosition(b, ch, bin, 0)] += (h % 3 == 1 ? -1.0f : 1.0f) * 6.0f;
                }
            }
        }
        IndexStorage storage;
        FrameIndex index{};
        storage.attach(withPitch, index);
        PitchSearch search(withPitch, 0);
        std::vector<float> component;
        search.search(target, weight, index, component);
        ASSERT_EQ(component.size(), static_cast<size_t>(total));

        std::vector<float> decoded(total, 0.0f);
        addPitchComponent(withPitch, 0, index, decoded);
        EXPECT_EQ(decoded, component);

        std::vector<float> residual(total);
        for (int i = 0; i < total; ++i) {
            residual[i] = target[i] - component[i];
        }
        // Each peak holds 36 of the weighted energy.
        EXPECT_GT(weightedEnergy(target, weight) - weightedEnergy(residual, weight),
                  0.6 * 36.0 * harmonics * tonal);
        for (int ch = 0; ch < t.channels; ++ch) {
            if (!t.tonal[ch]) {
                EXPECT_EQ(index.pitchGainIndex[ch], 0) << ch;
                continue;
            }
            EXPECT_NE(index.pitchGainIndex[ch], 0) << ch;
            // The chosen harmonics land on the true peaks (an octave below would hit only
            // every other one).
            const float chosen = pitchFundamental(withPitch, 0, index.pitchIndex[ch]);
            const float real = pitchFundamental(withPitch, 0, truePitch[ch]);
            int hits = 0, peaks = 0;
            for (int h = 0; h < harmonics; ++h) {
                if (harmonicBin(chosen, h) >= b.codedBins) {
                    break;
                }
                ++peaks;
                for (int g = 0; g < harmonics; ++g) {
                    hits += harmonicBin(real, g) == harmonicBin(chosen, h) ? 1 : 0;
                }
            }
            EXPECT_GE(hits, peaks * 3 / 4) << "channel " << ch;
        }
    }
}

// A steady harmonic tone (a low note with many partials) through the encoder and decoder of a
// configuration that uses the component: most long frames carry it, and the output is closer
// to the input than when the encoder leaves the component off.
TEST(PitchSearch, ImprovesASteadyHarmonicTone) {
    const StreamConfig c = configFor(22, 1, 24);
    ASSERT_TRUE(c.blocks[0].hasPitch);
    const int n = c.frameSize;
    const int frames = 60;
    std::vector<float> input(static_cast<size_t>(frames + 2) * n, 0.0f);
    for (size_t i = 0; i < input.size(); ++i) {
        const double t = static_cast<double>(i) / c.sampleRateHz;
        double x = 0.0;
        for (int h = 1; h <= 20; ++h) {
            x += std::sin(2.0 * M_PI * 155.0 * h * t + 0.7 * h * h) / std::sqrt(h);
        }
        input[i] = static_cast<float>(3000.0 * x);
    }
    double snr[2] = {0.0, 0.0};
    int withComponent = 0, longFrames = 0;
    for (int on = 0; on < 2; ++on) {
        FrameEncoder encoder(c);
        encoder.usePitch(on == 1);
        FrameDecoder decoder(c);
        IndexStorage storage;
        FrameIndex index{};
        storage.attach(c, index);
        std::vector<float> out(n);
        double signal = 0.0, error = 0.0;
        for (int f = 0; f < frames + 2; ++f) {
            encoder.encode(&input[static_cast<size_t>(f) * n], index);
            if (on == 1 && index.blockType == 0) {
                ++longFrames;
                withComponent += index.pitchGainIndex[0] != 0 ? 1 : 0;
            }
            decoder.decode(index, out.data());
            if (f >= 4) {  // two frames of delay, and the start-up
                for (int i = 0; i < n; ++i) {
                    const double x = input[static_cast<size_t>(f - 2) * n + i];
                    signal += x * x;
                    error += (x - out[i]) * (x - out[i]);
                }
            }
        }
        snr[on] = 10.0 * std::log10(signal / std::max(error, 1e-9));
    }
    EXPECT_GT(longFrames, frames / 2);
    EXPECT_GT(withComponent, longFrames * 3 / 4);
    EXPECT_GT(snr[1], snr[0] + 0.5) << "without " << snr[0] << " dB, with " << snr[1] << " dB";
}

// The pair search written plainly, one entry and one pair at a time with the same float
// operations in the same order: the 6 entries of each codebook nearest to z / 2 kept sorted
// by insertion, then the first pair with the smallest distance.
void plainPitchPair(const float* z, const float* a, int32_t& first, int32_t& second) {
    constexpr int kBook = 1 << kPitchCodebookBits, kKept = 6;
    int picked[2][kKept];
    for (int side = 0; side < 2; ++side) {
        float kept[kKept];
        std::fill_n(kept, kKept, std::numeric_limits<float>::max());
        for (int i = 0; i < kBook; ++i) {
            const float* c = pitchCodebook(side) + i * kPitchCodebookDim;
            float d = 0.0f;
            for (int k = 0; k < kPitchCodebookDim; ++k) {
                const float r = 0.5f * z[k] - c[k];
                d += a[k] * r * r;
            }
            if (i >= kKept && !(d < kept[kKept - 1])) {
                continue;
            }
            int at = std::min(i, kKept - 1);
            for (; at > 0 && d < kept[at - 1]; --at) {
                kept[at] = kept[at - 1];
                picked[side][at] = picked[side][at - 1];
            }
            kept[at] = d;
            picked[side][at] = i;
        }
    }
    float best = std::numeric_limits<float>::max();
    for (const int i : picked[0]) {
        for (const int j : picked[1]) {
            const float* c0 = pitchCodebook(0) + i * kPitchCodebookDim;
            const float* c1 = pitchCodebook(1) + j * kPitchCodebookDim;
            float d = 0.0f;
            for (int k = 0; k < kPitchCodebookDim; ++k) {
                const float r = z[k] - c0[k] - c1[k];
                d += a[k] * r * r;
            }
            if (d < best) {
                best = d;
                first = i;
                second = j;
            }
        }
    }
}

// The vectorised pair search gives exactly the plain search's entries: on random peaks, on
// coarse values with many zero weights (ties), without any weight, and with weights so large
// that distances overflow (then neither changes the indices it was given).
TEST(PitchSearch, PairSearchGivesExactlyThePlainSearchsEntries) {
    std::mt19937 rng(3);
    std::normal_distribution<float> value(0.0f, 1.0f);
    std::uniform_int_distribution<int> coarse(0, 2);
    for (int kind = 0; kind < 4; ++kind) {
        for (int trial = 0; trial < 200; ++trial) {
            float z[kPitchCodebookDim], a[kPitchCodebookDim];
            for (int k = 0; k < kPitchCodebookDim; ++k) {
                z[k] = kind == 1 ? 0.5f * static_cast<float>(coarse(rng)) : value(rng);
                a[k] = kind == 0   ? std::fabs(value(rng))
                       : kind == 1 ? static_cast<float>(coarse(rng))
                       : kind == 2 ? 0.0f
                                   : 1e38f;
            }
            int32_t got[2] = {-1, -1}, expected[2] = {-1, -1};
            nearestPitchPair(z, a, got[0], got[1]);
            plainPitchPair(z, a, expected[0], expected[1]);
            EXPECT_EQ(got[0], expected[0]) << "case " << kind << ", trial " << trial;
            EXPECT_EQ(got[1], expected[1]) << "case " << kind << ", trial " << trial;
        }
    }
}

}  // namespace
