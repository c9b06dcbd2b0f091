// The MPEG audio and RMP source: what it makes of the first frame, where it takes the
// frames from, and what it decodes compared with lame's own decoder.
#include "sources/mp3_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/mpeg_frame.h"
#include "sources/source_selector.h"
#include "tags/song_tags.h"
#include "test_support.h"

namespace tembrel {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

struct Pcm {
    uint32_t rate = 0;
    uint16_t channels = 0;
    std::vector<int16_t> samples;  // interleaved
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// The "fmt " and "data" chunks of a 16-bit PCM RIFF WAVE file.
Pcm readWav(const std::string& path) {
    const auto bytes = test::readFile(path);
    Pcm pcm;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const auto body = std::span(bytes).subspan(at + 8);
        const uint32_t size = std::min<uint32_t>(bytes::readLE32(std::span(bytes).subspan(at + 4)),
                                                 uint32_t(body.size()));
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0) {
            pcm.channels = bytes::readLE16(body.subspan(2));
            pcm.rate = bytes::readLE32(body.subspan(4));
        } else if (std::memcmp(&bytes[at], "data", 4) == 0) {
            for (uint32_t i = 0; i + 1 < size; i += 2)
                pcm.samples.push_back(bytes::readSampleLE16(body.subspan(i)));
        }
        at += 8 + size + (size & 1);
    }
    return pcm;
}

// Everything the source delivers, read in pieces that are no multiple of a frame.
std::vector<int16_t> readAll(Mp3Source& source, uint32_t piece = 40000) {
    std::vector<uint8_t> buffer(piece), all;
    for (;;) {
        uint32_t got = 0;
        EXPECT_TRUE(source.read(buffer, got));
        all.insert(all.end(), buffer.begin(), buffer.begin() + got);
        if (got < piece)
            break;
    }
    uint32_t after = 1;
    EXPECT_TRUE(source.read(buffer, after));
    EXPECT_EQ(after, 0u) << "a read at the end delivers nothing";
    std::vector<int16_t> out;
    for (std::size_t i = 0; i + 1 < all.size(); i += 2)
        out.push_back(bytes::readSampleLE16(std::span(all).subspan(i)));
    return out;
}

// Signal-to-noise ratio of `test` against `ref` over sample frames [from, to) of
// `test`, where test frame n is compared with ref frame n + shift.
double snrDb(const std::vector<int16_t>& ref, const std::vector<int16_t>& test, int channels,
             long shift, std::size_t from, std::size_t to) {
    double signal = 0, noise = 0;
    for (std::size_t n = from; n < to; ++n) {
        const long r = long(n) + shift;
        if (r < 0 || std::size_t(r) * channels + channels > ref.size())
            continue;
        if ((n + 1) * channels > test.size())
            break;
        for (int c = 0; c < channels; ++c) {
            const double a = ref[std::size_t(r) * channels + c], b = test[n * channels + c];
            signal += a * a;
            noise += (a - b) * (a - b);
        }
    }
    if (noise == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(signal / noise);
}

// The shift (test frame n matches ref frame n + shift) with the least difference over a
// window of the first channel.
long bestShift(const std::vector<int16_t>& ref, const std::vector<int16_t>& test, int channels,
               std::size_t from, long range) {
    long best = 0;
    double bestError = std::numeric_limits<double>::max();
    for (long shift = -range; shift <= range; ++shift) {
        double error = 0;
        for (std::size_t n = from; n < from + 4096; ++n) {
            const long r = long(n) + shift;
            if (r < 0 || std::size_t(r + 1) * channels > ref.size() ||
                (n + 1) * channels > test.size()) {
                error = std::numeric_limits<double>::max();
                break;
            }
            const double d = double(ref[std::size_t(r) * channels]) - test[n * channels];
            error += d * d;
        }
        if (error < bestError) {
            bestError = error;
            best = shift;
        }
    }
    return best;
}

int maxStep(const std::vector<int16_t>& s, int channels) {
    int step = 0;
    for (std::size_t i = std::size_t(channels); i < s.size(); ++i)
        step = std::max(step, std::abs(int(s[i]) - int(s[i - std::size_t(channels)])));
    return step;
}

class Mp3Fixture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::haveTool("lame") || !test::haveTool("sox"))
            GTEST_SKIP() << "needs lame and sox";
    }
    // A swept sine in the first channel and a steady one in the second.
    std::string makeWav(uint32_t rate, int channels, double seconds = 1.5) {
        const std::string wav =
            dir.file("in" + std::to_string(rate) + "_" + std::to_string(channels) + ".wav");
        const std::string synth = channels == 1 ? "sine 200-3000" : "sine 200-3000 sine 500";
        EXPECT_EQ(test::run("sox -V1 -D -n -r " + std::to_string(rate) + " -c " +
                            std::to_string(channels) + " -b 16 " + wav + " synth " +
                            std::to_string(seconds) + " " + synth + " gain -6"),
                  0);
        return wav;
    }
    std::string lame(const std::string& wav, const std::string& options, const std::string& name) {
        const std::string mp3 = dir.file(name);
        EXPECT_EQ(test::run("lame --quiet " + options + " " + wav + " " + mp3), 0);
        return mp3;
    }
    Pcm lameDecode(const std::string& mp3) {
        const std::string wav = mp3 + ".ref.wav";
        EXPECT_EQ(test::run("lame --quiet --decode " + mp3 + " " + wav), 0);
        return readWav(wav);
    }
    std::vector<int16_t> decode(const std::string& path) {
        Mp3Source source;
        EXPECT_TRUE(source.open(path.c_str())) << path;
        return readAll(source);
    }
    TempDir dir;
};

// Every sampling rate lame writes (MPEG-1, MPEG-2 and MPEG-2.5), mono and stereo, at a
// constant and two variable bit rates: the source reports the suggested PCM format,
// delivers as many bytes as length() promised, and matches lame's decoder sample for
// sample up to rounding.
class Mp3Matrix : public Mp3Fixture, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(Mp3Matrix, DeliversTheWholeAudioAsLameDecodesIt) {
    const uint32_t rate = GetParam();
    const std::string cbr = rate >= 32000 ? "-b 128" : rate >= 16000 ? "-b 64" : "-b 32";
    char khz[16];
    std::snprintf(khz, sizeof khz, "%g", rate / 1000.0);
    for (int channels : {1, 2}) {
        const std::string wav = makeWav(rate, channels);
        for (const std::string& mode : {cbr, std::string("-V 2"), std::string("-V 9")}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " ch, " << mode);
            const std::string mp3 =
                lame(wav, mode + " --resample " + khz, "out" + std::to_string(channels) + ".mp3");
            const Pcm ref = lameDecode(mp3);
            ASSERT_EQ(ref.rate, rate);

            Mp3Source source;
            ASSERT_TRUE(source.open(mp3.c_str()));
            const WAVEFORMATEX& f = *source.format();
            EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
            EXPECT_EQ(f.nSamplesPerSec, rate);
            EXPECT_EQ(f.nChannels, channels);
            EXPECT_EQ(f.wBitsPerSample, 16);
            EXPECT_EQ(f.nBlockAlign, channels * 2);
            EXPECT_EQ(source.mpegFormat().wfx.nSamplesPerSec, rate);
            const int32_t promised = source.length();
            const auto ours = readAll(source);

            const std::size_t frameSamples = rate >= 32000 ? 1152 : 576;
            EXPECT_EQ(int64_t(ours.size()) * 2, promised);
            EXPECT_NEAR(double(ours.size() / channels), double(ref.frames()), frameSamples);
            EXPECT_GE(snrDb(ref.samples, ours, channels, 0, frameSamples, ours.size() / channels),
                      60.0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, Mp3Matrix,
                         ::testing::Values(8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000));

TEST_F(Mp3Fixture, OutputShiftAgainstLameDecoder) {
    // Behind an information frame (what lame writes unless told not to, or unless the
    // frame is too small to hold one) the output is aligned with lame's: shift 0.
    // Without one, the first audio frame is lost to the partial first frame and the
    // output starts one frame less the decoder delay (1152 - 529 or 576 - 529) later
    // than lame's. While later frames still lean on the lost frame's bit reservoir they
    // come out silent; after that the audio matches, and nowhere is there a click.
    struct Case {
        uint32_t rate;
        std::string options;
        long shift;
        std::size_t settledAfter;  // sample frames before the output matches
    };
    const Case cases[] = {{44100, "-V 2", 0, 1152},
                          {48000, "-V 6", 0, 1152},
                          {44100, "-t -b 128", 623, 8 * 1152},
                          {22050, "-t -b 64", 47, 8 * 576},
                          {16000, "-b 32", 47, 8 * 576},
                          {48000, "-t -V 5", 623, 8 * 1152}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " " << c.options);
        const std::string mp3 = lame(makeWav(c.rate, 2), c.options, "shift.mp3");
        const Pcm ref = lameDecode(mp3);
        Mp3Source source;
        ASSERT_TRUE(source.open(mp3.c_str()));
        const int32_t promised = source.length();
        const auto ours = readAll(source);
        const std::size_t frames = ours.size() / 2;
        EXPECT_EQ(bestShift(ref.samples, ours, 2, frames / 2, 1200), c.shift);
        EXPECT_GE(snrDb(ref.samples, ours, 2, c.shift, c.settledAfter, frames), 60.0);
        if (c.shift == 0) {
            EXPECT_EQ(int64_t(ours.size()) * 2, promised);
        }
        EXPECT_LE(maxStep(ours, 2), maxStep(ref.samples, 2) * 5 / 4 + 64);
    }
}

// Bytes of an ID3v2.3 tag with one title frame, `size` bytes after its 10-byte header.
std::vector<uint8_t> id3v2Tag(uint32_t size) {
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift : {21, 14, 7, 0})
        tag.push_back(uint8_t((size >> shift) & 0x7F));
    tag.insert(tag.end(), {'T', 'I', 'T', '2', 0, 0, 0, 5, 0, 0, 0, 'S', 'o', 'n', 'g'});
    tag.resize(10 + size, 0);
    return tag;
}

std::vector<uint8_t> id3v1Block() {
    std::vector<uint8_t> block(128, 0);
    std::memcpy(block.data(), "TAGTitle", 8);
    return block;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(Mp3Fixture, TagsAroundTheFramesAreLeftOut) {
    const std::string wav = makeWav(44100, 2);
    const std::string plain = lame(wav, "-V 2", "plain.mp3");
    const auto frames = test::readFile(plain);
    const auto expected = decode(plain);
    ASSERT_FALSE(expected.empty());

    // Tags as lame writes them: both versions, ID3v1 only, a padded ID3v2.
    for (const std::string& options :
         {std::string("--add-id3v2 --tt Title --ta Artist"), std::string("--id3v1-only --tt Title"),
          std::string("--id3v2-only --tt Title --pad-id3v2-size 3000")}) {
        SCOPED_TRACE(options);
        EXPECT_EQ(decode(lame(wav, "-V 2 " + options, "tagged.mp3")), expected);
    }

    // An ID3v2 tag of 1000 bytes: the first frame is at 1010, the codec starts at 1014.
    // The ID3v1 block comes off the range once: the last frame stays whole.
    const std::string both = dir.file("both.mp3");
    test::writeFile(both, concat({id3v2Tag(1000), frames, id3v1Block()}));
    Mp3Source source;
    ASSERT_TRUE(source.open(both.c_str()));
    EXPECT_EQ(source.dataOffset(), 1014);
    EXPECT_EQ(source.dataLength(), int32_t(frames.size()) - 4);
    EXPECT_EQ(readAll(source), expected);
}

// A RIFF "RMP3" file: the frames in "data", then a "LIST" "INFO" chunk, then an ID3v1
// block after the RIFF chunk. `dataSize` is what the "data" chunk claims.
std::vector<uint8_t> rmpFile(const std::vector<uint8_t>& frames, uint32_t dataSize) {
    std::vector<uint8_t> data = {'d', 'a', 't', 'a'};
    bytes::appendLE(data, dataSize, 4);
    data.insert(data.end(), frames.begin(), frames.end());
    if (frames.size() & 1)
        data.push_back(0);
    const std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 16, 0, 0, 0, 'I', 'N', 'F', 'O',
                                       'I', 'N', 'A', 'M', 4,  0, 0, 0, 'S', 'o', 'n', 0};
    std::vector<uint8_t> riff = {'R', 'I', 'F', 'F'};
    bytes::appendLE(riff, uint32_t(4 + data.size() + list.size()), 4);
    riff.insert(riff.end(), {'R', 'M', 'P', '3'});
    return concat({riff, data, list, id3v1Block()});
}

TEST_F(Mp3Fixture, RmpFileOpensFromItsDataChunk) {
    const std::string plain = lame(makeWav(22050, 1), "-V 4", "plain.mp3");
    const auto frames = test::readFile(plain);
    const auto expected = decode(plain);

    const std::string rmp = dir.file("song.rmp");
    test::writeFile(rmp, rmpFile(frames, uint32_t(frames.size())));
    {
        Mp3Source source;
        ASSERT_TRUE(source.open(rmp.c_str()));
        EXPECT_EQ(source.dataOffset(), 20 + 4);
        // The ID3v1 block lies outside the "data" chunk and takes nothing from it.
        EXPECT_EQ(source.dataLength(), int32_t(frames.size()) - 4);
        EXPECT_EQ(readAll(source), expected);
    }
    // A "data" chunk that claims the rest of the file, ID3v1 block included, loses the
    // block; one that claims more than the file holds ends with the file.
    const std::vector<uint8_t> tagged = concat({frames, id3v1Block()});
    std::vector<uint8_t> dataSize;
    bytes::appendLE(dataSize, uint32_t(tagged.size()), 4);
    test::writeFile(
        rmp, concat({{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'P', '3', 'd', 'a', 't', 'a'},
                     dataSize,
                     tagged}));
    {
        Mp3Source source;
        ASSERT_TRUE(source.open(rmp.c_str()));
        EXPECT_EQ(source.dataLength(), int32_t(frames.size()) - 4);
        EXPECT_EQ(readAll(source), expected);
    }
    auto overlong = rmpFile(frames, uint32_t(frames.size()));
    overlong.resize(20 + frames.size());
    bytes::storeLE(std::span(overlong).subspan(16), 0x7FFFFFF0, 4);
    test::writeFile(rmp, overlong);
    {
        Mp3Source source;
        ASSERT_TRUE(source.open(rmp.c_str()));
        EXPECT_EQ(source.dataLength(), int32_t(frames.size()) - 4);
        EXPECT_EQ(readAll(source), expected);
    }
}

TEST_F(Mp3Fixture, SelectorOpensMpegAndRmpFilesAsMp3) {
    const std::string wav = makeWav(44100, 2);
    const std::string mp3 = lame(wav, "-V 2", "song.wav");  // the name plays no part
    const auto frames = test::readFile(mp3);
    const std::string rmp = dir.file("song.rmp");
    test::writeFile(rmp, rmpFile(frames, uint32_t(frames.size())));
    for (const std::string& path : {mp3, rmp}) {
        SourceSelector selector;
        ASSERT_TRUE(selector.open(path.c_str(), false)) << path;
        EXPECT_EQ(selector.kindName, "MP3");
        EXPECT_EQ(selector.format->nSamplesPerSec, 44100u);
        EXPECT_EQ(selector.length, 66150 * 4);
    }
    // A RIFF WAVE file is the WAV source's, whatever its name.
    const std::string named = dir.file("wave.mp3");
    fs::copy_file(wav, named);
    SourceSelector selector;
    ASSERT_TRUE(selector.open(named.c_str(), false));
    EXPECT_EQ(selector.kindName, "WAV");
}

// What `ffmpeg -c:a copy -f wav` and Windows tools write: MPEG frames in the "data"
// chunk of a WAVE file whose format tag is 0x55.
TEST_F(Mp3Fixture, Mp3InsideAWaveFileDecodesThroughTheMp3Source) {
    if (!test::haveTool("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    const std::string mp3 = lame(makeWav(44100, 2), "-b 128", "song.mp3");
    const std::string wave = dir.file("song.wav");
    ASSERT_EQ(test::run("ffmpeg -loglevel error -i " + mp3 + " -c:a copy -f wav -metadata " +
                        "title=Wrapped " + wave),
              0);
    SourceSelector selector;
    ASSERT_TRUE(selector.open(wave.c_str(), false));
    EXPECT_EQ(selector.kindName, "MP3");
    EXPECT_EQ(selector.format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(selector.format->wBitsPerSample, 16);
    SongTags tags;
    tags.read(wave);
    EXPECT_STREQ(tags.title, "Wrapped");

    // Exactly the frames of its "data" chunk, as a plain MPEG file of them decodes.
    const auto bytes = test::readFile(wave);
    const std::string frames = dir.file("frames.mp3");
    test::writeFile(frames, std::vector<uint8_t>(bytes.begin() + tags.dataOffset,
                                                 bytes.begin() + tags.dataOffset + tags.dataLength));
    const auto expected = decode(frames);
    ASSERT_GT(expected.size(), 44100u * 2);
    EXPECT_EQ(decode(wave), expected);
}

TEST_F(Mp3Fixture, DamageInTheMiddleIsPassedOver) {
    const std::string mp3 = lame(makeWav(44100, 2, 3.0), "-b 128", "intact.mp3");
    const auto intact = decode(mp3);
    auto bytes = test::readFile(mp3);
    // From a frame boundary in the middle, 1000 bytes of junk that begins with a chain
    // of headers of another sampling rate (32000 Hz at 128 kbit/s, 576 bytes apart):
    // frames of another stream must not reach the decoder.
    std::size_t at = 0;
    while (at < bytes.size() / 2) {
        const auto header = mpeg::parseFrameHeader(std::span(bytes).subspan(at));
        ASSERT_TRUE(header);
        at += header->frameBytes();
    }
    for (std::size_t i = 0; i < 1000; ++i)
        bytes[at + i] = uint8_t(i * 37 + 11);
    for (std::size_t header : {at, at + 576}) {
        const uint8_t other[] = {0xFF, 0xFB, 0x98, 0x64};
        std::copy(std::begin(other), std::end(other), bytes.begin() + std::ptrdiff_t(header));
    }
    const std::string damaged = dir.file("damaged.mp3");
    test::writeFile(damaged, bytes);

    Mp3Source source;
    ASSERT_TRUE(source.open(damaged.c_str()));
    const auto ours = readAll(source);
    // Two or three frames go; the rest, up to the end, is decoded as before.
    EXPECT_NEAR(double(ours.size()), double(intact.size()), 4.0 * 1152 * 2);
    const std::size_t tail = ours.size() / 2 - 20000;
    const long shift = bestShift(intact, ours, 2, tail, 4 * 1152);
    EXPECT_GE(snrDb(intact, ours, 2, shift, tail, ours.size() / 2 - 2000), 60.0);
}

TEST_F(Mp3Fixture, CutShortFileEndsCleanly) {
    const std::string mp3 = lame(makeWav(44100, 2, 2.0), "-V 2", "whole.mp3");
    const auto whole = decode(mp3);
    auto bytes = test::readFile(mp3);
    bytes.resize(bytes.size() * 6 / 10 + 5);  // mid-frame
    const std::string cut = dir.file("cut.mp3");
    test::writeFile(cut, bytes);

    Mp3Source source;
    ASSERT_TRUE(source.open(cut.c_str()));
    const auto ours = readAll(source);
    EXPECT_NEAR(double(ours.size()), whole.size() * 0.6, 3.0 * 1152 * 2);
    ASSERT_LT(ours.size(), whole.size());
    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), whole.begin()));
}

TEST_F(Mp3Fixture, RewindAndSkip) {
    const std::string mp3 = lame(makeWav(22050, 2), "-V 2", "song.mp3");
    const auto whole = decode(mp3);
    Mp3Source source;
    ASSERT_TRUE(source.open(mp3.c_str()));
    std::vector<uint8_t> buffer(100002);
    uint32_t got = 0;
    ASSERT_TRUE(source.read(buffer, got));
    ASSERT_EQ(got, buffer.size());
    ASSERT_TRUE(source.rewind());
    EXPECT_EQ(readAll(source, 7777), whole);

    // 500 ms is 11025 sample frames of 4 bytes; reading goes on from there.
    ASSERT_TRUE(source.rewind());
    uint32_t counter = 10;
    ASSERT_TRUE(source.skip(500, counter));
    EXPECT_EQ(counter, 10u + 44100);
    const auto rest = readAll(source);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), whole.begin() + 22050, whole.end()));
    EXPECT_EQ(rest.size(), whole.size() - 22050);
    // Skipping past the end counts what was left.
    ASSERT_TRUE(source.rewind());
    counter = 0;
    ASSERT_TRUE(source.skip(60000, counter));
    EXPECT_EQ(counter, whole.size() * 2);
}

// A file holding one MPEG frame header and then zeros up to `size` bytes.
std::string headerOnlyFile(const TempDir& dir, std::vector<uint8_t> prefix, uint64_t size) {
    const std::string path = dir.file("header.mp3");
    test::writeFile(path, prefix);
    fs::resize_file(path, size);
    return path;
}

TEST(Mp3SourceHeader, DescribesTheFirstFrame) {
    // MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo, 4000000 bytes after the
    // header: the codec gets 2 s per conversion and the length is estimated.
    TempDir dir;
    const auto path = headerOnlyFile(dir, {0xFF, 0xFB, 0x90, 0x64}, 4000004);
    Mp3Source source;
    ASSERT_TRUE(source.open(path.c_str()));
    const MPEGLAYER3WAVEFORMAT& m = source.mpegFormat();
    EXPECT_EQ(m.wfx.wFormatTag, 0x55);
    EXPECT_EQ(m.wfx.nChannels, 2);
    EXPECT_EQ(m.wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(m.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(m.wfx.nBlockAlign, 1);
    EXPECT_EQ(m.wfx.wBitsPerSample, 0);
    EXPECT_EQ(m.wfx.cbSize, 12);
    EXPECT_EQ(m.wID, 1);
    EXPECT_EQ(m.fdwFlags, 2u);
    EXPECT_EQ(m.nBlockSize, 417);
    EXPECT_EQ(m.nFramesPerBlock, 1);
    EXPECT_EQ(m.nCodecDelay, 1393);
    EXPECT_EQ(source.format()->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(source.inputChunkSize(), 31692u);
    EXPECT_EQ(source.dataOffset(), 4);
    EXPECT_EQ(source.dataLength(), 4000000);
    EXPECT_EQ(source.length(), 44100000);
    EXPECT_EQ(estimatePcmLength(176400, 16000, 4000000), 44100000);
    EXPECT_EQ(estimatePcmLength(176400, 16000, 0xFFFFFFFF), std::numeric_limits<int32_t>::max());

    // The channel-mode bits: only 11 is one channel, for the codec and the PCM alike.
    for (auto [modeByte, channels] :
         {std::pair<uint8_t, int>{0x04, 2}, {0x44, 2}, {0x84, 2}, {0xC4, 1}}) {
        const auto p = headerOnlyFile(dir, {0xFF, 0xFB, 0x90, modeByte}, 5000);
        ASSERT_TRUE(source.open(p.c_str()));
        EXPECT_EQ(source.mpegFormat().wfx.nChannels, channels);
        EXPECT_EQ(source.format()->nChannels, channels);
    }

    // MPEG-2.5 is 8 kHz, not 16; a low rate at a high bit rate keeps to the input buffer.
    const auto low = headerOnlyFile(dir, {0xFF, 0xE3, 0xE8, 0xC4}, 5000);
    ASSERT_TRUE(source.open(low.c_str()));
    EXPECT_EQ(source.mpegFormat().wfx.nSamplesPerSec, 8000u);
    EXPECT_EQ(source.format()->nSamplesPerSec, 8000u);
    EXPECT_LE(source.inputChunkSize(), Mp3Source::kBufferSize);
}

TEST(Mp3SourceHeader, LayerOneAndTwoFilesDecode) {
    // Silent frames made byte by byte (every bit allocation zero): Layer I at 288 kbit/s
    // and Layer II at 128 kbit/s, 44100 Hz stereo. All but the first frame, which the
    // codec is handed from its fifth byte on, come out as zero samples.
    struct Case {
        uint8_t b1, b2;
        std::size_t frameBytes, samples;
    };
    for (const Case& c : {Case{0xFF, 0x90, 312, 384}, Case{0xFD, 0x80, 417, 1152}}) {
        SCOPED_TRACE(c.samples);
        TempDir dir;
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 30; ++i) {
            bytes.insert(bytes.end(), {0xFF, c.b1, c.b2, 0x00});
            bytes.resize(bytes.size() + c.frameBytes - 4, 0);
        }
        const std::string path = dir.file("layer.mp2");
        test::writeFile(path, bytes);
        Mp3Source source;
        ASSERT_TRUE(source.open(path.c_str()));
        EXPECT_EQ(source.format()->nChannels, 2);
        EXPECT_EQ(source.format()->nSamplesPerSec, 44100u);
        const auto pcm = readAll(source);
        EXPECT_EQ(pcm.size(), 29 * c.samples * 2);
        EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](int16_t v) { return v == 0; }));
        // The estimate from the bit rate is within a frame of that.
        EXPECT_NEAR(source.length(), double(pcm.size() * 2), double(c.samples * 4));
    }
}

TEST(Mp3SourceHeader, RefusesWhatIsNotAFrameRightAtTheDataOffset) {
    TempDir dir;
    const std::vector<uint8_t> frame = {0xFF, 0xFB, 0x90, 0x64};
    const auto write = [&](const std::string& name, std::vector<uint8_t> bytes) {
        bytes.resize(std::max<std::size_t>(bytes.size(), 2000), 0);
        const std::string path = dir.file(name);
        test::writeFile(path, bytes);
        return path;
    };
    const std::string refused[] = {
        write("zero-first.mp3", concat({{0}, frame})),
        write("padding-after-id3v2.mp3",
              concat({id3v2Tag(100), std::vector<uint8_t>(16, 0), frame})),
        write("free-format.mp3", {0xFF, 0xFB, 0x00, 0x64}),
        write("bad-bitrate.mp3", {0xFF, 0xFB, 0xF0, 0x64}),
        write("bad-rate.mp3", {0xFF, 0xFB, 0x9C, 0x64}),
        write("reserved-layer.mp3", {0xFF, 0xF9, 0x90, 0x64}),
        write("riff-wave.wav", {'R', 'I', 'F', 'F', 0xF0, 7, 0, 0, 'W', 'A', 'V', 'E'}),
        dir.file("missing.mp3"),
    };
    Mp3Source source;
    for (const std::string& path : refused) {
        EXPECT_FALSE(source.open(path.c_str())) << path;
        uint32_t got = 7;
        std::vector<uint8_t> buffer(16);
        EXPECT_FALSE(source.read(buffer, got)) << "nothing stays open";
        EXPECT_EQ(got, 0u);
        EXPECT_FALSE(source.rewind());
        source.close();
        source.close();
    }
    // Shorter than the first read of 256 bytes.
    const std::string shortFile = dir.file("short.mp3");
    test::writeFile(shortFile, concat({frame, std::vector<uint8_t>(200, 0)}));
    EXPECT_FALSE(source.open(shortFile.c_str()));
    // The same object opens a good file afterwards.
    EXPECT_TRUE(source.open(write("good.mp3", frame).c_str()));
}

}  // namespace
}  // namespace tembrel
