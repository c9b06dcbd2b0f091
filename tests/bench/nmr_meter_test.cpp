#include "bench/nmr_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "bench/alignment.h"
#include "bench/audio_clip.h"
#include "bench/external_tools.h"
#include "test_support.h"

namespace tembrel::bench {
namespace {

using test::TempDir;

// Three seconds of something music-like: a changing chord of harmonic notes and short
// noisy drum hits, the two channels slightly different.
AudioClip musicLike(int rate = 44100, int channels = 2, double seconds = 3.0) {
    AudioClip clip{rate, channels, {}};
    const std::size_t frames = std::size_t(seconds * rate);
    clip.samples.assign(frames * channels, 0.0f);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double chords[4][3] = {
        {220, 277.2, 329.6}, {196, 246.9, 293.7}, {174.6, 220, 261.6}, {196, 246.9, 329.6}};
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const auto& chord = chords[int(t * 2) % 4];
        const double beat = std::fmod(t, 0.25);
        const double hit = std::exp(-beat * 60.0) * noise(random);
        for (int c = 0; c < channels; ++c) {
            double v = 0;
            for (double f : chord)
                for (int h = 1; h <= 6; ++h)
                    v += std::sin(2 * std::numbers::pi * f * h * t * (1 + 0.001 * c)) / h;
            clip.samples[i * channels + c] = float(2500.0 * v + 6000.0 * hit);
        }
    }
    return clip;
}

AudioClip withWhiteNoise(const AudioClip& clip, double rms, unsigned seed = 1) {
    AudioClip out = clip;
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, rms);
    for (float& s : out.samples)
        s += float(noise(random));
    return out;
}

QualityScores measure(const AudioClip& reference, const AudioClip& test) {
    return measureQuality(reference.samples, test.samples, reference.channels, reference.rate);
}

TEST(NmrMeter, IdenticalSignalsReadFarBelowTheMask) {
    for (const auto& [rate, channels] : {std::pair{44100, 2}, {8000, 1}, {22050, 1}, {48000, 2}}) {
        const AudioClip clip = musicLike(rate, channels, 2.0);
        const QualityScores s = measure(clip, clip);
        EXPECT_LT(s.nmrDb, -30.0) << rate;
        EXPECT_GT(s.framesMeasured, 0) << rate;
        EXPECT_GE(s.snrDb, 100.0) << rate;
        EXPECT_DOUBLE_EQ(s.segSnrDb, 35.0) << rate;
    }
}

TEST(NmrMeter, MoreNoiseReadsWorseOnEveryScale) {
    const AudioClip clip = musicLike();
    QualityScores previous{};
    bool first = true;
    for (double rms : {3.0, 10.0, 30.0, 100.0, 300.0, 1000.0}) {
        const QualityScores s = measure(clip, withWhiteNoise(clip, rms));
        if (!first) {
            EXPECT_GT(s.nmrDb, previous.nmrDb + 3.0) << rms;
            EXPECT_LT(s.snrDb, previous.snrDb) << rms;
            EXPECT_LE(s.segSnrDb, previous.segSnrDb) << rms;
        }
        previous = s;
        first = false;
    }
    // Loud white noise on quiet music is plainly audible.
    EXPECT_GT(previous.nmrDb, 0.0);
    EXPECT_LT(previous.segSnrDb, 20.0);
}

// The same noise power reads far better hidden under a loud tone than alone in an
// empty part of the spectrum: the meter models masking, not just error power.
TEST(NmrMeter, NoiseUnderALoudToneIsMasked) {
    const int rate = 44100;
    AudioClip tone{rate, 1, std::vector<float>(rate * 2)};
    for (std::size_t i = 0; i < tone.samples.size(); ++i)
        tone.samples[i] = float(15000.0 * std::sin(2 * std::numbers::pi * 1000.0 * i / rate));
    // Two narrow noise bands of equal power: one around the tone, one far above it.
    const auto noiseBand = [&](double hz) {
        AudioClip out = tone;
        std::mt19937 random(3);
        std::normal_distribution<double> n(0.0, 1.0);
        double phase = 0;
        for (float& s : out.samples) {
            phase += 2 * std::numbers::pi * (hz + 30.0 * n(random)) / rate;
            s += float(200.0 * std::sin(phase));
        }
        return out;
    };
    const QualityScores near = measure(tone, noiseBand(1100.0));
    const QualityScores far = measure(tone, noiseBand(9000.0));
    EXPECT_NEAR(near.snrDb, far.snrDb, 1.0);
    EXPECT_LT(near.nmrDb, far.nmrDb - 10.0);
}

TEST(NmrMeter, SilenceIsLeftOutAndDoesNotBreakTheMeasure) {
    const AudioClip clip = musicLike(44100, 2, 2.0);
    const AudioClip noisy = withWhiteNoise(clip, 100.0);
    // The same signals after a second of digital silence measure the same.
    AudioClip paddedRef = shiftedClip(clip, -44100, clip.frames() + 44100);
    AudioClip paddedTest = shiftedClip(noisy, -44100, noisy.frames() + 44100);
    const QualityScores plain = measure(clip, noisy);
    const QualityScores padded = measure(paddedRef, paddedTest);
    EXPECT_NEAR(padded.nmrDb, plain.nmrDb, 0.5);
    EXPECT_NEAR(padded.segSnrDb, plain.segSnrDb, 0.5);
    // Noise a codec adds in the reference's leading silence still counts.
    AudioClip noisyLead = paddedTest;
    std::mt19937 random(5);
    std::normal_distribution<double> hiss(0.0, 300.0);
    for (std::size_t i = 2 * 4410; i < 2 * 22050; ++i)
        noisyLead.samples[i] = float(hiss(random));
    EXPECT_GT(measure(paddedRef, noisyLead).nmrDb, padded.nmrDb + 3.0);

    // Nothing audible at all, nothing at all, and mismatched lengths.
    AudioClip silent{44100, 2, std::vector<float>(88200, 0.0f)};
    QualityScores s = measure(silent, silent);
    EXPECT_EQ(s.framesMeasured, 0);
    EXPECT_EQ(s.nmrDb, kNmrFloorDb);
    s = measureQuality({}, {}, 2, 44100);
    EXPECT_EQ(s.framesMeasured, 0);
    s = measureQuality(clip.samples, std::span<const float>(noisy.samples).first(1001), 2, 44100);
    EXPECT_EQ(s.framesMeasured, 0);
    s = measureQuality(clip.samples, noisy.samples, 0, 44100);
    EXPECT_EQ(s.framesMeasured, 0);
}

// LAME at 128 kbit/s must read better than at 64 kbit/s on every scale, once its
// output is aligned to the source by cross-correlation.
TEST(NmrMeter, LameAtHigherBitRateReadsBetter) {
    if (!test::haveTool("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const AudioClip clip = musicLike();
    ASSERT_TRUE(writeWav(dir.file("source.wav"), clip));
    AudioClip reread = *readWav(dir.file("source.wav"));

    QualityScores scores[2];
    const int rates[2] = {128, 64};
    for (int i = 0; i < 2; ++i) {
        const ToolRoundTrip lame =
            lameRoundTrip(dir.file("source.wav"), dir.path().string(), 44100, 2, rates[i], 1);
        ASSERT_TRUE(lame.ok);
        const long lag = findLag(monoMix(reread), monoMix(lame.decoded), 4096);
        EXPECT_LE(std::abs(lag), 2000);
        const AudioClip aligned = shiftedClip(lame.decoded, lag, reread.frames());
        scores[i] = measure(reread, aligned);
        // Aligned, the decoded waveform resembles its source; one millisecond off, it
        // does not (the NMR, built on magnitude spectra, hardly notices such a shift).
        EXPECT_GT(scores[i].snrDb, 10.0) << rates[i];
        const QualityScores skewed =
            measure(reread, shiftedClip(lame.decoded, lag + 44, reread.frames()));
        EXPECT_LT(skewed.snrDb, 3.0) << rates[i];
        std::printf("LAME %d kbit/s: lag %ld, NMR %.2f dB, SNR %.2f dB, segmental SNR %.2f dB\n",
                    rates[i], lag, scores[i].nmrDb, scores[i].snrDb, scores[i].segSnrDb);
    }
    EXPECT_LT(scores[0].nmrDb, scores[1].nmrDb);
    EXPECT_GT(scores[0].snrDb, scores[1].snrDb);
    EXPECT_GT(scores[0].segSnrDb, scores[1].segSnrDb);
}

// Opus codes at 48 kHz inside whatever the rate: its output must come back at the
// configuration's rate and channels, as long as the input, and close to aligned (opusdec
// drops the encoder's delay; only the resamplers' short delays may be left), and a higher
// bit rate must read better.
TEST(NmrMeter, OpusRoundTripsAtEveryRateAndAligns) {
    if (!test::haveTool("opusenc") || !test::haveTool("opusdec"))
        GTEST_SKIP() << "opus-tools is not installed";
    TempDir dir;
    struct Case {
        int rate, channels, kbps;
    };
    for (const Case c : {Case{8000, 1, 8}, Case{11025, 1, 10}, Case{16000, 2, 32},
                         Case{22050, 2, 48}, Case{44100, 2, 96}}) {
        SCOPED_TRACE(std::to_string(c.rate) + "/" + std::to_string(c.channels));
        const std::string source = dir.file("source " + std::to_string(c.rate) + ".wav");
        ASSERT_TRUE(writeWav(source, musicLike(c.rate, c.channels, 2.0)));
        const AudioClip reread = *readWav(source);
        QualityScores scores[2];
        for (int i = 0; i < 2; ++i) {
            const int kbps = c.kbps * (i + 1);
            const ToolRoundTrip opus =
                opusRoundTrip(source, dir.path().string(), c.rate, c.channels, kbps, 2);
            ASSERT_TRUE(opus.ok) << opus.error;
            EXPECT_EQ(opus.encodeCpuSeconds.size(), 2u);
            EXPECT_NEAR(double(opus.decoded.frames()), double(reread.frames()), c.rate * 0.01);
            const long lag = findLag(monoMix(reread), monoMix(opus.decoded), 4096);
            EXPECT_LE(std::abs(lag), c.rate / 1000) << "lag " << lag;
            const AudioClip aligned = shiftedClip(opus.decoded, lag, reread.frames());
            scores[i] = measure(reread, aligned);
            std::printf("Opus %d Hz %d ch %d kbit/s: lag %ld, NMR %.2f dB, SNR %.2f dB\n", c.rate,
                        c.channels, kbps, lag, scores[i].nmrDb, scores[i].snrDb);
        }
        EXPECT_LT(scores[1].nmrDb, scores[0].nmrDb);
        // Aligned, the waveform resembles its source.
        EXPECT_GT(scores[1].snrDb, 8.0);
    }

    // A file opusenc cannot read fails as a failure, with the step named.
    const ToolRoundTrip missing =
        opusRoundTrip(dir.file("missing.wav"), dir.path().string(), 22050, 1, 24, 1);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "opus encoder failed");
}

}  // namespace
}  // namespace tembrel::bench
