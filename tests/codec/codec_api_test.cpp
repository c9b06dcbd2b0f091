// The libraries' set-up contract: which configurations they take, what they report, and that
// every block type's frame layout adds up to the fixed frame length.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/codec/codec_session.h"

namespace tembrel::test {
namespace {

TEST(CodecApi, VersionIdIsWrittenAndOnlyItIsAccepted) {
    char id[kTvqIdSize];
    std::memset(id, 'x', sizeof id);
    TvqGetVersionID(0, id);
    EXPECT_STREQ(id, "TWIN97012000");
    EXPECT_EQ(TvqCheckVersion("TWIN97012000"), 0);
    EXPECT_EQ(TvqCheckVersion("TWIN97012001"), -1);
    EXPECT_EQ(TvqCheckVersion("TWIN9701200"), -1);
    EXPECT_EQ(TvqCheckVersion(""), -1);
}

TEST(CodecApi, UnsupportedConfigurationsAreRefused) {
    const CodecConfig refused[] = {
        {44, 2, 0},  {44, 1, 0}, {48, 2, 96}, {32, 1, 40}, {11, 1, 16}, {44, 1, 96},
        {22, 2, 20}, {8, 1, 16}, {0, 1, 8},   {16, 1, 8},  {44, 3, 96}, {44, 0, 40},
    };
    for (const CodecConfig& c : refused) {
        HeaderInfo h = headerFor(c);
        EncoderOptions options{32};
        FrameIndex index{};
        EXPECT_NE(TvqEncInitialize(&h, &options, &index, 0), 0)
            << c.khz << " kHz " << c.channels << " ch " << c.kbps;
        EXPECT_NE(TvqInitialize(&h, &index, 0), 0)
            << c.khz << " kHz " << c.channels << " ch " << c.kbps;
    }
    HeaderInfo wrongId = headerFor({44, 2, 96});
    std::memcpy(wrongId.id, "TWIN97012001", 13);
    FrameIndex index{};
    EXPECT_NE(TvqInitialize(&wrongId, &index, 0), 0);
}

TEST(CodecApi, EveryConfigurationReportsAConsistentLayout) {
    for (const CodecConfig& c : allConfigs()) {
        SCOPED_TRACE(testing::Message() << c.khz << " kHz " << c.channels << " ch " << c.kbps);
        HeaderInfo h = headerFor(c);
        EncoderOptions options{32};
        FrameIndex enc{}, dec{};
        ASSERT_EQ(TvqEncInitialize(&h, &options, &enc, 0), 0);
        ASSERT_EQ(TvqInitialize(&h, &dec, 0), 0);
        EXPECT_EQ(static_cast<int>(TvqGetSamplingRate()), rateHz(c.khz));
        EXPECT_EQ(TvqGetNumChannels(), c.channels);
        const int n = TvqGetFrameSize();
        EXPECT_EQ(TvqEncGetFrameSize(), n);
        // The nominal rate times the frame's duration, rounded up.
        const int64_t exact = int64_t{c.kbps} * 1000 * n;
        const int64_t rate = rateHz(c.khz);
        EXPECT_EQ(TvqGetNumFixedBitsPerFrame(), (exact + rate - 1) / rate);

        ConfInfo encConf{}, decConf{};
        VectorInfo encWidths{}, decWidths{};
        TvqEncGetConfInfo(&encConf);
        TvqGetConfInfo(&decConf);
        TvqEncGetVectorInfo(encWidths.shape0Bits, encWidths.shape1Bits);
        TvqGetVectorInfo(decWidths.shape0Bits, decWidths.shape1Bits);
        EXPECT_EQ(std::memcmp(&encConf, &decConf, sizeof encConf), 0);
        EXPECT_EQ(encConf.numChannels, c.channels);
        for (int type = 0; type < 3; ++type) {
            for (int i = 0; i < encConf.blocks[type].shapeVectorCount; ++i) {
                EXPECT_EQ(encWidths.shape0Bits[type][i], decWidths.shape0Bits[type][i]);
                EXPECT_EQ(encWidths.shape1Bits[type][i], decWidths.shape1Bits[type][i]);
            }
            FrameIndex probe = enc;
            probe.blockType = type;
            int total = 0;
            forEachField(encConf, encWidths, probe, TvqEncUpdateVectorInfo,
                         [&](int width, int32_t&) {
                             EXPECT_GT(width, 0);
                             EXPECT_LE(width, 31);
                             total += width;
                         });
            EXPECT_EQ(total, TvqGetNumFixedBitsPerFrame()) << "block type " << type;
        }
        // The short-block update leaves the two sides in step.
        int32_t encCount = -1, decCount = -1;
        std::vector<int32_t> e0(encConf.blocks[2].shapeVectorCount), e1(e0.size()), d0(e0.size()),
            d1(e0.size());
        TvqEncUpdateVectorInfo(0, &encCount, e0.data(), e1.data());
        TvqUpdateVectorInfo(0, &decCount, d0.data(), d1.data());
        EXPECT_EQ(encCount, decCount);
        EXPECT_EQ(encCount, encConf.blocks[2].shapeVectorCount);
        EXPECT_EQ(e0, d0);
        EXPECT_EQ(e1, d1);
        TvqEncTerminate(&enc);
        TvqTerminate(&dec);
    }
}

TEST(CodecApi, WindowTypesMapToBlockTypesAndInvalidOnesAreRefused) {
    HeaderInfo h = headerFor({44, 2, 96});
    FrameIndex dec{};
    ASSERT_EQ(TvqInitialize(&h, &dec, 0), 0);
    ConfInfo conf{};
    TvqGetConfInfo(&conf);
    int seen[3] = {0, 0, 0};
    for (int w = 0; w < (1 << conf.windowTypeBits); ++w) {
        int type = -1;
        if (TvqWtypeToBtype(w, &type) == 0) {
            ASSERT_GE(type, 0);
            ASSERT_LE(type, 2);
            ++seen[type];
        }
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
    int type = -1;
    EXPECT_NE(TvqWtypeToBtype(-1, &type), 0);
    EXPECT_NE(TvqWtypeToBtype(1 << conf.windowTypeBits, &type), 0);
    TvqTerminate(&dec);
}

TEST(CodecApi, RepeatedSessionsStartAfresh) {
    // Both libraries at once, many times, alternating configurations; the second session of a
    // configuration must decode the same bits to the same samples as the first.
    std::vector<float> first, again;
    for (int round = 0; round < 60; ++round) {
        const CodecConfig& c = allConfigs()[round % allConfigs().size()];
        HeaderInfo h = headerFor(c);
        EncoderOptions options{32};
        FrameIndex enc{}, dec{};
        ASSERT_EQ(TvqEncInitialize(&h, &options, &enc, 0), 0);
        ASSERT_EQ(TvqInitialize(&h, &dec, 0), 0);
        const int n = TvqGetFrameSize();
        std::vector<float> in(c.channels * n), out(c.channels * n);
        for (int i = 0; i < n * c.channels; ++i) {
            in[i] = static_cast<float>(8000.0 * std::sin(i * 0.07));
        }
        ConfInfo conf{};
        TvqGetConfInfo(&conf);
        for (int f = 0; f < 3; ++f) {
            TvqEncodeFrame(in.data(), &enc);
        }
        TvqDecodeFrame(&dec, out.data());
        if (round == 0) {
            first = out;
        } else if (round == static_cast<int>(allConfigs().size())) {
            again = out;
        }
        TvqEncTerminate(&enc);
        TvqTerminate(&dec);
        EXPECT_EQ(enc.shapeIndex, nullptr);
        EXPECT_EQ(dec.shapeIndex, nullptr);
    }
    EXPECT_EQ(first, again);
}

TEST(CodecApi, CallsWithoutASessionAreHarmless) {
    EXPECT_EQ(TvqGetFrameSize(), 0);
    EXPECT_EQ(TvqEncGetFrameSize(), 0);
    EXPECT_EQ(TvqGetNumFixedBitsPerFrame(), 0);
    FrameIndex index{};
    float samples[4] = {0, 0, 0, 0};
    EXPECT_NE(TvqDecodeFrame(&index, samples), 0);
    EXPECT_NE(TvqEncodeFrame(samples, &index), 0);
    TvqTerminate(nullptr);
    TvqEncTerminate(nullptr);
}

}  // namespace
}  // namespace tembrel::test
