// Resampling keeps length and timing: the feed's length is the source's duration at the
// new rate, and music given at 48 kHz comes back from encode and decode at 44.1 kHz with
// no shift against what sox makes of it, sounding as good as the same music given at
// 44.1 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "bench/alignment.h"
#include "bench/audio_clip.h"
#include "bench/nmr_meter.h"
#include "decode/vqf_decode.h"
#include "driver/convert_job.h"
#include "driver/job_progress.h"
#include "sources/conversion_plan.h"
#include "test_support.h"
#include "twinvq/encoder_driver.h"
#include "twinvq/sample_feed.h"

namespace tembrel {
namespace {

using test::TempDir;

TEST(SampleFeed, ResampledLengthIsTheDurationAtTheNewRate) {
    TempDir dir;
    struct Row {
        uint32_t rate;
        uint16_t channels;
        uint32_t frames;
        uint32_t encodedRate;
    };
    for (const Row& row :
         {Row{48000, 2, 48017, 44100}, Row{32000, 1, 31999, 22050}, Row{96000, 2, 20000, 44100},
          Row{12000, 1, 12345, 11025}, Row{6000, 1, 3001, 8000}, Row{88200, 1, 8821, 44100}}) {
        SCOPED_TRACE(row.rate);
        const std::string path = dir.file(std::to_string(row.rate) + ".wav");
        // A constant level: every frame of the output carries it, up to the last ones.
        test::writeWav(path, row.rate, row.channels, 16,
                       std::vector<int16_t>(std::size_t(row.frames) * row.channels, 8000));
        SourceSelector selector;
        ASSERT_TRUE(selector.open(path.c_str(), false));
        const ConversionPlan plan = planConversion(*selector.format, false);
        ASSERT_EQ(plan.encodedRate, row.encodedRate);
        const int frameSize = 512;
        SampleFeed feed(selector, plan, frameSize);
        ASSERT_TRUE(feed.ok());
        const uint64_t expected =
            (uint64_t(row.frames) * row.encodedRate + row.rate / 2) / row.rate;
        EXPECT_EQ(feed.totalFrames(), expected);
        std::vector<float> frame(std::size_t(row.channels) * frameSize);
        std::vector<float> left;
        for (uint64_t done = 0; done < expected; done += uint64_t(frameSize)) {
            const std::size_t count = std::size_t(std::min<uint64_t>(frameSize, expected - done));
            ASSERT_TRUE(feed.next(count, frame));
            left.insert(left.end(), frame.begin(), frame.begin() + std::ptrdiff_t(count));
        }
        EXPECT_GE(feed.framesDelivered() + 1, expected);
        EXPECT_EQ(feed.sourceBytes(), uint64_t(row.frames) * row.channels * 2);
        // The level in the middle, and no step down before the filter's last few samples.
        EXPECT_NEAR(left[left.size() / 2], 8000.0f, 8.0f);
        EXPECT_NEAR(left[left.size() - 64], 8000.0f, 80.0f);
    }
}

TEST(ResampledRoundTrip, FortyEightKilohertzComesBackWithoutShiftAndAsGoodAsFortyFour) {
    ASSERT_TRUE(test::haveTool("sox"));
    TempDir dir;
    const auto at = [&dir](const char* name) { return dir.file(name); };
    // Music of a few voices, made at 96 kHz and given to the converter at 44.1 and 48 kHz.
    ASSERT_EQ(test::run("sox -n -r 96000 -b 24 -c 2 " + at("master.wav") +
                        " synth 3 pluck C3 pluck G3 pluck E4 pluck C5 remix 1,3 2,4 "
                        "tremolo 5 40 gain -3 && sox " +
                        at("master.wav") + " -b 16 -r 44100 " + at("m44.wav") + " && sox " +
                        at("master.wav") + " -b 16 -r 48000 " + at("m48.wav")),
              0);
    EncoderDriver& driver = encoderDriver();
    driver.copyBitRates(kDefaultBitRates);
    driver.setConvertOtherFormats(true);
    jobProgress().resetForEncoding();
    for (const char* name : {"m44", "m48"}) {
        const std::string source = at(name) + std::string(".wav");
        ASSERT_EQ(driver.encodeFile(source, vqfPathFor(source)), 0);
        ASSERT_EQ(driver.failureReason(), "");
        ASSERT_TRUE(driver.takeOutput().commit());
        ASSERT_TRUE(
            decodeVqfToWav(vqfPathFor(source), at(name) + std::string(".out.wav"), true).ok());
    }
    driver.setConvertOtherFormats(false);
    const auto given = bench::readWav(at("m44.wav"));
    const auto from44 = bench::readWav(at("m44.out.wav"));
    const auto from48 = bench::readWav(at("m48.out.wav"));
    ASSERT_TRUE(given && from44 && from48);
    EXPECT_EQ(from48->rate, 44100);
    EXPECT_EQ(from48->frames(), from44->frames());

    const std::vector<float> reference = bench::monoMix(*given);
    EXPECT_EQ(bench::findLag(reference, bench::monoMix(*from44), 2048), 0);
    EXPECT_EQ(bench::findLag(reference, bench::monoMix(*from48), 2048), 0);

    const double nmr44 = bench::measureQuality(given->samples, from44->samples, 2, 44100).nmrDb;
    const double nmr48 = bench::measureQuality(given->samples, from48->samples, 2, 44100).nmrDb;
    std::printf("NMR given at 44.1 kHz %.2f dB, given at 48 kHz %.2f dB\n", nmr44, nmr48);
    EXPECT_LE(std::fabs(nmr48 - nmr44), 0.3);
}

}  // namespace
}  // namespace tembrel
