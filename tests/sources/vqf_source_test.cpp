// The VQF source over the real codec: what it delivers from whole, short, cut and
// damaged streams, its alignment and quality at every configuration, rewind and skip,
// and the one-open-source rule of the process-wide decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "codec/tools/test_signals.h"
#include "platform/byte_order.h"
#include "sources/source_selector.h"
#include "sources/vqf_source.h"
#include "tests/sources/vqf_test_file.h"
#include "tests/support/test_support.h"

namespace tembrel::test {
namespace {

constexpr VqfConfig k22Mono{22, 1, 32};
constexpr VqfConfig k8Mono{8, 1, 8};

// Every byte the source delivers from where it stands, read in odd-sized pieces.
std::vector<uint8_t> readAll(VqfSource& source, size_t piece = 1237) {
    std::vector<uint8_t> all, buffer(piece);
    uint32_t got = 0;
    while (true) {
        source.read(buffer, got);
        if (got == 0)
            break;
        all.insert(all.end(), buffer.begin(), buffer.begin() + got);
    }
    return all;
}

std::vector<int16_t> samplesOf(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = bytes::readSampleLE16(std::span(bytes).subspan(2 * i, 2));
    return out;
}

// Interleaved 16-bit music-like material.
std::vector<int16_t> music(uint32_t rate, int channels, int frames) {
    const std::vector<float> planar = tvq::signals::music(int(rate), channels, frames);
    std::vector<int16_t> out(planar.size());
    for (int c = 0; c < channels; ++c) {
        for (int i = 0; i < frames; ++i)
            out[size_t(i) * channels + c] = int16_t(std::lrint(planar[size_t(c) * frames + i]));
    }
    return out;
}

double snrDb(const std::vector<int16_t>& ref, const std::vector<int16_t>& out) {
    double s = 0.0, e = 0.0;
    for (size_t i = 0; i < ref.size(); ++i) {
        const double d = double(ref[i]) - double(out[i]);
        s += double(ref[i]) * ref[i];
        e += d * d;
    }
    return 10.0 * std::log10(s / std::max(e, 1e-9));
}

TEST(VqfSourcePcm, LimitsToPlusMinus32700AndRoundsHalfAwayFromZero) {
    const std::vector<float> in = {40000.0f, -40000.0f, 1.5f, -1.5f, 0.4f, -0.4f, 32700.4f, 0.0f};
    std::vector<int16_t> out(in.size());
    VqfSource::floatToPcm16(in, out, int(in.size()), 1);
    EXPECT_EQ(out, (std::vector<int16_t>{32700, -32700, 2, -2, 0, 0, 32700, 0}));
}

TEST(VqfSourcePcm, InterleavesTheChannelBlocks) {
    // Channel 0's block first, then channel 1's; out alternates the channels.
    const std::vector<float> in = {1, 2, 3, -1, -2, -3};
    std::vector<int16_t> out(6);
    VqfSource::floatToPcm16(in, out, 3, 2);
    EXPECT_EQ(out, (std::vector<int16_t>{1, -1, 2, -2, 3, -3}));
}

TEST(VqfSourceEstimate, DataBytesAreFileLengthLessHeaderBodyAndFraming) {
    TempDir dir;
    std::vector<uint8_t> bytes(1000, 0x55);
    bytes::storeBE(std::span(bytes).subspan(12, 4), 200, 4);  // 00 00 00 C8
    writeFile(dir.file("a.vqf"), bytes);
    EXPECT_EQ(VqfSource::estimateDataBytes(dir.file("a.vqf").c_str()), 1000u - 220u);

    bytes.resize(220);  // nothing after the header
    writeFile(dir.file("b.vqf"), bytes);
    EXPECT_EQ(VqfSource::estimateDataBytes(dir.file("b.vqf").c_str()), 0u);

    writeFile(dir.file("c.vqf"), std::vector<uint8_t>(10, 0xFF));  // no size field at all
    EXPECT_EQ(VqfSource::estimateDataBytes(dir.file("c.vqf").c_str()), 0u);
    EXPECT_EQ(VqfSource::estimateDataBytes(dir.file("missing.vqf").c_str()), 0u);
}

TEST(VqfSourceStream, NWholeFramesDeliverAllButTheFirstTwo) {
    TempDir dir;
    for (int n = 0; n <= 5; ++n) {
        SCOPED_TRACE(n);
        const std::string path = dir.file("n" + std::to_string(n) + ".vqf");
        ASSERT_EQ(writeVqfFrames(path, k22Mono, n), n);
        VqfSource source;
        ASSERT_TRUE(source.open(path.c_str()));
        const uint32_t frameBytes = source.frameBytes();
        EXPECT_EQ(frameBytes, 512u * 2u);
        EXPECT_EQ(readAll(source).size(), size_t(std::max(n - 2, 0)) * frameBytes);
        // At the end: nothing, again and again; a read of 0 bytes likewise.
        uint8_t byte = 0;
        uint32_t got = 99;
        source.read(std::span(&byte, 1), got);
        EXPECT_EQ(got, 0u);
        source.read({}, got);
        EXPECT_EQ(got, 0u);
    }
}

class VqfRoundTrip : public testing::TestWithParam<VqfConfig> {};

// WAV-rate PCM through the encoder and back through the source: the format of the
// configuration, sample-aligned, at most one frame of padding at the end, the length
// estimate covering what is delivered, and the codec's quality floor.
TEST_P(VqfRoundTrip, ComesBackAlignedInFormatAndAboveTheQualityFloor) {
    const VqfConfig c = GetParam();
    const uint32_t rate = rateHz(c.khz);
    const int frames = int(rate) + 123;
    const std::vector<int16_t> input = music(rate, c.channels, frames);
    TempDir dir;
    const std::string path = dir.file("round.vqf");
    ASSERT_GT(writeVqf(path, c, input), 0);

    VqfSource source;
    ASSERT_TRUE(source.open(path.c_str()));
    const WAVEFORMATEX& f = *source.format();
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nChannels, c.channels);
    EXPECT_EQ(f.nSamplesPerSec, rate);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.nBlockAlign, 2 * c.channels);
    EXPECT_EQ(f.nAvgBytesPerSec, rate * 2 * c.channels);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(source.headerInfo().bitRate, c.kbps);

    const std::vector<uint8_t> bytes = readAll(source);
    const std::vector<int16_t> output = samplesOf(bytes);
    const size_t inBytes = input.size() * 2;
    ASSERT_GE(bytes.size(), inBytes);
    EXPECT_LT(bytes.size(), inBytes + source.frameBytes()) << "more than one frame of padding";
    EXPECT_GE(size_t(source.length()), bytes.size());
    EXPECT_LE(size_t(source.length()), bytes.size() + source.frameBytes() + bytes.size() / 100);

    const std::vector<int16_t> head(output.begin(), output.begin() + input.size());
    EXPECT_GT(snrDb(input, head), 3.0);
    const double atZero = correlation(input, output, c.channels, 0);
    EXPECT_GT(atZero, 0.5);
    const int n = int(source.frameBytes()) / (2 * c.channels);
    for (int lag : {-2 * n, -n, -n / 2, -3, -1, 1, 3, n / 2, n, 2 * n})
        EXPECT_LT(correlation(input, output, c.channels, lag), atZero) << "lag " << lag;
}

INSTANTIATE_TEST_SUITE_P(AllConfigurations, VqfRoundTrip, testing::ValuesIn(allVqfConfigs()),
                         [](const testing::TestParamInfo<VqfConfig>& info) {
                             const VqfConfig& c = info.param;
                             return std::to_string(c.khz) + "kHz" +
                                    (c.channels == 2 ? "Stereo" : "Mono") + std::to_string(c.kbps);
                         });

TEST(VqfSourceStream, RewindDeliversTheSameBytesAgain) {
    TempDir dir;
    const std::string path = dir.file("r.vqf");
    ASSERT_GT(writeVqf(path, k22Mono, music(22050, 1, 30000)), 0);
    VqfSource source;
    ASSERT_TRUE(source.open(path.c_str()));
    const std::vector<uint8_t> first = readAll(source);
    ASSERT_FALSE(first.empty());
    ASSERT_TRUE(source.rewind());
    EXPECT_EQ(readAll(source), first);

    // Bytes converted but not handed out are dropped by a rewind in mid-frame.
    ASSERT_TRUE(source.rewind());
    std::vector<uint8_t> some(333);
    uint32_t got = 0;
    source.read(some, got);
    ASSERT_TRUE(source.rewind());
    EXPECT_EQ(readAll(source), first);

    source.close();
    EXPECT_FALSE(source.rewind());
}

TEST(VqfSourceStream, SkipGivesExactlyWhatReadingOnWouldHave) {
    // At 8 kHz mono a frame is 512 samples = 64 ms = 1024 bytes, so spans can hit part of a
    // frame, exactly one frame, and many frames with and without a rest.
    TempDir dir;
    const std::string path = dir.file("s.vqf");
    ASSERT_GT(writeVqf(path, k8Mono, music(8000, 1, 8000 * 3)), 0);
    VqfSource reference;
    ASSERT_TRUE(reference.open(path.c_str()));
    const std::vector<uint8_t> all = readAll(reference);
    reference.close();

    for (uint32_t ms : {0u, 20u, 64u, 128u, 1000u, 1100u, 2048u}) {
        SCOPED_TRACE(ms);
        VqfSource source;
        ASSERT_TRUE(source.open(path.c_str()));
        std::vector<uint8_t> lead(100);  // start in mid-frame: the pending bytes count too
        uint32_t got = 0;
        source.read(lead, got);
        uint32_t counter = 7;
        source.skip(ms, counter);
        const uint32_t span = ms * 8000 / 1000 * 2;
        EXPECT_EQ(counter, 7 + span);
        const std::vector<uint8_t> rest = readAll(source);
        ASSERT_EQ(rest.size(), all.size() - 100 - span);
        EXPECT_TRUE(std::equal(rest.begin(), rest.end(), all.begin() + 100 + span));
    }

    // Past the end: only what was left is counted, and the stream is at its end.
    VqfSource source;
    ASSERT_TRUE(source.open(path.c_str()));
    uint32_t counter = 0;
    source.skip(60000, counter);
    EXPECT_EQ(counter, all.size());
    EXPECT_TRUE(readAll(source).empty());
}

TEST(VqfSourceDamage, CutFileDeliversTheWholeFramesBeforeTheCut) {
    TempDir dir;
    const std::string path = dir.file("whole.vqf");
    ASSERT_GT(writeVqf(path, k22Mono, music(22050, 1, 22050)), 0);
    const std::vector<uint8_t> whole = readFile(path);
    VqfSource source;
    ASSERT_TRUE(source.open(path.c_str()));
    const uint64_t firstFrame = source.firstFramePos();
    const int64_t frameBits = source.frameBits();
    const uint32_t frameBytes = source.frameBytes();
    const size_t full = readAll(source).size();
    source.close();

    for (size_t cut : {size_t(10), size_t(firstFrame / 8 - 2), size_t(firstFrame / 8),
                       size_t(firstFrame / 8 + 500), whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        const std::string cutPath = dir.file("cut.vqf");
        writeFile(cutPath, std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
        if (cut * 8 < firstFrame) {
            EXPECT_FALSE(source.open(cutPath.c_str())) << "header cut short";
            continue;
        }
        ASSERT_TRUE(source.open(cutPath.c_str()));
        const int64_t frames = (int64_t(cut) * 8 - int64_t(firstFrame)) / frameBits;
        const size_t expected = size_t(std::max<int64_t>(frames - 2, 0)) * frameBytes;
        EXPECT_EQ(readAll(source).size(), expected);
        EXPECT_LE(expected, full);
        source.close();
    }
}

TEST(VqfSourceDamage, FlippedBytesEndTheStreamCleanly) {
    TempDir dir;
    const std::string path = dir.file("good.vqf");
    ASSERT_GT(writeVqf(path, {44, 2, 96}, music(44100, 2, 30000)), 0);
    const std::vector<uint8_t> good = readFile(path);
    VqfSource source;
    ASSERT_TRUE(source.open(path.c_str()));
    const size_t full = readAll(source).size();
    const size_t dataStart = source.firstFramePos() / 8;
    source.close();

    tvq::signals::Lcg rng(11);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint8_t> bad = good;
        // Half the rounds damage the header too; all damage the frames.
        const size_t from = round % 2 == 0 ? 0 : dataStart;
        for (int k = 0; k < 1 + round; ++k) {
            const size_t at =
                from + size_t((rng.uniform() + 1.0f) / 2.0f * float(bad.size() - from - 1));
            bad[at] ^= uint8_t(1 + (round * 37 + k) % 255);
        }
        const std::string badPath = dir.file("bad.vqf");
        writeFile(badPath, bad);
        if (source.open(badPath.c_str())) {
            // A damaged frame may decode to noise or end the stream; never beyond the file.
            EXPECT_LE(readAll(source, 4096).size(), full + source.frameBytes());
            EXPECT_TRUE(source.rewind());
            readAll(source, 4096);
        }
        source.close();
    }
}

TEST(VqfSourceOpen, RefusesWhatIsNoVqfStream) {
    TempDir dir;
    writeWav(dir.file("a.wav"), 22050, 1, 16, sine(22050, 1, 4000, 440.0));
    writeFile(dir.file("empty.vqf"), std::vector<uint8_t>{});
    writeFile(dir.file("text.vqf"), "TWIN97012000 is not followed by a header\n");
    // A body without "COMM": the decoder is asked for channel mode, rate and bit rate 0.
    std::vector<uint8_t> noComm = bytesOf("TWIN97012000");
    bytes::appendBE(noComm, 0, 4);
    const std::vector<uint8_t> data = bytesOf("DATA");
    noComm.insert(noComm.end(), data.begin(), data.end());
    writeFile(dir.file("nocomm.vqf"), noComm);
    // A header announcing far more than the file holds.
    std::vector<uint8_t> huge = bytesOf("TWIN97012000");
    bytes::appendBE(huge, 0x7FFFFFF0u, 4);
    writeFile(dir.file("huge.vqf"), huge);

    VqfSource source;
    for (const char* name :
         {"a.wav", "empty.vqf", "text.vqf", "nocomm.vqf", "huge.vqf", "missing.vqf"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(source.open(dir.file(name).c_str()));
        uint32_t got = 5;
        uint8_t byte = 0;
        source.read(std::span(&byte, 1), got);
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(source.length(), 0);
    }
    // Every failed open gave the decoder back.
    const std::string good = dir.file("good.vqf");
    ASSERT_GT(writeVqfFrames(good, k22Mono, 4), 0);
    EXPECT_TRUE(source.open(good.c_str()));
}

TEST(VqfSourceOpen, OneSourceAtATimeHoldsTheDecoder) {
    TempDir dir;
    const std::string a = dir.file("a.vqf");
    const std::string b = dir.file("b.vqf");
    ASSERT_GT(writeVqf(a, k22Mono, music(22050, 1, 20000)), 0);
    ASSERT_GT(writeVqf(b, {11, 2, 20}, music(11025, 2, 20000)), 0);
    std::vector<uint8_t> alone;
    {
        VqfSource source;
        ASSERT_TRUE(source.open(a.c_str()));
        alone = readAll(source);
    }

    VqfSource first, second;
    ASSERT_TRUE(first.open(a.c_str()));
    std::vector<uint8_t> head(5000);
    uint32_t got = 0;
    first.read(head, got);
    // The second open is refused and leaves the first one's decoding untouched.
    EXPECT_FALSE(second.open(b.c_str()));
    EXPECT_FALSE(second.open(a.c_str()));
    second.close();
    std::vector<uint8_t> all(head.begin(), head.begin() + got);
    const std::vector<uint8_t> rest = readAll(first);
    all.insert(all.end(), rest.begin(), rest.end());
    EXPECT_EQ(all, alone);

    // A selector cannot take the file as VQF meanwhile, and does not take it as anything else.
    {
        SourceSelector selector;
        EXPECT_FALSE(selector.open(b.c_str(), false));
    }
    // Reopening the same source releases its own hold first.
    EXPECT_TRUE(first.open(b.c_str()));
    first.close();
    EXPECT_TRUE(second.open(b.c_str()));
    EXPECT_EQ(second.format()->nChannels, 2);
}

TEST(VqfSourceSelector, VqfContentOpensAsVqfWhateverTheName) {
    TempDir dir;
    const std::string path = dir.file("x.wav");
    ASSERT_GT(writeVqf(path, {16, 2, 32}, music(16000, 2, 9000)), 0);
    SourceSelector selector;
    ASSERT_TRUE(selector.open(path.c_str(), false));
    EXPECT_EQ(selector.kindName, "VQF");
    EXPECT_EQ(selector.format->nSamplesPerSec, 16000u);
    EXPECT_EQ(selector.format->nChannels, 2);
    EXPECT_GT(selector.length, 0);
    std::vector<uint8_t> buffer(4096);
    uint32_t got = 0;
    selector.read(buffer, got);
    EXPECT_EQ(got, buffer.size());
}

}  // namespace
}  // namespace tembrel::test
