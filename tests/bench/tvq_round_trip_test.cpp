#include "bench/tvq_round_trip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "bench/alignment.h"
#include "bench/nmr_meter.h"

namespace tembrel::bench {
namespace {

// A second and a half of chord with a few noisy hits: enough frames for both block
// kinds and for the delay to show.
AudioClip chordWithHits(int rate, int channels) {
    AudioClip clip{rate, channels, {}};
    const std::size_t frames = std::size_t(1.5 * rate);
    clip.samples.resize(frames * channels);
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 1.0);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double hit = std::exp(-std::fmod(t, 0.375) * 50.0) * noise(random);
        for (int c = 0; c < channels; ++c) {
            double v = 0;
            for (double f : {196.0, 246.9, 293.7, 587.3})
                v += std::sin(2 * std::numbers::pi * f * (1 + 0.002 * c) * t);
            clip.samples[i * channels + c] = float(3000.0 * v + 5000.0 * hit);
        }
    }
    return clip;
}

// The benchmark's round trip must hand the decoder exactly the frame the layout
// describes and return output aligned with the input; otherwise every figure it
// prints is wrong.
TEST(BenchTvqRoundTrip, OutputIsAlignedAndEveryFrameFillsItsLength) {
    for (const auto& [rate, channels, kbps] :
         {std::tuple{8000, 1, 8}, {22050, 2, 48}, {44100, 2, 96}}) {
        const AudioClip input = chordWithHits(rate, channels);
        const TvqResult r = tvqRoundTrip(input, kbps, 2);
        ASSERT_TRUE(r.ok) << rate << ": " << r.error;
        EXPECT_EQ(r.encodeCpuSeconds.size(), 2u);
        EXPECT_EQ(r.decoded.rate, rate);
        EXPECT_EQ(r.decoded.channels, channels);
        EXPECT_EQ(r.decoded.frames(), input.frames());
        EXPECT_GT(r.frameBits, 0);
        EXPECT_EQ(r.layoutBits, r.frameBits) << rate;
        EXPECT_EQ(r.oversizeFields, 0) << rate;
        EXPECT_EQ(findLag(monoMix(input), monoMix(r.decoded), r.frameSize), 0) << rate;

        // The decoded waveform follows its source: a garbled field or an output off by
        // even a fraction of a frame would leave it uncorrelated (SNR at or below 0 dB).
        EXPECT_GT(measureQuality(input.samples, r.decoded.samples, channels, rate).snrDb, 1.0)
            << rate;

        // Every run starts from a fresh library state, so runs repeat exactly.
        EXPECT_EQ(tvqRoundTrip(input, kbps, 1).decoded.samples, r.decoded.samples) << rate;
    }
}

TEST(BenchTvqRoundTrip, UnusableInputFailsWithAReason) {
    AudioClip threeChannels{22050, 3, std::vector<float>(3 * 22050, 0.0f)};
    const TvqResult r = tvqRoundTrip(threeChannels, 48, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());

    // An empty clip still runs the padding frames and yields an empty output.
    const TvqResult empty = tvqRoundTrip(AudioClip{22050, 1, {}}, 24, 1);
    ASSERT_TRUE(empty.ok) << empty.error;
    EXPECT_EQ(empty.decoded.frames(), 0u);
}

}  // namespace
}  // namespace tembrel::bench
