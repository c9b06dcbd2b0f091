// The encoder driver's own arithmetic: bit-rate lookup, PCM framing, song names.
#include <gtest/gtest.h>

#include <vector>

#include "twinvq/encoder_driver.h"

namespace tembrel {
namespace {

TEST(LookupBitRate, FixedRatesTableRatesAndRatesWithoutOne) {
    EncoderDriver driver;
    EXPECT_EQ(driver.lookupBitRate(8, 0), 8);
    EXPECT_EQ(driver.lookupBitRate(8, 1), 16);
    EXPECT_EQ(driver.lookupBitRate(16, 0), 16);
    EXPECT_EQ(driver.lookupBitRate(16, 1), 32);
    EXPECT_EQ(driver.lookupBitRate(11, 0), 10);
    EXPECT_EQ(driver.lookupBitRate(22, 0), 32);
    EXPECT_EQ(driver.lookupBitRate(44, 0), 48);
    EXPECT_EQ(driver.lookupBitRate(11, 1), 20);
    EXPECT_EQ(driver.lookupBitRate(22, 1), 64);
    EXPECT_EQ(driver.lookupBitRate(44, 1), 96);
    EXPECT_EQ(driver.lookupBitRate(48, 0), 0);
    EXPECT_EQ(driver.lookupBitRate(48, 1), 0);
    EXPECT_EQ(driver.lookupBitRate(32, 1), 0);
    // More than two channels: the mono row times the mode.
    EXPECT_EQ(driver.lookupBitRate(44, 2), 96);
    EXPECT_EQ(driver.lookupBitRate(8, 3), 24);
    EXPECT_EQ(driver.lookupBitRate(44, -1), 0);

    const int32_t rates[6] = {8, 24, 40, 16, 48, 80};
    driver.copyBitRates(rates);
    EXPECT_EQ(driver.lookupBitRate(11, 0), 8);
    EXPECT_EQ(driver.lookupBitRate(22, 0), 24);
    EXPECT_EQ(driver.lookupBitRate(44, 0), 40);
    EXPECT_EQ(driver.lookupBitRate(11, 1), 16);
    EXPECT_EQ(driver.lookupBitRate(22, 1), 48);
    EXPECT_EQ(driver.lookupBitRate(44, 1), 80);
    EXPECT_EQ(driver.lookupBitRate(16, 1), 32);
}

TEST(PcmToChannelMajor, EightBitIsUnsignedAndScaled) {
    const std::vector<uint8_t> pcm = {0x00, 0x80, 0xFF, 0x81};
    std::vector<float> out(6, 99.0f);
    pcmToChannelMajor(pcm, 8, 1, 6, out);
    EXPECT_EQ(out, (std::vector<float>{-32768.0f, 0.0f, 32512.0f, 256.0f, 0.0f, 0.0f}));
}

TEST(PcmToChannelMajor, SixteenBitStereoIsSplitByChannelAndPadded) {
    // Left 1, right -2, left 0x1234, right -32768, then one lone byte.
    const std::vector<uint8_t> pcm = {0x01, 0x00, 0xFE, 0xFF, 0x34, 0x12, 0x00, 0x80, 0x07};
    std::vector<float> out(8, 99.0f);
    pcmToChannelMajor(pcm, 16, 2, 4, out);
    EXPECT_EQ(out, (std::vector<float>{1, 4660, 0, 0, -2, -32768, 0, 0}));
}

TEST(PcmToChannelMajor, IncompleteSampleGroupIsIgnoredAndNothingGivesSilence) {
    const std::vector<uint8_t> pcm = {0x10, 0x00, 0x20, 0x00, 0x30, 0x00};  // 1.5 groups
    std::vector<float> out(4, 99.0f);
    pcmToChannelMajor(pcm, 16, 2, 2, out);
    EXPECT_EQ(out, (std::vector<float>{16, 0, 32, 0}));
    pcmToChannelMajor({}, 16, 2, 2, out);
    EXPECT_EQ(out, (std::vector<float>{0, 0, 0, 0}));
}

}  // namespace
}  // namespace tembrel
