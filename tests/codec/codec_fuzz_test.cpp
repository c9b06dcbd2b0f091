// The decoder takes any frame: every field value within its width, and values far outside,
// decode to finite samples of bounded size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "codec/tools/test_signals.h"
#include "tests/codec/codec_session.h"

namespace tembrel::test {
namespace {

class SplitMix {
  public:
    explicit SplitMix(uint64_t seed) : s_(seed) {}
    uint64_t next() {
        uint64_t z = (s_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

  private:
    uint64_t s_;
};

TEST(CodecFuzz, RandomFramesDecodeToFiniteSamples) {
    SplitMix rng(12345);
    for (const CodecConfig& c : allConfigs()) {
        SCOPED_TRACE(testing::Message() << c.khz << " kHz " << c.channels << " ch " << c.kbps);
        HeaderInfo h = headerFor(c);
        FrameIndex dec{};
        ASSERT_EQ(TvqInitialize(&h, &dec, 0), 0);
        ConfInfo conf{};
        VectorInfo widths{};
        TvqGetConfInfo(&conf);
        TvqGetVectorInfo(widths.shape0Bits, widths.shape1Bits);
        const int n = TvqGetFrameSize();
        std::vector<float> out(c.channels * n);
        for (int f = 0; f < 120; ++f) {
            const int mode = f % 4;  // 0-1 within width, 2 extreme values, 3 arbitrary words
            dec.blockType = static_cast<int32_t>(rng.next() % 3);
            forEachField(conf, widths, dec, TvqUpdateVectorInfo, [&](int width, int32_t& v) {
                const uint64_t r = rng.next();
                if (mode < 2) {
                    v = static_cast<int32_t>(r & ((1u << width) - 1u));
                } else if (mode == 2) {
                    v = (r & 1) ? static_cast<int32_t>((1u << width) - 1u) : INT32_MIN;
                } else {
                    v = static_cast<int32_t>(r);
                }
            });
            if (mode < 2) {
                dec.windowType = dec.blockType * 3 + static_cast<int32_t>(rng.next() % 3);
            }
            for (int ch = 0; ch < 2; ++ch) {
                dec.pitchIndex[ch] = static_cast<int32_t>(rng.next());
                dec.pitchGainIndex[ch] = static_cast<int32_t>(rng.next());
            }
            TvqDecodeFrame(&dec, out.data());
            for (float v : out) {
                ASSERT_TRUE(std::isfinite(v)) << "frame " << f;
                ASSERT_LE(std::fabs(v), 1048576.0f) << "frame " << f;
            }
        }
        TvqTerminate(&dec);
    }
}

TEST(CodecFuzz, EncoderSurvivesExtremeInput) {
    const CodecConfig c{44, 2, 96};
    HeaderInfo h = headerFor(c);
    EncoderOptions options{32};
    FrameIndex enc{};
    ASSERT_EQ(TvqEncInitialize(&h, &options, &enc, 0), 0);
    ConfInfo conf{};
    VectorInfo widths{};
    TvqEncGetConfInfo(&conf);
    TvqEncGetVectorInfo(widths.shape0Bits, widths.shape1Bits);
    const int n = TvqEncGetFrameSize();
    std::vector<float> in(2 * n);
    tvq::signals::Lcg rng(3);
    for (int f = 0; f < 12; ++f) {
        for (int i = 0; i < 2 * n; ++i) {
            switch (f % 4) {
                case 0:
                    in[i] = (i % 2) ? 32767.0f : -32768.0f;
                    break;
                case 1:
                    in[i] = i == n / 2 ? NAN : 1e30f * rng.uniform();
                    break;
                case 2:
                    in[i] = INFINITY;
                    break;
                default:
                    in[i] = 1e-30f;
                    break;
            }
        }
        TvqEncodeFrame(in.data(), &enc);
        forEachField(conf, widths, enc, TvqEncUpdateVectorInfo, [&](int width, int32_t& v) {
            EXPECT_GE(v, 0);
            EXPECT_LT(static_cast<int64_t>(v), int64_t{1} << width);
        });
    }
    TvqEncTerminate(&enc);
}

}  // namespace
}  // namespace tembrel::test
