// Encoding and decoding through the frame layout at every configuration: exact frame lengths,
// field ranges, the two-frame delay, block switching and a quality floor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "codec/tools/test_signals.h"
#include "tests/codec/codec_session.h"

namespace tembrel::test {
namespace {

// Normalised correlation of `out` against `ref` shifted by `lag` samples, per channel summed.
double correlation(const std::vector<float>& ref, const std::vector<float>& out, int channels,
                   int frames, int lag) {
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (int ch = 0; ch < channels; ++ch) {
        for (int i = std::max(0, -lag); i < frames && i + lag < frames; ++i) {
            const double x = ref[ch * frames + i];
            const double y = out[ch * frames + i + lag];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
    }
    return xy / std::sqrt(std::max(xx * yy, 1e-30));
}

class RoundTripTest : public testing::TestWithParam<CodecConfig> {};

// General floor for the simpler signals (tones, one-sided stereo).
constexpr double kSnrFloorDb = 2.0;

// Per configuration: the lower of the SNRs measured on the 1.5 s music and speech clips, less
// about 1 dB of margin for tuning. (Measured: 8 kHz 2.4/3.1, 11 kHz 3.2-4.7, 16 kHz 3.6/4.4,
// 22 kHz 4.0-6.9, 44 kHz 6.8-7.8 dB.) The codec is tuned for the noise-to-mask ratio, not
// the SNR, so these are floors against breakage rather than quality goals.
double snrFloorDb(const CodecConfig& c) {
    struct Floor {
        int khz, channels, kbps;
        double db;
    };
    static const Floor floors[] = {
        {8, 1, 8, 1.5},   {8, 2, 16, 2.0},  {11, 1, 8, 2.0},  {11, 1, 10, 2.5}, {11, 2, 16, 2.5},
        {11, 2, 20, 3.5}, {16, 1, 16, 2.5}, {16, 2, 32, 3.5}, {22, 1, 20, 3.0}, {22, 1, 24, 4.0},
        {22, 1, 32, 4.5}, {22, 2, 40, 3.0}, {22, 2, 48, 3.5}, {22, 2, 64, 6.0}, {44, 1, 40, 6.5},
        {44, 1, 48, 6.0}, {44, 2, 80, 5.5}, {44, 2, 96, 6.5},
    };
    for (const Floor& f : floors) {
        if (f.khz == c.khz && f.channels == c.channels && f.kbps == c.kbps) {
            return f.db;
        }
    }
    return kSnrFloorDb;
}

TEST_P(RoundTripTest, MusicAndSpeechComeBackAlignedAndAboveTheFloor) {
    const CodecConfig c = GetParam();
    const int rate = rateHz(c.khz);
    const int frames = rate * 3 / 2;
    for (int clip = 0; clip < 2; ++clip) {
        SCOPED_TRACE(clip == 0 ? "music" : "speech");
        const std::vector<float> input = clip == 0 ? tvq::signals::music(rate, c.channels, frames)
                                                   : tvq::signals::speech(rate, c.channels, frames);
        const RoundTrip rt = roundTrip(c, input, frames);
        EXPECT_GT(snrDb(input, rt.output), snrFloorDb(c));
        // Aligned: no other shift fits better, neither by a few samples nor by frames.
        const int n = rt.frameSize;
        const double atZero = correlation(input, rt.output, c.channels, frames, 0);
        EXPECT_GT(atZero, 0.5);
        for (int lag : {-2 * n, -n, -n / 2, -3, -1, 1, 3, n / 2, n, 2 * n}) {
            EXPECT_LT(correlation(input, rt.output, c.channels, frames, lag), atZero)
                << "lag " << lag;
        }
    }
}

TEST_P(RoundTripTest, BlockTypesFollowTheSignal) {
    const CodecConfig c = GetParam();
    const int rate = rateHz(c.khz);
    const int frames = rate;
    // Silence and a steady tone stay in long blocks and decode to (near) what went in.
    const std::vector<float> silence(c.channels * frames, 0.0f);
    RoundTrip rt = roundTrip(c, silence, frames);
    EXPECT_EQ(rt.blockTypeCount[1] + rt.blockTypeCount[2], 0);
    EXPECT_LT(*std::max_element(rt.output.begin(), rt.output.end(),
                                [](float a, float b) { return std::fabs(a) < std::fabs(b); }),
              4.0f);

    std::vector<float> tone(c.channels * frames);
    for (int i = 0; i < c.channels * frames; ++i) {
        tone[i] =
            static_cast<float>(10000.0 * std::sin(2.0 * 3.14159265 * 440.0 * (i % frames) / rate));
    }
    rt = roundTrip(c, tone, frames);
    // Only the onset, in the first windows, may be coded in short blocks.
    EXPECT_EQ(std::count(rt.blockTypes.begin() + 3, rt.blockTypes.end(), 2), 0);
    EXPECT_GT(snrDb(tone, rt.output), kSnrFloorDb);

    // Sharp clicks after quiet: the transient detector switches to short blocks.
    std::vector<float> clicks(c.channels * frames, 0.0f);
    tvq::signals::Lcg rng(7);
    for (int ch = 0; ch < c.channels; ++ch) {
        for (int i = 0; i < frames; ++i) {
            clicks[ch * frames + i] = 30.0f * rng.uniform();
        }
        for (int at = rate / 5; at < frames; at += rate / 4) {
            for (int i = 0; i < 200 && at + i < frames; ++i) {
                clicks[ch * frames + at + i] += 20000.0f * rng.uniform() * std::exp(-i / 60.0f);
            }
        }
    }
    rt = roundTrip(c, clicks, frames);
    EXPECT_GT(rt.blockTypeCount[2], 0);
    // Pre-echo stays small: well before each click the output is still quiet.
    const int n = rt.frameSize;
    for (int at = rate / 5; at < frames; at += rate / 4) {
        double before = 0.0;
        const int from = std::max(0, at - n / 2);
        const int to = std::max(0, at - n / 4);
        for (int i = from; i < to; ++i) {
            before = std::max(before, std::fabs(double{rt.output[i]}));
        }
        EXPECT_LT(before, 2000.0) << "click at " << at;
    }
}

// The stereo configurations, one second of input each.
class StereoRoundTrip : public testing::TestWithParam<CodecConfig> {
  protected:
    const CodecConfig& c = GetParam();
    const int rate = rateHz(c.khz);
    const int frames = rate;
};

std::vector<CodecConfig> stereoConfigs() {
    std::vector<CodecConfig> stereo;
    std::copy_if(allConfigs().begin(), allConfigs().end(), std::back_inserter(stereo),
                 [](const CodecConfig& c) { return c.channels == 2; });
    return stereo;
}

TEST_P(StereoRoundTrip, SharedAndOneSidedMaterialKeepTheirImage) {
    const std::vector<float> mono = tvq::signals::music(rate, 1, frames);
    // The same signal in both channels comes back the same in both.
    std::vector<float> both(mono);
    both.insert(both.end(), mono.begin(), mono.end());
    RoundTrip rt = roundTrip(c, both, frames);
    std::vector<float> left(rt.output.begin(), rt.output.begin() + frames);
    std::vector<float> right(rt.output.begin() + frames, rt.output.end());
    EXPECT_GT(snrDb(mono, left), kSnrFloorDb);
    EXPECT_GT(snrDb(left, right), 20.0);
    // A signal in the left channel only leaves the right one silent.
    std::vector<float> oneSided(mono);
    oneSided.resize(2 * frames, 0.0f);
    rt = roundTrip(c, oneSided, frames);
    left.assign(rt.output.begin(), rt.output.begin() + frames);
    EXPECT_GT(snrDb(mono, left), kSnrFloorDb);
    double rightPower = 0.0;
    for (int i = frames; i < 2 * frames; ++i) {
        rightPower += double{rt.output[i]} * rt.output[i];
    }
    EXPECT_LT(rightPower / frames, 1.0);
}

// Power of `x` at `hz` (Goertzel), per sample.
double tonePower(const float* x, int count, double hz, int rate) {
    const double w = 2.0 * M_PI * hz / rate;
    double s1 = 0.0, s2 = 0.0;
    for (int i = 0; i < count; ++i) {
        const double s0 = x[i] + 2.0 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return (s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2) / count / count;
}

TEST_P(StereoRoundTrip, HighsInOneChannelStayOutOfTheOtherOverSharedLows) {
    // Shared lows make the frame mid/side; a tone in the left channel's highs must not leak
    // into the right one through the imperfect cancellation of coded mid and side.
    const double high = 0.3 * rate;
    std::vector<float> pcm(2 * frames);
    for (int i = 0; i < frames; ++i) {
        const float low = 8000.0f * static_cast<float>(std::sin(2.0 * M_PI * 220.0 * i / rate));
        pcm[i] = low + 3000.0f * static_cast<float>(std::sin(2.0 * M_PI * high * i / rate));
        pcm[frames + i] = low;
    }
    const RoundTrip rt = roundTrip(c, pcm, frames);
    const double left = tonePower(rt.output.data(), frames, high, rate);
    const double right = tonePower(rt.output.data() + frames, frames, high, rate);
    ASSERT_GT(left, 0.0);
    // (With one mode for the whole frame, 44.1 kHz at 80 kbit/s gave the right channel more
    // of the tone than the left one.)
    EXPECT_LT(10.0 * std::log10(std::max(right, 1e-30) / left), -30.0);
}

std::string configName(const testing::TestParamInfo<CodecConfig>& info) {
    const CodecConfig& c = info.param;
    return std::to_string(c.khz) + "kHz" + (c.channels == 2 ? "Stereo" : "Mono") +
           std::to_string(c.kbps);
}
INSTANTIATE_TEST_SUITE_P(AllConfigurations, RoundTripTest, testing::ValuesIn(allConfigs()),
                         configName);
INSTANTIATE_TEST_SUITE_P(StereoConfigurations, StereoRoundTrip, testing::ValuesIn(stereoConfigs()),
                         configName);

}  // namespace
}  // namespace tembrel::test
