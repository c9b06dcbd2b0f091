#include <gtest/gtest.h>

#include "driver/convert_settings.h"

namespace tembrel {
namespace {

TEST(ConvertSettings, ChoicesMatchTheBitRateTable) {
    for (std::size_t i = 0; i < kBitRateChoices.size(); ++i) {
        const BitRateChoice& c = kBitRateChoices[i];
        EXPECT_TRUE(isOfferedBitRate(c, c.defaultValue)) << i;
        EXPECT_EQ(c.channelMode, i < 3 ? 0 : 1);
    }
    EXPECT_EQ(kBitRateChoices[0].kHz, 11);
    EXPECT_EQ(kBitRateChoices[4].kHz, 22);
    EXPECT_EQ(kBitRateChoices[5].kHz, 44);
    EXPECT_FALSE(isOfferedBitRate(kBitRateChoices[0], 12));
    EXPECT_FALSE(isOfferedBitRate(kBitRateChoices[2], 4));
    EXPECT_EQ(offeredBitRatesText(kBitRateChoices[0]), "8 or 10");
    EXPECT_EQ(offeredBitRatesText(kBitRateChoices[1]), "20, 24 or 32");
}

TEST(ConvertSettings, ListTextsAndValues) {
    EXPECT_EQ(bitRateOfText("24"), 24);
    EXPECT_EQ(bitRateOfText("24k"), std::nullopt);
    EXPECT_EQ(bitRateOfText(""), std::nullopt);
    // A value is shown by the first entry whose text begins with it.
    EXPECT_EQ(choiceIndexOf(kBitRateChoices[4], 64), 2);
    EXPECT_EQ(choiceIndexOf(kBitRateChoices[4], 4), 0);
    EXPECT_EQ(choiceIndexOf(kBitRateChoices[5], 64), -1);
}

}  // namespace
}  // namespace tembrel
