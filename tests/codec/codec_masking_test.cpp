// The encoder's masking model: how a tone masks its neighbours, how that changes with level,
// and that any input gives usable thresholds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "codec/enc/masking_model.h"

using namespace tembrel::tvq;

namespace {

constexpr int kRate = 44100;

double barkOf(double hz) {
    return 7.0 * std::asinh(hz / 650.0);
}

int binOfHz(double hz, int bins) {
    return static_cast<int>(hz * 2.0 * bins / kRate);
}

// Bin of the frequency `barks` above or below `hz`.
int binAtBarkOffset(double hz, double barks, int bins) {
    return binOfHz(650.0 * std::sinh((barkOf(hz) + barks) / 7.0), bins);
}

// Power spectrum of a sine `levelDb` below full scale centred on one bin (the transform is
// orthonormal: a full-scale sine puts bins * 32767^2 / 2 into the block).
std::vector<float> tone(int bins, int bin, double levelDb) {
    std::vector<float> power(bins, 0.0f);
    power[bin] = static_cast<float>(bins * 32767.0 * 32767.0 / 2.0 * std::pow(10.0, levelDb / 10));
    return power;
}

double db(double power) {
    return 10.0 * std::log10(power);
}

}  // namespace

TEST(MaskingModel, AToneMasksUpwardsMoreThanDownwardsAndLouderTonesReachFurther) {
    const int bins = 1024;
    const MaskingModel model(bins, kRate);
    const int centre = binOfHz(1000.0, bins);
    const int above = binAtBarkOffset(1000.0, 2.0, bins);
    const int below = binAtBarkOffset(1000.0, -2.0, bins);
    std::vector<float> loud, quiet;
    model.threshold(tone(bins, centre, 0.0).data(), loud);
    model.threshold(tone(bins, centre, -40.0).data(), quiet);

    // Two bark up the mask is higher than two bark down (slopes of about 27 dB per bark below,
    // much less above a loud tone).
    EXPECT_GT(db(loud[above]), db(loud[below]) + 10.0);
    // Near the tone the mask follows the tone's level (a louder tone spreads its energy wider,
    // so a little less stays at the centre)...
    EXPECT_NEAR(db(loud[centre]) - db(quiet[centre]), 40.0, 3.0);
    // ...while above it the louder tone's mask falls off more slowly.
    EXPECT_GT(db(loud[above]) - db(quiet[above]), 40.0 + 5.0);
    // The mask stays below the tone it comes from.
    EXPECT_LT(loud[centre], tone(bins, centre, 0.0)[centre]);
}

TEST(MaskingModel, QuietBandsAreMaskedByTheEarsOwnNoiseMostAtTheEdgesOfHearing) {
    for (const int bins : {128, 256, 512, 1024}) {
        const MaskingModel model(bins, kRate);
        const std::vector<float> silence(bins, 0.0f);
        std::vector<float> threshold;
        model.threshold(silence.data(), threshold);
        ASSERT_EQ(static_cast<int>(threshold.size()), bins);
        for (const float t : threshold) {
            ASSERT_TRUE(std::isfinite(t) && t > 0.0f) << bins;
        }
        // The ear hears best around 3-4 kHz: quiet noise there is masked least.
        const float mid = threshold[binOfHz(3500.0, bins)];
        EXPECT_GT(threshold[binOfHz(100.0, bins)], mid) << bins;
        EXPECT_GT(threshold[binOfHz(16000.0, bins)], 10.0f * mid) << bins;
    }
}

TEST(MaskingModel, ExtremeInputsGiveFiniteThresholds) {
    const int bins = 256;
    const MaskingModel model(bins, 8000);
    std::vector<float> threshold;
    for (const float value : {1e-30f, 1.0f, 1e12f, std::numeric_limits<float>::max() / 1e6f}) {
        const std::vector<float> power(bins, value);
        model.threshold(power.data(), threshold);
        for (const float t : threshold) {
            ASSERT_TRUE(std::isfinite(t) && t > 0.0f) << value;
        }
    }
}
