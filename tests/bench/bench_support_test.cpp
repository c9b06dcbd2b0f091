#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bench/alignment.h"
#include "bench/audio_clip.h"
#include "bench/external_tools.h"
#include "test_support.h"

namespace tembrel::bench {
namespace {

using test::TempDir;
using namespace std::literals;

std::vector<float> randomSignal(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 3000.0);
    std::vector<float> out(n);
    // Low-passed noise: neighbouring lags correlate too, so only the true one peaks.
    double state = 0;
    for (float& s : out)
        s = float(state = 0.7 * state + noise(random));
    return out;
}

TEST(BenchFindLag, FindsDelaysAndAdvancesWithinTheSearchRange) {
    const std::vector<float> reference = randomSignal(30000, 1);
    for (long lag : {0L, 1L, 37L, 1105L, 2112L, -37L, -529L}) {
        std::vector<float> test(reference.size(), 0.0f);
        for (std::size_t i = 0; i < test.size(); ++i) {
            const long from = long(i) - lag;
            if (from >= 0 && from < long(reference.size()))
                test[i] = reference[from] * 0.5f;
        }
        EXPECT_EQ(findLag(reference, test, 2500), lag);
    }
    // A lag beyond the range is not reported; empty and silent input give 0.
    std::vector<float> late(reference.size() + 4000, 0.0f);
    std::copy(reference.begin(), reference.end(), late.begin() + 4000);
    EXPECT_LE(std::abs(findLag(reference, late, 100)), 100);
    EXPECT_EQ(findLag({}, reference, 100), 0);
    EXPECT_EQ(findLag(reference, std::vector<float>(500, 0.0f), 100), 0);
}

TEST(BenchAudioClip, WavFilesRoundTripAndBadFilesAreRefused) {
    TempDir dir;
    AudioClip clip{22050, 2, {0.0f, -1.0f, 32767.0f, -32768.0f, 40000.0f, -40000.0f, 1.4f, -2.6f}};
    ASSERT_TRUE(writeWav(dir.file("a.wav"), clip));
    const auto back = readWav(dir.file("a.wav"));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->rate, 22050);
    EXPECT_EQ(back->channels, 2);
    EXPECT_EQ(back->samples, (std::vector<float>{0, -1, 32767, -32768, 32767, -32768, 1, -3}));

    // 8-bit files from elsewhere read on the 16-bit scale.
    test::writeWav(dir.path() / "b.wav", 8000, 1, 8, {-32768, 0, 32767});
    const auto eight = readWav(dir.file("b.wav"));
    ASSERT_TRUE(eight.has_value());
    EXPECT_EQ(eight->samples, (std::vector<float>{-32768, 0, 32512}));

    // A cut-off file reads as far as it goes; junk, a missing file and a file with no
    // format chunk are refused without reading out of bounds.
    std::vector<uint8_t> bytes = test::readFile(dir.path() / "a.wav");
    bytes.resize(bytes.size() - 5);
    test::writeFile(dir.path() / "cut.wav", bytes);
    const auto cut = readWav(dir.file("cut.wav"));
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->samples.size(), 4u);
    test::writeFile(dir.path() / "junk.wav", "RIFF\xff\xff\xff\xffWAVEdata\x10\0\0\0"sv);
    EXPECT_FALSE(readWav(dir.file("junk.wav")).has_value());
    bytes.resize(20);
    test::writeFile(dir.path() / "short.wav", bytes);
    EXPECT_FALSE(readWav(dir.file("short.wav")).has_value());
    EXPECT_FALSE(readWav(dir.file("missing.wav")).has_value());
}

TEST(BenchAudioClip, ShiftingDropsOrPrependsWholeFrames) {
    const AudioClip clip{8000, 2, {1, 2, 3, 4, 5, 6}};
    EXPECT_EQ(shiftedClip(clip, 1, 3).samples, (std::vector<float>{3, 4, 5, 6, 0, 0}));
    EXPECT_EQ(shiftedClip(clip, -1, 2).samples, (std::vector<float>{0, 0, 1, 2}));
    EXPECT_EQ(shiftedClip(clip, 5, 1).samples, (std::vector<float>{0, 0}));
    EXPECT_EQ(monoMix(clip), (std::vector<float>{1.5f, 3.5f, 5.5f}));
}

// Where the MPEG version at a rate lacks the bit rate (10 and 20 kbit/s), LAME runs in
// ABR mode; otherwise CBR. The output rate is always pinned to the input's.
TEST(BenchLameOptions, ConstantBitRateWhereTheFormatHasIt) {
    const auto has = [](const std::vector<std::string>& o, const std::string& a,
                        const std::string& b) {
        for (std::size_t i = 0; i + 1 < o.size(); ++i)
            if (o[i] == a && o[i + 1] == b)
                return true;
        return false;
    };
    EXPECT_TRUE(has(lameOptions(8000, 1, 8), "-b", "8"));
    EXPECT_TRUE(has(lameOptions(8000, 1, 8), "--resample", "8"));
    EXPECT_TRUE(has(lameOptions(11025, 1, 10), "--abr", "10"));
    EXPECT_TRUE(has(lameOptions(11025, 2, 20), "--abr", "20"));
    EXPECT_TRUE(has(lameOptions(11025, 2, 20), "--resample", "11.025"));
    EXPECT_TRUE(has(lameOptions(22050, 1, 20), "--abr", "20"));
    EXPECT_TRUE(has(lameOptions(22050, 1, 24), "-b", "24"));
    EXPECT_TRUE(has(lameOptions(22050, 2, 64), "-m", "j"));
    EXPECT_TRUE(has(lameOptions(44100, 1, 40), "-b", "40"));
    EXPECT_TRUE(has(lameOptions(44100, 1, 40), "-m", "m"));
    EXPECT_TRUE(has(lameOptions(44100, 2, 16), "--abr", "16"));
}

TEST(BenchExternalTools, SoxConvertsRateAndDownmixes) {
    if (!test::haveTool("sox"))
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    // Left +8000, right -4000: the mono mix is their mean.
    std::vector<int16_t> samples;
    for (int i = 0; i < 44100; ++i)
        samples.insert(samples.end(), {8000, -4000});
    test::writeWav(dir.path() / "in.wav", 44100, 2, 16, samples);
    ASSERT_TRUE(soxConvert(dir.file("in.wav"), dir.file("out it's.wav"), 11025, 1));
    const auto out = readWav(dir.file("out it's.wav"));
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->rate, 11025);
    EXPECT_EQ(out->channels, 1);
    EXPECT_NEAR(double(out->frames()), 11025.0, 2.0);
    EXPECT_NEAR(out->samples[out->frames() / 2], 2000.0, 2.0);
    EXPECT_FALSE(soxConvert(dir.file("missing.wav"), dir.file("x.wav"), 8000, 1));
}

}  // namespace
}  // namespace tembrel::bench
